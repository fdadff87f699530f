#include "storage/temporary_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "platform/byte_reader.h"
#include "sqlmem/exception.h"

namespace sqlmem {

TSQLMemTemporaryFile::TSQLMemTemporaryFile() {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    std::string pattern = (dir / "SQLMemXXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    m_fd = mkostemp(name.data(), O_CLOEXEC);
    if (m_fd < 0) throw ESQLMemException(10104, "Cannot create file. FileName = %s", {pattern});
    m_name = name.data();
}

TSQLMemTemporaryFile::~TSQLMemTemporaryFile() {
    if (m_fd >= 0) ::close(m_fd);
    ::unlink(m_name.c_str());
}

void TSQLMemTemporaryFile::writeAt(std::int64_t pos, const void* data, std::size_t length,
                                   int writeCode, int seekCode) {
    if (pos < 0 || pos > m_size)
        throw ESQLMemException(seekCode,
                               "Cannot set stream position to %d. Position = %d, Size = %d",
                               {pos, m_size, m_size});
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(m_fd, p + done, length - done, pos + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw ESQLMemException(writeCode, "Error writing to stream");
        done += static_cast<std::size_t>(n);
    }
    if (pos + static_cast<std::int64_t>(length) > m_size)
        m_size = pos + static_cast<std::int64_t>(length);
}

std::size_t TSQLMemTemporaryFile::readAt(std::int64_t pos, void* data, std::size_t length) const {
    auto* p = static_cast<std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd, p + done, length - done, pos + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void TSQLMemTemporaryFile::readExactly(std::int64_t pos, void* data, std::size_t length,
                                       int code) const {
    const std::size_t got = readAt(pos, data, length);
    if (got != length)
        raiseShortRead(code, pos, m_size, static_cast<std::int64_t>(length),
                       static_cast<std::int64_t>(got));
}

void TSQLMemTemporaryFile::setSize(std::int64_t size) {
    if (::ftruncate(m_fd, size) != 0) throw ESQLMemException(10125, "Error writing to stream");
    m_size = size;
}

}  // namespace sqlmem
