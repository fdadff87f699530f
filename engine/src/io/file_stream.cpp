#include "io/file_stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

// Files of this engine hold the operator's health data: readable by the
// operator alone.
constexpr mode_t kCreatePermissions = 0600;

int lockFor(std::uint16_t mode) {
    if (mode == kFileModeCreate) return LOCK_EX;
    switch (mode & 0x70) {
        case kFileShareExclusive:
        case kFileShareDenyRead:
            return LOCK_EX;
        case kFileShareDenyWrite:
            return LOCK_SH;
        default:
            return 0;
    }
}

// open() flags for a mode other than creation; -1 for a value no mode has.
int openFlags(std::uint16_t mode) {
    if ((mode & 0x70) > kFileShareDenyNone || (mode & ~0x73) != 0) return -1;
    switch (mode & 0x3) {
        case kFileOpenRead:
            return O_RDONLY;
        case kFileOpenWrite:
            return O_WRONLY;
        case kFileOpenReadWrite:
            return O_RDWR;
        default:
            return -1;
    }
}

bool isDirectory(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

bool takeLock(int fd, int lock) {
    if (lock == 0) return true;
    int rc;
    do {
        rc = ::flock(fd, lock | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

std::string errnoText() {
    return std::strerror(errno);
}

}  // namespace

TSQLMemFileStream::TSQLMemFileStream(const std::string& fileName, std::uint16_t mode)
    : m_fileName(fileName) {
    if (mode == kFileModeCreate) {
        // Truncated only once the lock is held: a reader that holds the file
        // keeps its bytes.
        m_fd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kCreatePermissions);
        if (m_fd >= 0 && (!takeLock(m_fd, lockFor(mode)) || ::ftruncate(m_fd, 0) != 0)) {
            ::close(m_fd);
            m_fd = -1;
        }
        if (m_fd < 0)
            throw ESQLMemException(kErrFileCreate, "Cannot create file. FileName = %s", {fileName});
        return;
    }
    const int flags = openFlags(mode);
    if (flags >= 0) m_fd = ::open(fileName.c_str(), flags | O_CLOEXEC);
    if (m_fd >= 0 && (isDirectory(m_fd) || !takeLock(m_fd, lockFor(mode)))) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_fd < 0)
        throw ESQLMemException(kErrFileOpen, "Cannot open file. FileName = %s, Mode = %d",
                               {fileName, static_cast<std::int64_t>(mode)});
}

TSQLMemFileStream::TSQLMemFileStream(Temporary) : m_deleteOnClose(true) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    const std::string pattern = (dir / "SQLMemXXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    m_fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (m_fd < 0)
        throw ESQLMemException(kErrFileCreate, "Cannot create file. FileName = %s", {pattern});
    m_fileName = name.data();
}

TSQLMemFileStream::TSQLMemFileStream(int fd, std::string fileName)
    : m_fileName(std::move(fileName)), m_fd(fd) {}

std::unique_ptr<TSQLMemFileStream> TSQLMemFileStream::createTemporary() {
    return std::unique_ptr<TSQLMemFileStream>(new TSQLMemFileStream(Temporary{}));
}

TSQLMemFileStream::~TSQLMemFileStream() {
    if (m_fd >= 0) ::close(m_fd);
    if (m_deleteOnClose) ::unlink(m_fileName.c_str());
}

std::int64_t TSQLMemFileStream::read(void* dest, std::int64_t count) {
    auto* p = static_cast<std::uint8_t*>(dest);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(m_fd, p + done, static_cast<std::size_t>(count - done), m_position + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    m_position += done;
    return done;
}

std::int64_t TSQLMemFileStream::write(const void* src, std::int64_t count) {
    const auto* p = static_cast<const std::uint8_t*>(src);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pwrite(m_fd, p + done, static_cast<std::size_t>(count - done), m_position + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    m_position += done;
    return done;
}

std::int64_t TSQLMemFileStream::seek(std::int64_t offset, TSQLMemSeekOrigin origin) {
    // Positions stay within what the system can address in a file.
    m_position = seekTarget(m_position, origin == TSQLMemSeekOrigin::End ? size() : 0, offset,
                            origin, std::numeric_limits<off_t>::max());
    return m_position;
}

std::int64_t TSQLMemFileStream::size() const {
    struct stat st;
    if (::fstat(m_fd, &st) != 0) return 0;
    return st.st_size;
}

void TSQLMemFileStream::setSize(std::int64_t newSize) {
    int rc = newSize < 0 ? -1 : 0;
    if (rc == 0) {
        do {
            rc = ::ftruncate(m_fd, newSize);
        } while (rc != 0 && errno == EINTR);
    }
    if (rc != 0)
        throw ESQLMemException(kErrFileSetSize, "Cannot set file size to %d. FileName = %s, %s",
                               {newSize, m_fileName, newSize < 0 ? "Invalid size" : errnoText()});
    m_position = std::min(m_position, newSize);
}

void TSQLMemFileStream::flushToDisk() {
    if (::fsync(m_fd) != 0)
        throw ESQLMemException(kErrFileFlush, "Cannot flush file to disk. FileName = %s, %s",
                               {m_fileName, errnoText()});
}

void TSQLMemFileStream::flushDirectoryToDisk(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool ok = fd >= 0 && ::fsync(fd) == 0;
    const std::string why = ok ? std::string() : errnoText();
    if (fd >= 0) ::close(fd);
    if (!ok)
        throw ESQLMemException(kErrFileFlush, "Cannot flush file to disk. FileName = %s, %s",
                               {directory, why});
}

TSQLMemReplacementFile::TSQLMemReplacementFile(const std::string& target) : m_target(target) {
    const std::string pattern = target + ".saving-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        throw ESQLMemException(kErrFileCreate, "Cannot create file. FileName = %s", {target});
    m_stream.reset(new TSQLMemFileStream(fd, name.data()));
}

TSQLMemReplacementFile::~TSQLMemReplacementFile() {
    if (!m_committed && m_stream) ::unlink(m_stream->fileName().c_str());
}

void TSQLMemReplacementFile::commit() {
    m_stream->flushToDisk();
    if (::rename(m_stream->fileName().c_str(), m_target.c_str()) != 0)
        throw ESQLMemException(kErrFileReplace, "Cannot replace file. FileName = %s, %s",
                               {m_target, errnoText()});
    m_committed = true;
    const std::filesystem::path folder = std::filesystem::path(m_target).parent_path();
    TSQLMemFileStream::flushDirectoryToDisk(folder.empty() ? std::string(".") : folder.string());
}

}  // namespace sqlmem
