// The codec of compressed BLOB values: the chains of compressed_blob_stream.h
// behind the interface storage declares. It has no state; the layers that
// open cursors hand this one instance down to them.
#pragma once

#include "storage/blob_values.h"

namespace sqlmem {

class TSQLMemCompressedBlobCodec final : public TSQLMemBlobCodec {
public:
    void decode(const TSQLMemFieldDef& def, std::int32_t blockCount, std::int64_t dataSize,
                const std::uint8_t* stored, std::size_t storedSize,
                EngineBytes& out) const override;
    std::int32_t encode(const TSQLMemFieldDef& def, const std::uint8_t* data, std::size_t size,
                        EngineBytes& stored) const override;
};

const TSQLMemBlobCodec& blobCodec();

}  // namespace sqlmem
