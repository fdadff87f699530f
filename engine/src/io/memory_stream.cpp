#include "io/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace sqlmem {

std::int64_t TSQLMemMemoryStream::read(void* dest, std::int64_t count) {
    const std::int64_t n =
        std::clamp<std::int64_t>(size() - m_position, 0, std::max<std::int64_t>(count, 0));
    if (n > 0) std::memcpy(dest, m_bytes.data() + m_position, static_cast<std::size_t>(n));
    m_position += n;
    return n;
}

std::int64_t TSQLMemMemoryStream::write(const void* src, std::int64_t count) {
    if (count <= 0) return 0;
    std::int64_t end;
    if (__builtin_add_overflow(m_position, count, &end)) return 0;
    if (end > size()) m_bytes.resize(static_cast<std::size_t>(end));
    std::memcpy(m_bytes.data() + m_position, src, static_cast<std::size_t>(count));
    m_position = end;
    return count;
}

std::int64_t TSQLMemMemoryStream::seek(std::int64_t offset, TSQLMemSeekOrigin origin) {
    m_position =
        seekTarget(m_position, origin == TSQLMemSeekOrigin::End ? size() : 0, offset, origin);
    return m_position;
}

void TSQLMemMemoryStream::setSize(std::int64_t newSize) {
    m_bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(newSize, 0)));
    m_position = std::min(m_position, size());
}

EngineBytes TSQLMemMemoryStream::release() {
    EngineBytes out = std::move(m_bytes);
    m_bytes = EngineBytes();
    m_position = 0;
    return out;
}

}  // namespace sqlmem
