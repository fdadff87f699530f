#include "io/blob_codec.h"

#include <cstring>

#include "io/compressed_blob_stream.h"
#include "io/memory_stream.h"
#include "storage/meta_defs.h"

namespace sqlmem {

namespace {

// A mode of 0 is the lowest level, as a table image takes it: bzip2 has no
// level 0, and deflate's would only store.
int modeOf(const TSQLMemFieldDef& def) {
    return def.BlobCompressionMode == 0 ? 1 : def.BlobCompressionMode;
}

}  // namespace

void TSQLMemCompressedBlobCodec::decode(const TSQLMemFieldDef& def, std::int32_t blockCount,
                                        std::int64_t dataSize, const std::uint8_t* stored,
                                        std::size_t storedSize, EngineBytes& out) const {
    TSQLMemMemoryStream chain(EngineBytes(stored, stored + storedSize));
    TSQLMemCompressedBLOBStream value(chain, def.BlobCompressionAlgorithm, modeOf(def),
                                      def.BlobBlockSize, blockCount, dataSize);
    out.resize(static_cast<std::size_t>(dataSize));
    value.readBuffer(out.data(), dataSize, kErrBlobBlockRead);
}

std::int32_t TSQLMemCompressedBlobCodec::encode(const TSQLMemFieldDef& def,
                                                const std::uint8_t* data, std::size_t size,
                                                EngineBytes& stored) const {
    TSQLMemMemoryStream chain;
    TSQLMemCompressedBLOBStream value(chain, def.BlobCompressionAlgorithm, modeOf(def),
                                      def.BlobBlockSize);
    value.writeBuffer(data, static_cast<std::int64_t>(size), kErrBlobBlockWrite);
    stored = chain.release();
    return value.blockCount();
}

const TSQLMemBlobCodec& blobCodec() {
    static const TSQLMemCompressedBlobCodec codec;
    return codec;
}

}  // namespace sqlmem
