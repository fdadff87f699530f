#include "io/compression_stream.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <climits>

#include "io/compression.h"

namespace sqlmem {
namespace {

constexpr std::size_t kOutputStep = 256 * 1024;
// Codec counters are 32-bit: input goes in pieces they can hold.
constexpr std::size_t kMaxPiece = UINT_MAX;

}  // namespace

// One of the two codecs, in the direction it was made for.
struct TSQLMemStreamCompressor::Codec {
    int algorithm = 0;
    z_stream z{};
    bz_stream b{};
    bool ready = false;

    ~Codec() {
        if (!ready) return;
        if (algorithm == kCompressionZlib)
            deflateEnd(&z);
        else
            BZ2_bzCompressEnd(&b);
    }
    // Runs the codec over avail input (finish: to the end), growing output.
    bool run(EngineBytes& out, bool finish) {
        for (;;) {
            const std::size_t used = out.size();
            if (out.capacity() - used < kOutputStep)
                out.reserve(std::max(used + kOutputStep, 2 * out.capacity()));
            out.resize(used + kOutputStep);
            unsigned room = static_cast<unsigned>(kOutputStep);
            unsigned left;
            bool done;
            if (algorithm == kCompressionZlib) {
                z.next_out = out.data() + used;
                z.avail_out = room;
                const int rc = deflate(&z, finish ? Z_FINISH : Z_NO_FLUSH);
                left = z.avail_out;
                if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return false;
                done = finish ? rc == Z_STREAM_END : z.avail_in == 0 && left != 0;
            } else {
                b.next_out = reinterpret_cast<char*>(out.data() + used);
                b.avail_out = room;
                const int rc = BZ2_bzCompress(&b, finish ? BZ_FINISH : BZ_RUN);
                left = b.avail_out;
                if (rc != BZ_RUN_OK && rc != BZ_FINISH_OK && rc != BZ_STREAM_END) return false;
                done = finish ? rc == BZ_STREAM_END : b.avail_in == 0;
            }
            out.resize(used + (room - left));
            if (done) return true;
        }
    }
};

TSQLMemStreamCompressor::TSQLMemStreamCompressor(int algorithm, int mode)
    : m_codec(std::make_unique<Codec>()) {
    m_codec->algorithm = algorithm;
    if (algorithm == kCompressionZlib && mode >= 0 && mode <= 9)
        m_codec->ready = deflateInit2(&m_codec->z, mode, Z_DEFLATED, kZlibWindowBits, kZlibMemLevel,
                                      Z_DEFAULT_STRATEGY) == Z_OK;
    else if (algorithm == kCompressionBzip && mode >= 1 && mode <= 9)
        m_codec->ready = BZ2_bzCompressInit(&m_codec->b, mode, 0, kBzipWorkFactor) == BZ_OK;
    m_failed = !m_codec->ready;
}

TSQLMemStreamCompressor::~TSQLMemStreamCompressor() = default;

void TSQLMemStreamCompressor::add(std::span<const std::uint8_t> piece) {
    while (!m_failed && !piece.empty()) {
        const std::size_t n = std::min(piece.size(), kMaxPiece);
        auto* in = const_cast<std::uint8_t*>(piece.data());
        if (m_codec->algorithm == kCompressionZlib) {
            m_codec->z.next_in = in;
            m_codec->z.avail_in = static_cast<unsigned>(n);
        } else {
            m_codec->b.next_in = reinterpret_cast<char*>(in);
            m_codec->b.avail_in = static_cast<unsigned>(n);
        }
        if (!m_codec->run(m_output, false)) m_failed = true;
        m_inputSize += n;
        piece = piece.subspan(n);
    }
}

bool TSQLMemStreamCompressor::finish(EngineBytes& output) {
    output.clear();
    if (m_failed || m_inputSize == 0 || !m_codec->run(m_output, true) || m_output.empty()) {
        m_failed = true;
        return false;
    }
    output.swap(m_output);
    return true;
}

struct TSQLMemStreamDecompressor::Codec {
    int algorithm = 0;
    z_stream z{};
    bz_stream b{};
    bool ready = false;
    std::span<const std::uint8_t> input;
    std::size_t fed = 0;

    ~Codec() {
        if (!ready) return;
        if (algorithm == kCompressionZlib)
            inflateEnd(&z);
        else
            BZ2_bzDecompressEnd(&b);
    }
    unsigned inputLeft() const { return algorithm == kCompressionZlib ? z.avail_in : b.avail_in; }
    void refill() {
        if (inputLeft() != 0 || fed == input.size()) return;
        const std::size_t n = std::min(input.size() - fed, kMaxPiece);
        auto* in = const_cast<std::uint8_t*>(input.data() + fed);
        if (algorithm == kCompressionZlib) {
            z.next_in = in;
            z.avail_in = static_cast<unsigned>(n);
        } else {
            b.next_in = reinterpret_cast<char*>(in);
            b.avail_in = static_cast<unsigned>(n);
        }
        fed += n;
    }
};

TSQLMemStreamDecompressor::TSQLMemStreamDecompressor(int algorithm,
                                                     std::span<const std::uint8_t> input,
                                                     std::uint64_t limit)
    : m_codec(std::make_unique<Codec>()), m_limit(limit) {
    m_codec->algorithm = algorithm;
    m_codec->input = input;
    if (!input.empty()) {
        if (algorithm == kCompressionZlib)
            m_codec->ready = inflateInit2(&m_codec->z, kZlibWindowBits) == Z_OK;
        else if (algorithm == kCompressionBzip)
            m_codec->ready = BZ2_bzDecompressInit(&m_codec->b, 0, 0) == BZ_OK;
    }
    m_failed = !m_codec->ready;
}

TSQLMemStreamDecompressor::~TSQLMemStreamDecompressor() = default;

std::size_t TSQLMemStreamDecompressor::read(std::uint8_t* dest, std::size_t count) {
    std::size_t done = 0;
    while (done < count && !m_failed && !m_ended) {
        m_codec->refill();
        const auto room = static_cast<unsigned>(std::min(count - done, kMaxPiece));
        const unsigned inBefore = m_codec->inputLeft();
        unsigned left;
        bool end;
        if (m_codec->algorithm == kCompressionZlib) {
            m_codec->z.next_out = dest + done;
            m_codec->z.avail_out = room;
            const int rc = inflate(&m_codec->z, Z_NO_FLUSH);
            left = m_codec->z.avail_out;
            end = rc == Z_STREAM_END;
            if (!end && rc != Z_OK && rc != Z_BUF_ERROR) m_failed = true;
        } else {
            m_codec->b.next_out = reinterpret_cast<char*>(dest + done);
            m_codec->b.avail_out = room;
            const int rc = BZ2_bzDecompress(&m_codec->b);
            left = m_codec->b.avail_out;
            end = rc == BZ_STREAM_END;
            if (!end && rc != BZ_OK) m_failed = true;
        }
        const std::size_t got = room - left;
        done += got;
        m_produced += got;
        if (m_produced > m_limit) m_failed = true;
        if (end) {
            m_ended = true;
            // One whole stream: nothing may follow it.
            if (m_codec->inputLeft() != 0 || m_codec->fed != m_codec->input.size()) m_failed = true;
        } else if (got == 0 && m_codec->inputLeft() == inBefore) {
            m_failed = true;  // no progress: the data ends early
        }
    }
    return done;
}

}  // namespace sqlmem
