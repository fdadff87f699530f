// The value of one BLOB field as a stream over its stored form.
//
// With compression algorithm 0 the stored form is the data itself. With any
// other it is a chain of blocks, each a 20-byte header and the block's
// compressed bytes:
//
//   offset  size  type    content
//    0      4     int32   compressed length C of this block
//    4      4     int32   uncompressed length U of this block
//    8      4     uint32  engine CRC-32 of the U uncompressed bytes
//   12      8     int64   C + 20: from this header to the next one
//   20      C     bytes   the block, compressed with the field's algorithm and mode
//
//   stored: [hdr0][C0 bytes][hdr1][C1 bytes] ... [hdrN-1][CN-1 bytes]
//   data:   [  U0 bytes    ][  U1 bytes    ] ... [  UN-1 bytes     ]
//
// The data is cut at multiples of the block size; only the last block may
// be shorter. A reader goes by the lengths in the headers alone.
#pragma once

#include <cstdint>
#include <vector>

#include "io/stream.h"
#include "platform/memory.h"

namespace sqlmem {

constexpr std::int64_t kBlobBlockHeaderSize = 20;

// Errors of the BLOB stream; each message names the stored position.
constexpr int kErrBlobBlockHeader = 30410;     // a block header that cannot be right
constexpr int kErrBlobBlockRead = 30411;       // stored bytes that end early
constexpr int kErrBlobDecompress = 30412;      // a block that does not decompress to U bytes
constexpr int kErrBlobBlockCrc = 30413;        // a block whose data fails its CRC
constexpr int kErrBlobCompress = 30414;        // a block the algorithm cannot compress
constexpr int kErrBlobMiddleWrite = 30415;     // a write before the last block
constexpr int kErrBlobHeaderMismatch = 30416;  // chain and value header disagree
constexpr int kErrBlobBlockWrite = 30417;      // stored bytes that cannot be written

struct TSQLMemCompressedStreamBlockHeader {
    std::int32_t compressedSize = 0;
    std::int32_t uncompressedSize = 0;
    std::uint32_t crc = 0;
    std::int64_t offsetToNextHeader = 0;

    void store(std::uint8_t* p) const;
    static TSQLMemCompressedStreamBlockHeader load(const std::uint8_t* p);
};

// The headers of a chain, with where each block sits in the stored bytes
// and in the data.
class TSQLMemCompressedStreamBlockHeadersArray {
public:
    struct Entry {
        TSQLMemCompressedStreamBlockHeader header;
        std::int64_t storedPosition;  // of the header
        std::int64_t dataPosition;    // of the block's first data byte
    };

    std::int32_t count() const { return static_cast<std::int32_t>(m_entries.size()); }
    const Entry& operator[](std::int32_t i) const { return m_entries[static_cast<std::size_t>(i)]; }
    // Placed after the last block, in the stored bytes and in the data.
    void append(const TSQLMemCompressedStreamBlockHeader& header);
    void truncate(std::int32_t count);
    // Room for `count` blocks in all, so that appends up to it cannot fail.
    void reserve(std::int32_t count) { m_entries.reserve(static_cast<std::size_t>(count)); }

    std::int64_t dataSize() const;
    std::int64_t storedSize() const;
    // The block that holds data byte `pos`; count() at or past the end.
    std::int32_t blockAt(std::int64_t pos) const;

private:
    std::vector<Entry, EngineAllocator<Entry>> m_entries;
};

// The block size a stream opened with block size 0 takes, by mode.
std::int32_t defaultBlobBlockSize(int mode);

class TSQLMemCompressedBLOBStream : public TSQLMemStream {
public:
    // `stored` holds the stored form from its position 0 to its end, and
    // stays the caller's; `blockCount` and `dataSize` are what the value's
    // BLOB header says. The chain is walked and checked against them at
    // once (kErrBlobBlockHeader, kErrBlobBlockRead, kErrBlobHeaderMismatch);
    // blocks are decompressed and checked when read. A block size of 0 (or
    // less) takes the default for the mode.
    TSQLMemCompressedBLOBStream(TSQLMemStream& stored, int algorithm, int mode,
                                std::int32_t blockSize, std::int32_t blockCount = 0,
                                std::int64_t dataSize = 0);

    std::int64_t read(void* dest, std::int64_t count) override;
    // A write that begins in the last block recompresses that block with
    // the new bytes; one that begins before it raises kErrBlobMiddleWrite.
    // Each write recompresses the last block, so values are best written in
    // one call. A failed write leaves the value as it was.
    std::int64_t write(const void* src, std::int64_t count) override;
    std::int64_t seek(std::int64_t offset, TSQLMemSeekOrigin origin) override;
    std::int64_t size() const override;
    // Cutting inside a block recompresses that block's kept part.
    void setSize(std::int64_t newSize) override;

    // For the value's BLOB header: 0 for a plain value.
    std::int32_t blockCount() const { return m_blocks.count(); }
    std::int32_t blockSize() const { return m_blockSize; }
    bool compressed() const { return m_algorithm != 0; }
    const TSQLMemCompressedStreamBlockHeadersArray& blocks() const { return m_blocks; }

private:
    void walkChain();
    // Decompresses and checks block i into m_cache.
    void loadBlock(std::int32_t i);
    // Replaces the blocks from `from` on with `tail`, cut into blocks.
    void rewriteFrom(std::int32_t from, const EngineBytes& tail);

    // Constant after construction.
    TSQLMemStream& m_stored;
    const int m_algorithm;
    const int m_mode;
    const std::int32_t m_blockSize;

    TSQLMemCompressedStreamBlockHeadersArray m_blocks;
    std::int64_t m_position = 0;
    EngineBytes m_cache;  // the data of block m_cachedBlock
    std::int32_t m_cachedBlock = -1;
};

}  // namespace sqlmem
