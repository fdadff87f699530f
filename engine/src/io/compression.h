// Whole-buffer compression of table image bodies and BLOB blocks.
//
//   no  name    mode means                       produces
//   0   "NONE"  nothing                          (never compressed)
//   1   "ZLIB"  deflate level, 1..9 (0 stores)   zlib stream: 2-byte header, deflate
//                                                data (window 2^15, memory level 8,
//                                                default strategy), Adler-32
//   2   "BZIP"  bzip2 block size in 100,000s,    bzip2 stream, work factor 0
//               1..9
//   3   "PPM"   -                                refused: no table of the system
//                                                uses it
//
// Neither direction accepts algorithm 0, an empty input, or answers an empty
// output; a mode outside the algorithm's range fails the compression.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/memory.h"

namespace sqlmem {

enum : std::uint8_t {
    kCompressionNone = 0,
    kCompressionZlib = 1,
    kCompressionBzip = 2,
    kCompressionPpm = 3,
};

// The codecs' fixed settings, for the whole-buffer and the piecewise forms.
constexpr int kZlibWindowBits = 15;
constexpr int kZlibMemLevel = 8;
constexpr int kBzipWorkFactor = 0;

// "NONE", "ZLIB", "BZIP", "PPM"; empty for any other number.
std::string_view compressionAlgorithmName(int algorithm);

// Compresses all of `input` into `output` (replacing what it held). On
// failure `output` is empty. An allocation the memory manager refuses
// raises its error.
bool compressBuffer(int algorithm, int mode, std::span<const std::uint8_t> input,
                    EngineBytes& output);

// Decompresses `input`, which must be exactly one whole compressed stream,
// into `output`. The output grows in bounded steps as the data actually
// decompresses, and the call fails as soon as it would pass `maxOutput`
// bytes, so hostile input cannot make it allocate more than that. On failure
// `output` is empty.
bool decompressBuffer(int algorithm, std::span<const std::uint8_t> input, EngineBytes& output,
                      std::size_t maxOutput);

}  // namespace sqlmem
