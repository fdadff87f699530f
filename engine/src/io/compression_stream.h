// The algorithms of compression.h over data that passes in pieces, for
// bodies too large to hold twice: the output is one whole compressed stream,
// exactly as compressBuffer and decompressBuffer make and take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/memory.h"

namespace sqlmem {

class TSQLMemStreamCompressor {
public:
    // An algorithm or mode compressBuffer would refuse makes finish() fail.
    TSQLMemStreamCompressor(int algorithm, int mode);
    ~TSQLMemStreamCompressor();
    TSQLMemStreamCompressor(const TSQLMemStreamCompressor&) = delete;
    TSQLMemStreamCompressor& operator=(const TSQLMemStreamCompressor&) = delete;

    // Allocation failures of the output raise the memory manager's errors.
    void add(std::span<const std::uint8_t> piece);
    // The whole compressed stream; false (and no output) when compression
    // failed or nothing was added.
    bool finish(EngineBytes& output);
    std::uint64_t inputSize() const { return m_inputSize; }

private:
    struct Codec;
    std::unique_ptr<Codec> m_codec;
    EngineBytes m_output;
    std::uint64_t m_inputSize = 0;
    bool m_failed = false;
};

class TSQLMemStreamDecompressor {
public:
    // `input` must stay as it is while the decompressor reads it; at most
    // `limit` bytes come out of it.
    TSQLMemStreamDecompressor(int algorithm, std::span<const std::uint8_t> input,
                              std::uint64_t limit);
    ~TSQLMemStreamDecompressor();
    TSQLMemStreamDecompressor(const TSQLMemStreamDecompressor&) = delete;
    TSQLMemStreamDecompressor& operator=(const TSQLMemStreamDecompressor&) = delete;

    // Up to `count` bytes of the data; fewer only at its end or on failure.
    std::size_t read(std::uint8_t* dest, std::size_t count);
    // The data could not be decompressed, or went past the limit.
    bool failed() const { return m_failed; }
    // The data ended, as one whole stream that used all of the input.
    bool complete() const { return m_ended && !m_failed; }
    std::uint64_t produced() const { return m_produced; }

private:
    struct Codec;
    std::unique_ptr<Codec> m_codec;
    std::uint64_t m_limit;
    std::uint64_t m_produced = 0;
    bool m_failed = false;
    bool m_ended = false;
};

}  // namespace sqlmem
