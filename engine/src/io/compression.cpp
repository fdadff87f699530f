#include "io/compression.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <climits>

namespace sqlmem {
namespace {

// Output grows by at most this much at a time.
constexpr std::size_t kOutputStep = 64 * 1024;

// Feeds a codec input in pieces its 32-bit counters can hold, and output
// space in bounded steps up to a limit.
class Pump {
public:
    // A decoder may need room past the last byte to see the end of the data,
    // so it gets one byte more than `limit`, and finish() checks the limit.
    Pump(std::span<const std::uint8_t> input, EngineBytes& output, std::size_t limit)
        : m_input(input), m_output(output), m_limit(limit), m_room(limit + (limit < SIZE_MAX)) {
        m_output.clear();
    }

    // Hands out the next input piece once the codec has taken the last one.
    template <class Avail, class Next>
    void refill(Avail& avail, Next*& next) {
        if (avail != 0 || m_fed == m_input.size()) return;
        const std::size_t n = std::min<std::size_t>(m_input.size() - m_fed, UINT_MAX);
        next = reinterpret_cast<Next*>(const_cast<std::uint8_t*>(m_input.data() + m_fed));
        avail = static_cast<Avail>(n);
        m_fed += n;
    }
    bool inputLeft(unsigned avail) const { return avail != 0 || !allFed(); }
    bool allFed() const { return m_fed == m_input.size(); }

    // Makes room when the codec has filled what it had; false at the limit.
    template <class Avail, class Next>
    bool room(Avail& avail, Next*& next) {
        if (avail != 0) return true;
        const std::size_t used = m_output.size();
        const std::size_t step = std::min(kOutputStep, m_room - used);
        if (step == 0) return false;
        // Grows geometrically, but never past the room allowed.
        if (used + step > m_output.capacity())
            m_output.reserve(std::min(m_room, std::max(used + step, 2 * m_output.capacity())));
        m_output.resize(used + step);
        next = reinterpret_cast<Next*>(m_output.data() + used);
        avail = static_cast<Avail>(step);
        return true;
    }

