// A file of its own in the system's temporary directory, for data that does
// not fit the memory budget of a temporary table. The name starts "SQLMem";
// the file is deleted when the object goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sqlmem {

class TSQLMemTemporaryFile {
public:
    // Raises "Cannot create file. FileName = %s" (10104).
    TSQLMemTemporaryFile();
    ~TSQLMemTemporaryFile();
    TSQLMemTemporaryFile(const TSQLMemTemporaryFile&) = delete;
    TSQLMemTemporaryFile& operator=(const TSQLMemTemporaryFile&) = delete;

    const std::string& fileName() const { return m_name; }
    std::int64_t size() const { return m_size; }

    // Writes all of it at pos or raises "Error writing to stream" (writeCode).
    // A pos beyond the end raises "Cannot set stream position to %d.
    // Position = %d, Size = %d" (seekCode).
    void writeAt(std::int64_t pos, const void* data, std::size_t length, int writeCode,
                 int seekCode);
    // Reads up to length bytes at pos; the number read (short at the end).
    std::size_t readAt(std::int64_t pos, void* data, std::size_t length) const;
    // Reads exactly length bytes or raises "Cannot read from stream. ..." (code).
    void readExactly(std::int64_t pos, void* data, std::size_t length, int code) const;
    // Extends (with zeros) or truncates.
    void setSize(std::int64_t size);

private:
    std::string m_name;
    int m_fd = -1;
    std::int64_t m_size = 0;
};

}  // namespace sqlmem
