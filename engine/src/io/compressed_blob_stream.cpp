#include "io/compressed_blob_stream.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "io/compression.h"
#include "platform/bytes.h"
#include "platform/crc32.h"
#include "sqlmem/exception.h"

namespace sqlmem {

void TSQLMemCompressedStreamBlockHeader::store(std::uint8_t* p) const {
    storeLE(p, compressedSize);
    storeLE(p + 4, uncompressedSize);
    storeLE(p + 8, crc);
    storeLE(p + 12, offsetToNextHeader);
}

TSQLMemCompressedStreamBlockHeader TSQLMemCompressedStreamBlockHeader::load(const std::uint8_t* p) {
    TSQLMemCompressedStreamBlockHeader h;
    h.compressedSize = loadLE<std::int32_t>(p);
    h.uncompressedSize = loadLE<std::int32_t>(p + 4);
    h.crc = loadLE<std::uint32_t>(p + 8);
    h.offsetToNextHeader = loadLE<std::int64_t>(p + 12);
    return h;
}

void TSQLMemCompressedStreamBlockHeadersArray::append(
    const TSQLMemCompressedStreamBlockHeader& header) {
    m_entries.push_back({header, storedSize(), dataSize()});
}

void TSQLMemCompressedStreamBlockHeadersArray::truncate(std::int32_t count) {
    m_entries.resize(static_cast<std::size_t>(std::clamp(count, 0, this->count())));
}

std::int64_t TSQLMemCompressedStreamBlockHeadersArray::dataSize() const {
    if (m_entries.empty()) return 0;
    return m_entries.back().dataPosition + m_entries.back().header.uncompressedSize;
}

std::int64_t TSQLMemCompressedStreamBlockHeadersArray::storedSize() const {
    if (m_entries.empty()) return 0;
    return m_entries.back().storedPosition + m_entries.back().header.offsetToNextHeader;
}

std::int32_t TSQLMemCompressedStreamBlockHeadersArray::blockAt(std::int64_t pos) const {
    if (pos < 0) return 0;
    if (pos >= dataSize()) return count();
    const auto after =
        std::upper_bound(m_entries.begin(), m_entries.end(), pos,
                         [](std::int64_t p, const Entry& e) { return p < e.dataPosition; });
    return static_cast<std::int32_t>(after - m_entries.begin()) - 1;
}

std::int32_t defaultBlobBlockSize(int mode) {
    if (mode <= 0) return 102400;
    if (mode <= 3) return 524288;
    if (mode <= 6) return 1048576;
    return 1572864;
}

TSQLMemCompressedBLOBStream::TSQLMemCompressedBLOBStream(TSQLMemStream& stored, int algorithm,
                                                         int mode, std::int32_t blockSize,
                                                         std::int32_t blockCount,
                                                         std::int64_t dataSize)
    : m_stored(stored),
      m_algorithm(algorithm),
      m_mode(mode),
      m_blockSize(blockSize > 0 ? blockSize : defaultBlobBlockSize(mode)) {
    if (compressed()) walkChain();
    const std::int64_t size = this->size();
    if (blockCount != m_blocks.count() || dataSize != size)
        throw ESQLMemException(kErrBlobHeaderMismatch,
                               "BLOB header does not match its stored data. Header: Blocks = %d, "
                               "Size = %d; Stored: Blocks = %d, Size = %d",
                               {static_cast<std::int64_t>(blockCount), dataSize,
                                static_cast<std::int64_t>(m_blocks.count()), size});
}

void TSQLMemCompressedBLOBStream::walkChain() {
    const std::int64_t end = m_stored.size();
    std::int64_t pos = 0;
    while (pos < end) {
        std::uint8_t bytes[kBlobBlockHeaderSize];
        m_stored.seekTo(pos, kErrBlobBlockRead);
        m_stored.readBuffer(bytes, kBlobBlockHeaderSize, kErrBlobBlockRead);
        const auto h = TSQLMemCompressedStreamBlockHeader::load(bytes);
        // Every block holds data and compressed bytes, and ends inside the
        // stored form; the count must stay an int32 for the value's header.
        if (h.compressedSize <= 0 || h.uncompressedSize <= 0 ||
            h.offsetToNextHeader != h.compressedSize + kBlobBlockHeaderSize ||
            h.offsetToNextHeader > end - pos || m_blocks.count() == INT32_MAX)
            throw ESQLMemException(
                kErrBlobBlockHeader,
                "Invalid BLOB block header at position %d. Compressed size = "
                "%d, Uncompressed size = %d, Next header = %d, Stored size = %d",
                {pos, static_cast<std::int64_t>(h.compressedSize),
                 static_cast<std::int64_t>(h.uncompressedSize), h.offsetToNextHeader, end});
        m_blocks.append(h);
        pos += h.offsetToNextHeader;
    }
}

void TSQLMemCompressedBLOBStream::loadBlock(std::int32_t i) {
    if (m_cachedBlock == i) return;
    m_cachedBlock = -1;
    const auto& e = m_blocks[i];
    const auto& h = e.header;
    EngineBytes packed(static_cast<std::size_t>(h.compressedSize));
    m_stored.seekTo(e.storedPosition + kBlobBlockHeaderSize, kErrBlobBlockRead);
    m_stored.readBuffer(packed.data(), h.compressedSize, kErrBlobBlockRead);
    const std::size_t expected = static_cast<std::size_t>(h.uncompressedSize);
    if (!decompressBuffer(m_algorithm, packed, m_cache, expected) || m_cache.size() != expected)
        throw ESQLMemException(
            kErrBlobDecompress,
            "Cannot decompress BLOB block at position %d. CompAlg = %d, InSize "
            "= %d, OutSize = %d, Expected = %d",
            {e.storedPosition, static_cast<std::int64_t>(m_algorithm),
             static_cast<std::int64_t>(h.compressedSize), static_cast<std::int64_t>(m_cache.size()),
             static_cast<std::int64_t>(expected)});
    const std::uint32_t crc = engineCrc32(m_cache.data(), m_cache.size());
    if (crc != h.crc)
        throw ESQLMemException(
            kErrBlobBlockCrc, "BLOB block at position %d is corrupt. CRC = %d, Expected = %d",
            {e.storedPosition, static_cast<std::int64_t>(crc), static_cast<std::int64_t>(h.crc)});
    m_cachedBlock = i;
}

std::int64_t TSQLMemCompressedBLOBStream::size() const {
    return compressed() ? m_blocks.dataSize() : m_stored.size();
}

std::int64_t TSQLMemCompressedBLOBStream::seek(std::int64_t offset, TSQLMemSeekOrigin origin) {
    m_position =
        seekTarget(m_position, origin == TSQLMemSeekOrigin::End ? size() : 0, offset, origin);
    return m_position;
}

std::int64_t TSQLMemCompressedBLOBStream::read(void* dest, std::int64_t count) {
    if (!compressed()) {
        m_stored.seek(m_position, TSQLMemSeekOrigin::Begin);
        const std::int64_t n = m_stored.read(dest, count);
        m_position += n;
        return n;
    }
    auto* out = static_cast<std::uint8_t*>(dest);
    std::int64_t done = 0;
    while (done < count) {
        const std::int32_t i = m_blocks.blockAt(m_position);
        if (i == m_blocks.count()) break;
        loadBlock(i);
        const std::int64_t offset = m_position - m_blocks[i].dataPosition;
        const std::int64_t n = std::min<std::int64_t>(
            count - done, static_cast<std::int64_t>(m_cache.size()) - offset);
        std::memcpy(out + done, m_cache.data() + offset, static_cast<std::size_t>(n));
        done += n;
        m_position += n;
    }
    return done;
}

std::int64_t TSQLMemCompressedBLOBStream::write(const void* src, std::int64_t count) {
    if (count <= 0) return 0;
    if (!compressed()) {
        m_stored.seek(m_position, TSQLMemSeekOrigin::Begin);
        const std::int64_t n = m_stored.write(src, count);
        m_position += n;
        return n;
    }
    std::int64_t end;
    if (__builtin_add_overflow(m_position, count, &end)) return 0;
    // The write reopens the last block unless that block is full and the
    // write starts after it.
    const std::int32_t last = m_blocks.count() - 1;
    std::int32_t from = m_blocks.count();
    if (last >= 0) {
        const auto& e = m_blocks[last];
        const bool full = e.header.uncompressedSize >= m_blockSize;
        if (m_position < e.dataPosition + e.header.uncompressedSize || !full) from = last;
    }
    const std::int64_t tailStart = from < m_blocks.count() ? m_blocks[from].dataPosition : size();
    if (m_position < tailStart)
        throw ESQLMemException(kErrBlobMiddleWrite,
                               "Cannot write into compressed BLOB data at position %d. Only data "
                               "from position %d on can be rewritten",
                               {m_position, tailStart});
    EngineBytes tail;
    if (from < m_blocks.count()) {
        loadBlock(from);
        tail = m_cache;
    }
    const auto at = static_cast<std::size_t>(m_position - tailStart);
    const std::size_t tailEnd = at + static_cast<std::size_t>(count);
    if (tailEnd > tail.size()) tail.resize(tailEnd);
    std::memcpy(tail.data() + at, src, static_cast<std::size_t>(count));
    rewriteFrom(from, tail);
    m_position = end;
    return count;
}

void TSQLMemCompressedBLOBStream::setSize(std::int64_t newSize) {
    if (!compressed()) {
        m_stored.setSize(newSize);
    } else if (newSize > size()) {
        // Zeros written at the new end fill the gap from the old one.
        const std::int64_t keep = m_position;
        const std::uint8_t zero = 0;
        m_position = newSize - 1;
        try {
            writeBuffer(&zero, 1, kErrBlobBlockWrite);
        } catch (...) {
            m_position = keep;
            throw;
        }
        m_position = keep;
    } else if (newSize < size()) {
        const std::int32_t i = m_blocks.blockAt(std::max<std::int64_t>(newSize, 0));
        EngineBytes tail;
        const std::int64_t keep = std::max<std::int64_t>(newSize, 0) - m_blocks[i].dataPosition;
        if (keep > 0) {
            loadBlock(i);
            tail.assign(m_cache.begin(), m_cache.begin() + keep);
        }
        rewriteFrom(i, tail);
    }
    m_position = std::min(m_position, size());
}

void TSQLMemCompressedBLOBStream::rewriteFrom(std::int32_t from, const EngineBytes& tail) {
    // All blocks are compressed before the stored form changes, so that a
    // refusal by the algorithm changes nothing.
    EngineBytes image;
    std::vector<TSQLMemCompressedStreamBlockHeader,
                EngineAllocator<TSQLMemCompressedStreamBlockHeader>>
        headers;
    EngineBytes packed;
    for (std::size_t at = 0; at < tail.size(); at += m_blockSize) {
        const std::size_t n = std::min<std::size_t>(m_blockSize, tail.size() - at);
        const std::span<const std::uint8_t> block(tail.data() + at, n);
        if (!compressBuffer(m_algorithm, m_mode, block, packed) || packed.size() > INT32_MAX - 20)
            throw ESQLMemException(
                kErrBlobCompress,
                "Compress buffer failed. CompAlg = %d, CompMode = %d, InSize = "
                "%d, OutSize = %d",
                {static_cast<std::int64_t>(m_algorithm), static_cast<std::int64_t>(m_mode),
                 static_cast<std::int64_t>(n), static_cast<std::int64_t>(packed.size())});
        TSQLMemCompressedStreamBlockHeader h;
        h.compressedSize = static_cast<std::int32_t>(packed.size());
        h.uncompressedSize = static_cast<std::int32_t>(n);
        h.crc = engineCrc32(block.data(), n);
        h.offsetToNextHeader = h.compressedSize + kBlobBlockHeaderSize;
        const std::size_t headerAt = image.size();
        image.resize(headerAt + kBlobBlockHeaderSize + packed.size());
        h.store(image.data() + headerAt);
        std::memcpy(image.data() + headerAt + kBlobBlockHeaderSize, packed.data(), packed.size());
        headers.push_back(h);
    }

    m_blocks.reserve(from + static_cast<std::int32_t>(headers.size()));
    const std::int64_t cut =
        from < m_blocks.count() ? m_blocks[from].storedPosition : m_blocks.storedSize();
    // The bytes replaced, kept to put back when the new ones cannot be written.
    EngineBytes old(static_cast<std::size_t>(m_stored.size() - cut));
    m_stored.seekTo(cut, kErrBlobBlockRead);
    m_stored.readBuffer(old.data(), static_cast<std::int64_t>(old.size()), kErrBlobBlockRead);
    try {
        m_stored.setSize(cut);
        m_stored.seekTo(cut, kErrBlobBlockWrite);
        m_stored.writeBuffer(image.data(), static_cast<std::int64_t>(image.size()),
                             kErrBlobBlockWrite);
    } catch (...) {
        try {
            m_stored.setSize(cut);
            m_stored.seekTo(cut, kErrBlobBlockWrite);
            m_stored.writeBuffer(old.data(), static_cast<std::int64_t>(old.size()),
                                 kErrBlobBlockWrite);
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
    m_blocks.truncate(from);
    for (const auto& h : headers)
        m_blocks.append(h);
    if (m_cachedBlock >= from) m_cachedBlock = -1;
}

}  // namespace sqlmem
