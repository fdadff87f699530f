// BLOB values of a table's records as their data: read out of the table's
// blocks (decompressed and checked when the field compresses), written into
// new blocks that a record buffer holds with the pending mark until the
// record is stored (blob_blocks.h gives the reference and the marks).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/memory.h"
#include "values/sqlmem_variant.h"

namespace sqlmem {

class TSQLMemFieldDef;
class TSQLMemTableData;

// Errors of BLOB values.
constexpr int kErrBlobNoCodec = 30419;   // a compressed value where no codec was handed down
constexpr int kErrBlobCorrupt = 30420;   // a block whose header does not fit its bytes
constexpr int kErrBlobTooLarge = 30423;  // a value larger than a value can hold

// Compression of BLOB values, which storage cannot do itself: the io layer
// implements it, and the layers that open cursors hand it down.
class TSQLMemBlobCodec {
public:
    virtual ~TSQLMemBlobCodec() = default;
    // The data of a value stored as a chain of `blockCount` compressed blocks
    // holding `dataSize` bytes; every block is decompressed and CRC-checked.
    virtual void decode(const TSQLMemFieldDef& def, std::int32_t blockCount, std::int64_t dataSize,
                        const std::uint8_t* stored, std::size_t storedSize,
                        EngineBytes& out) const = 0;
    // `data` cut into blocks of the field's block size, each compressed by its
    // algorithm and mode; answers the number of blocks.
    virtual std::int32_t encode(const TSQLMemFieldDef& def, const std::uint8_t* data,
                                std::size_t size, EngineBytes& stored) const = 0;
};

// The BLOB values of one table, over record buffers in its layout. A light
// view: it holds the table (which must outlive it) and the codec.
class TSQLMemBlobValues {
public:
    TSQLMemBlobValues() = default;
    TSQLMemBlobValues(TSQLMemTableData* table, const TSQLMemBlobCodec* codec)
        : m_table(table), m_codec(codec) {}
    bool valid() const { return m_table != nullptr; }

    // The value of BLOB field `fieldNo` of `record`, typed by the field's
    // base type; a null of that type when the field is null. With `borrow` a
    // plain value points into its block: valid until the table changes.
    void read(int fieldNo, const std::uint8_t* record, TSQLMemVariant& out,
              bool borrow = false) const;
    // `size` bytes become the field's value: a new block with the pending
    // mark, the pending block the buffer held before freed. No bytes: null.
    void write(int fieldNo, std::uint8_t* record, const std::uint8_t* data, std::size_t size);
    // The field becomes null; a pending block it held is freed.
    void clear(int fieldNo, std::uint8_t* record);
    // Frees the pending blocks of a buffer that will not be stored and makes
    // those fields null.
    void freePending(std::uint8_t* record) noexcept;

private:
    TSQLMemTableData* m_table = nullptr;
    const TSQLMemBlobCodec* m_codec = nullptr;
};

}  // namespace sqlmem
