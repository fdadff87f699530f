// A stream over a file.
//
// The mode is one 16-bit value: 0xFFFF creates the file (truncating one that
// exists) for reading and writing; any other value opens an existing file,
// its low two bits the access and the next bits the sharing:
//
//   access   0 read, 1 write, 2 read and write
//   sharing  0x00 and 0x40 none denied, 0x10 exclusive, 0x20 others denied
//            writing, 0x30 others denied reading
//
// Sharing is kept with advisory whole-file locks (flock), which every stream
// of this engine takes: 0x20 a shared lock, 0x10, 0x30 and creation an
// exclusive one; an open that finds the file locked against it fails like
// any other open. Processes that do not lock are not held back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "io/stream.h"

namespace sqlmem {

constexpr std::uint16_t kFileModeCreate = 0xFFFF;
constexpr std::uint16_t kFileOpenRead = 0x0000;
constexpr std::uint16_t kFileOpenWrite = 0x0001;
constexpr std::uint16_t kFileOpenReadWrite = 0x0002;
constexpr std::uint16_t kFileShareExclusive = 0x0010;
constexpr std::uint16_t kFileShareDenyWrite = 0x0020;
constexpr std::uint16_t kFileShareDenyRead = 0x0030;
constexpr std::uint16_t kFileShareDenyNone = 0x0040;

constexpr int kErrFileCreate = 10104;   // "Cannot create file. FileName = %s"
constexpr int kErrFileOpen = 10105;     // "Cannot open file. FileName = %s, Mode = %d"
constexpr int kErrFileSetSize = 30404;  // "Cannot set file size to %d. FileName = %s, ..."
constexpr int kErrFileFlush = 30405;    // "Cannot flush file to disk. FileName = %s, ..."
constexpr int kErrFileReplace = 30408;  // "Cannot replace file. FileName = %s, ..."

class TSQLMemFileStream : public TSQLMemStream {
public:
    // Raises kErrFileCreate (mode 0xFFFF) or kErrFileOpen.
    TSQLMemFileStream(const std::string& fileName, std::uint16_t mode);
    ~TSQLMemFileStream() override;

    // A new file of a unique name starting "SQLMem" in the system's
    // temporary directory, open for reading and writing and deleted when
    // the stream is freed. Raises kErrFileCreate.
    static std::unique_ptr<TSQLMemFileStream> createTemporary();

    // Short only at the end of the file, or when the system fails.
    std::int64_t read(void* dest, std::int64_t count) override;
    // Short when the system fails (a full disk, a read-only file).
    std::int64_t write(const void* src, std::int64_t count) override;
    std::int64_t seek(std::int64_t offset, TSQLMemSeekOrigin origin) override;
    std::int64_t size() const override;
    // Raises kErrFileSetSize.
    void setSize(std::int64_t newSize) override;

    // Waits until what was written is on the disk (fsync); raises
    // kErrFileFlush. A file that must survive a crash is flushed before it
    // is renamed over the one it replaces.
    void flushToDisk();
    // The same for a directory, so that a rename in it survives a crash.
    static void flushDirectoryToDisk(const std::string& directory);

    const std::string& fileName() const { return m_fileName; }

private:
    friend class TSQLMemReplacementFile;
    struct Temporary {};
    TSQLMemFileStream(Temporary);
    TSQLMemFileStream(int fd, std::string fileName);

    std::string m_fileName;
    int m_fd = -1;
    bool m_deleteOnClose = false;
    std::int64_t m_position = 0;
};

// A file that takes the place of another only once it is whole: written
// under a unique name beside the target, then flushed to the disk, renamed
// over the target, and the folder flushed. Until commit() returns the target
// keeps its old bytes, whatever happens meanwhile (a crash, a power cut, a
// full disk); a replacement dropped before that is deleted.
class TSQLMemReplacementFile {
public:
    // Raises kErrFileCreate, naming the target, when the folder takes no file.
    explicit TSQLMemReplacementFile(const std::string& target);
    ~TSQLMemReplacementFile();
    TSQLMemReplacementFile(const TSQLMemReplacementFile&) = delete;
    TSQLMemReplacementFile& operator=(const TSQLMemReplacementFile&) = delete;

    TSQLMemFileStream& stream() { return *m_stream; }
    // Raises kErrFileFlush or kErrFileReplace; the target is then unchanged
    // (or, for a failed flush of the folder only, already replaced).
    void commit();

private:
    std::string m_target;
    std::unique_ptr<TSQLMemFileStream> m_stream;
    bool m_committed = false;
};

}  // namespace sqlmem
