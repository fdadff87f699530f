#include "io/temporary_stream.h"

#include <cassert>

#include "io/file_stream.h"
#include "io/memory_stream.h"

namespace sqlmem {
namespace {

constexpr int kErrSpillRead = 30406;
constexpr int kErrSpillWrite = 30407;

}  // namespace

TSQLMemTemporaryStream::TSQLMemTemporaryStream(std::int64_t spillAbove)
    : m_spillAbove(spillAbove), m_stream(std::make_unique<TSQLMemMemoryStream>()) {}

TSQLMemTemporaryStream::~TSQLMemTemporaryStream() = default;

std::string TSQLMemTemporaryStream::fileName() const {
    return m_onFile ? static_cast<const TSQLMemFileStream&>(*m_stream).fileName() : std::string();
}

void TSQLMemTemporaryStream::spill() {
    assert(!m_onFile);
    auto file = TSQLMemFileStream::createTemporary();
    const std::int64_t position = m_stream->position();
    file->copyAllFrom(*m_stream, kErrSpillRead, kErrSpillWrite);
    file->seek(position, TSQLMemSeekOrigin::Begin);
    m_stream = std::move(file);
    m_onFile = true;
}

void TSQLMemTemporaryStream::spillIfLarger(std::int64_t end) {
    if (!m_onFile && end > m_spillAbove) spill();
}

std::int64_t TSQLMemTemporaryStream::read(void* dest, std::int64_t count) {
    return m_stream->read(dest, count);
}

std::int64_t TSQLMemTemporaryStream::write(const void* src, std::int64_t count) {
    if (count <= 0) return 0;
    const std::int64_t position = m_stream->position();
    spillIfLarger(count > INT64_MAX - position ? INT64_MAX : position + count);
    return m_stream->write(src, count);
}

std::int64_t TSQLMemTemporaryStream::seek(std::int64_t offset, TSQLMemSeekOrigin origin) {
    return m_stream->seek(offset, origin);
}

std::int64_t TSQLMemTemporaryStream::size() const {
    return m_stream->size();
}

void TSQLMemTemporaryStream::setSize(std::int64_t newSize) {
    spillIfLarger(newSize);
    m_stream->setSize(newSize);
}

}  // namespace sqlmem
