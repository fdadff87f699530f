// Any bytes as compressed data: whole buffers of algorithms 1 and 2, and the
// block chain of a compressed BLOB value. Each either decodes within its cap
// or is refused (a failure answer, an engine error); nothing crashes, hangs
// or allocates beyond the cap.
//
// The first byte chooses: bit 0 the algorithm (zlib, bzip2), bit 1 the
// BLOB stream. A BLOB input goes on with the value's header (int32 block
// count, int64 data length), then the stored bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "io/compressed_blob_stream.h"
#include "io/compression.h"
#include "io/memory_stream.h"
#include "platform/bytes.h"
#include "sqlmem/exception.h"

using namespace sqlmem;

namespace {

constexpr std::size_t kCap = 1 << 20;

void wholeBuffer(int algorithm, std::span<const std::uint8_t> input) {
    EngineBytes out;
    if (!decompressBuffer(algorithm, input, out, kCap)) {
        if (!out.empty()) std::abort();
        return;
    }
    if (out.empty() || out.size() > kCap) std::abort();
    // A smaller cap than the output must fail.
    EngineBytes shorter;
    if (decompressBuffer(algorithm, input, shorter, out.size() - 1)) std::abort();
}

void blobChain(int algorithm, std::span<const std::uint8_t> input) {
    if (input.size() < 12) return;
    const auto blockCount = loadLE<std::int32_t>(input.data());
    const auto dataSize = loadLE<std::int64_t>(input.data() + 4);
    // A value's length is what the table holds in memory; keep it to the cap.
    if (dataSize < 0 || dataSize > static_cast<std::int64_t>(kCap)) return;
    TSQLMemMemoryStream stored{EngineBytes(input.begin() + 12, input.end())};
    try {
        TSQLMemCompressedBLOBStream blob(stored, algorithm, 1, 0, blockCount, dataSize);
        EngineBytes data(static_cast<std::size_t>(dataSize));
        blob.readBuffer(data.data(), dataSize, 1);
        // Appending to a chain from outside reopens its last block.
        blob.writeBuffer("tail", 4, 2);
        EngineBytes again(static_cast<std::size_t>(dataSize + 4));
        blob.seekTo(0, 3);
        blob.readBuffer(again.data(), dataSize + 4, 4);
        // An empty value has no buffer to compare: memcmp must not see null.
        if ((dataSize > 0 && std::memcmp(again.data(), data.data(), data.size()) != 0) ||
            std::memcmp(again.data() + dataSize, "tail", 4) != 0)
            std::abort();
    } catch (const ESQLMemException&) {
        // refused with the engine's error
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int algorithm = (data[0] & 1) ? kCompressionBzip : kCompressionZlib;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] & 2)
        blobChain(algorithm, rest);
    else
        wholeBuffer(algorithm, rest);
    return 0;
}
