// Primitive encodings of the report stream (little-endian throughout).
//
//   byte        u8
//   word        u16
//   int         i32
//   bool16      word; 0 false, anything else true; written as FF FF
//   string      v23 and later: word length N, N bytes of 1251 text, one
//                 zero byte (consumed unchecked). An empty string: 00 00 00.
//               v21, v22: the bytes up to and including a zero byte.
//   string list v23 and later: word count C (ignored by the reader);
//                 C = 0: one zero byte follows, the list is empty;
//                 else per line: word length, the bytes, a separator byte,
//                 13 when another line follows and 0 after the last.
//                 "abc" alone: 01 00 03 00 61 62 63 00.
//               v21, v22: all lines' bytes with 13 between lines, ended by a
//                 zero byte; an empty last line before the zero is dropped.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>

namespace bwreport {

// A stream that cannot be read: names the offset of what was refused.
class EBwStreamError : public std::runtime_error {
public:
    EBwStreamError(const QString& what, qint64 offset);
    qint64 offset() const { return m_offset; }
    QString text() const { return QString::fromUtf8(what()); }

private:
    qint64 m_offset;
};

// Any other failure of the report engine, with a text for the operator.
class EBwError : public std::runtime_error {
public:
    explicit EBwError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromUtf8(what()); }
};

// Reads a bounded range; nothing is read past the end and a failed read
// leaves the position where it was.
class TBwReader {
public:
    // REQUIRES: `data` outlives the reader.
    TBwReader(const char* data, qsizetype size, int version = 24);
    // Shares `bytes` (no copy), so a temporary may be passed.
    explicit TBwReader(QByteArray bytes, int version = 24);

    // The stream format version; decides the string encodings.
    int version() const { return m_version; }
    void setVersion(int version) { m_version = version; }

    qsizetype pos() const { return m_pos; }
    qsizetype size() const { return m_size; }
    qsizetype left() const { return m_size - m_pos; }
    bool atEnd() const { return m_pos >= m_size; }
    // Moves anywhere inside the range, the end included.
    void seek(qsizetype pos);

    std::uint8_t readByte();
    std::uint16_t readWord();
    std::int16_t readSmallInt();
    std::int32_t readInt();
    bool readBool16() { return readWord() != 0; }
    QString readString();
    QStringList readStringList();
    // A length byte, then that many bytes (the older dictionary layout).
    QString readShortString();
    QByteArray readBytes(qsizetype count);

    [[noreturn]] void fail(const QString& what) const;
    [[noreturn]] void fail(const QString& what, qsizetype offset) const;

private:
    const std::uint8_t* take(qsizetype count, const char* what);
    qsizetype zeroAt(const char* what) const;  // the next zero byte's position

    QByteArray m_shared;
    const std::uint8_t* m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    int m_version;
};

// Writes the current (version 24) encodings.
class TBwWriter {
public:
    TBwWriter() = default;
    // Continues `bytes`: positions count from their first byte.
    explicit TBwWriter(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    const QByteArray& bytes() const { return m_bytes; }
    qsizetype pos() const { return m_bytes.size(); }

    void writeByte(std::uint8_t v);
    void writeWord(std::uint16_t v);
    void writeInt(std::int32_t v);
    void writeBool16(bool v) { writeWord(v ? 0xFFFF : 0); }
    // Throws EBwError for a text 1251 cannot hold or longer than a word counts.
    void writeString(const QString& text);
    void writeStringList(const QStringList& lines);
    void writeBytes(const QByteArray& bytes) { m_bytes.append(bytes); }
    // Overwrites an int written earlier (an end offset placeholder).
    void patchInt(qsizetype at, std::int32_t v);

private:
    void writeLine(const QString& text);
    QByteArray m_bytes;
};

}  // namespace bwreport