    // Trims the unused tail; false (and no output) when there is none.
    bool finish(unsigned availOut) {
        m_output.resize(m_output.size() - availOut);
        if (m_output.empty() || m_output.size() > m_limit) return fail();
        return true;
    }
    bool fail() {
        m_output.clear();
        m_output.shrink_to_fit();
        return false;
    }

private:
    std::span<const std::uint8_t> m_input;
    EngineBytes& m_output;
    std::size_t m_limit;
    std::size_t m_room;
    std::size_t m_fed = 0;
};

bool zlibCompress(int level, std::span<const std::uint8_t> input, EngineBytes& output) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, kZlibWindowBits, kZlibMemLevel, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return false;
    Pump pump(input, output, SIZE_MAX);
    int rc = Z_OK;
    try {
        while (rc != Z_STREAM_END) {
            pump.refill(z.avail_in, z.next_in);
            pump.room(z.avail_out, z.next_out);
            rc = deflate(&z, pump.allFed() ? Z_FINISH : Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) break;
        }
    } catch (...) {
        deflateEnd(&z);
        pump.fail();
        throw;
    }
    const unsigned left = z.avail_out;
    deflateEnd(&z);
    return rc == Z_STREAM_END ? pump.finish(left) : pump.fail();
}

bool zlibDecompress(std::span<const std::uint8_t> input, EngineBytes& output, std::size_t limit) {
    z_stream z{};
    if (inflateInit2(&z, kZlibWindowBits) != Z_OK) return false;
    Pump pump(input, output, limit);
    int rc = Z_OK;
    try {
        while (rc != Z_STREAM_END) {
            pump.refill(z.avail_in, z.next_in);
            if (!pump.room(z.avail_out, z.next_out)) break;
            const uInt inBefore = z.avail_in;
            const uInt outBefore = z.avail_out;
            rc = inflate(&z, Z_NO_FLUSH);
            if (rc == Z_STREAM_END) break;
            if (rc != Z_OK && rc != Z_BUF_ERROR) break;
            // No progress with input and room on hand: the data ends early.
            if (z.avail_in == inBefore && z.avail_out == outBefore) break;
        }
    } catch (...) {
        inflateEnd(&z);
        pump.fail();
        throw;
    }
    const unsigned left = z.avail_out;
    const bool whole = rc == Z_STREAM_END && !pump.inputLeft(z.avail_in);
    inflateEnd(&z);
    return whole ? pump.finish(left) : pump.fail();
}

bool bzipCompress(int blockSize, std::span<const std::uint8_t> input, EngineBytes& output) {
    bz_stream b{};
    if (blockSize < 1 || blockSize > 9) return false;
    if (BZ2_bzCompressInit(&b, blockSize, 0, kBzipWorkFactor) != BZ_OK) return false;
    Pump pump(input, output, SIZE_MAX);
    int rc = BZ_RUN_OK;
    try {
        while (rc != BZ_STREAM_END) {
            pump.refill(b.avail_in, b.next_in);
            pump.room(b.avail_out, b.next_out);
            // The last piece of input goes with the finish request, after
            // which the input must not change.
            rc = BZ2_bzCompress(&b, pump.allFed() ? BZ_FINISH : BZ_RUN);
            if (rc != BZ_RUN_OK && rc != BZ_FINISH_OK && rc != BZ_STREAM_END) break;
        }
    } catch (...) {
        BZ2_bzCompressEnd(&b);
        pump.fail();
        throw;
    }
    const unsigned left = b.avail_out;
    BZ2_bzCompressEnd(&b);
    return rc == BZ_STREAM_END ? pump.finish(left) : pump.fail();
}

bool bzipDecompress(std::span<const std::uint8_t> input, EngineBytes& output, std::size_t limit) {
    bz_stream b{};
    if (BZ2_bzDecompressInit(&b, 0, 0) != BZ_OK) return false;
    Pump pump(input, output, limit);
    int rc = BZ_OK;
    try {
        while (rc != BZ_STREAM_END) {
            pump.refill(b.avail_in, b.next_in);
            if (!pump.room(b.avail_out, b.next_out)) break;
            const unsigned inBefore = b.avail_in;
            const unsigned outBefore = b.avail_out;
            rc = BZ2_bzDecompress(&b);
            if (rc != BZ_OK && rc != BZ_STREAM_END) break;
            if (rc == BZ_OK && b.avail_in == inBefore && b.avail_out == outBefore) break;
        }
    } catch (...) {
        BZ2_bzDecompressEnd(&b);
        pump.fail();
        throw;
    }
    const unsigned left = b.avail_out;
    const bool whole = rc == BZ_STREAM_END && !pump.inputLeft(b.avail_in);
    BZ2_bzDecompressEnd(&b);
    return whole ? pump.finish(left) : pump.fail();
}

}  // namespace

std::string_view compressionAlgorithmName(int algorithm) {
    switch (algorithm) {
        case kCompressionNone:
            return "NONE";
        case kCompressionZlib:
            return "ZLIB";
        case kCompressionBzip:
            return "BZIP";
        case kCompressionPpm:
            return "PPM";
        default:
            return {};
    }
}

bool compressBuffer(int algorithm, int mode, std::span<const std::uint8_t> input,
                    EngineBytes& output) {
    output.clear();
    if (input.empty()) return false;
    switch (algorithm) {
        case kCompressionZlib:
            return mode >= 0 && mode <= 9 && zlibCompress(mode, input, output);
        case kCompressionBzip:
            return bzipCompress(mode, input, output);
        default:
            return false;
    }
}

bool decompressBuffer(int algorithm, std::span<const std::uint8_t> input, EngineBytes& output,
                      std::size_t maxOutput) {
    output.clear();
    if (input.empty()) return false;
    switch (algorithm) {
        case kCompressionZlib:
            return zlibDecompress(input, output, maxOutput);
        case kCompressionBzip:
            return bzipDecompress(input, output, maxOutput);
        default:
            return false;
    }
}

}  // namespace sqlmem
