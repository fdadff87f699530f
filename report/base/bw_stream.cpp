#include "base/bw_stream.h"

#include <cstring>
#include <limits>

#include "base/bw_codec.h"

namespace bwreport {

EBwStreamError::EBwStreamError(const QString& what, qint64 offset)
    : std::runtime_error(
          QStringLiteral("report stream, offset %1: %2").arg(offset).arg(what).toStdString()),
      m_offset(offset) {}

TBwReader::TBwReader(const char* data, qsizetype size, int version)
    : m_data(reinterpret_cast<const std::uint8_t*>(data)), m_size(size), m_version(version) {}

TBwReader::TBwReader(QByteArray bytes, int version)
    : m_shared(std::move(bytes)),
      m_data(reinterpret_cast<const std::uint8_t*>(m_shared.constData())),
      m_size(m_shared.size()),
      m_version(version) {}

void TBwReader::fail(const QString& what) const {
    throw EBwStreamError(what, m_pos);
}

void TBwReader::fail(const QString& what, qsizetype offset) const {
    throw EBwStreamError(what, offset);
}

void TBwReader::seek(qsizetype pos) {
    if (pos < 0 || pos > m_size)
        fail(QStringLiteral("position %1 lies outside the %2 bytes of the stream")
                 .arg(pos)
                 .arg(m_size));
    m_pos = pos;
}

const std::uint8_t* TBwReader::take(qsizetype count, const char* what) {
    if (count < 0 || count > left())
        fail(QStringLiteral("%1 needs %2 bytes, %3 left")
                 .arg(QLatin1String(what))
                 .arg(count)
                 .arg(left()));
    const std::uint8_t* p = m_data + m_pos;
    m_pos += count;
    return p;
}

std::uint8_t TBwReader::readByte() {
    return *take(1, "a byte");
}

std::uint16_t TBwReader::readWord() {
    std::uint16_t v;
    std::memcpy(&v, take(2, "a word"), 2);
    return v;
}

std::int16_t TBwReader::readSmallInt() {
    return static_cast<std::int16_t>(readWord());
}

std::int32_t TBwReader::readInt() {
    std::int32_t v;
    std::memcpy(&v, take(4, "an int"), 4);
    return v;
}

QByteArray TBwReader::readBytes(qsizetype count) {
    const std::uint8_t* p = take(count, "a block");
    return QByteArray(reinterpret_cast<const char*>(p), count);
}

qsizetype TBwReader::zeroAt(const char* what) const {
    const void* z = std::memchr(m_data + m_pos, 0, static_cast<size_t>(left()));
    if (!z) fail(QStringLiteral("%1 has no closing zero byte").arg(QLatin1String(what)));
    return static_cast<const std::uint8_t*>(z) - m_data;
}

QString TBwReader::readString() {
    const qsizetype start = m_pos;
    if (m_version <= 22) {
        const qsizetype end = zeroAt("a string");
        const QString s = fromCp1251(
            {reinterpret_cast<const char*>(m_data + start), static_cast<size_t>(end - start)});
        m_pos = end + 1;
        return s;
    }
    const std::uint16_t n = readWord();
    if (n + 1 > left()) {
        m_pos = start;
        fail(QStringLiteral("a string of %1 bytes does not fit in the %2 bytes left")
                 .arg(n)
                 .arg(left() - 2));
    }
    const std::uint8_t* p = take(n + 1, "a string");
    return fromCp1251({reinterpret_cast<const char*>(p), n});
}

QStringList TBwReader::readStringList() {
    const qsizetype start = m_pos;
    QStringList lines;
    try {
        if (m_version <= 22) {
            const qsizetype end = zeroAt("a text");
            const QString all = fromCp1251(
                {reinterpret_cast<const char*>(m_data + start), static_cast<size_t>(end - start)});
            m_pos = end + 1;
            if (all.isEmpty()) return lines;
            lines = all.split(QChar(13));
            if (lines.last().isEmpty()) lines.removeLast();
            return lines;
        }
        if (readWord() == 0) {
            readByte();
            return lines;
        }
        // Each line costs at least three bytes, so the loop ends with the data.
        for (;;) {
            const std::uint16_t n = readWord();
            const std::uint8_t* p = take(n, "a text line");
            lines.append(fromCp1251({reinterpret_cast<const char*>(p), n}));
            if (readByte() == 0) return lines;
        }
    } catch (const EBwStreamError&) {
        m_pos = start;
        throw;
    }
}

QString TBwReader::readShortString() {
    const qsizetype start = m_pos;
    const std::uint8_t n = readByte();
    if (n > left()) {
        m_pos = start;
        fail(QStringLiteral("a short string of %1 bytes does not fit").arg(n));
    }
    const std::uint8_t* p = take(n, "a short string");
    return fromCp1251({reinterpret_cast<const char*>(p), n});
}

void TBwWriter::writeByte(std::uint8_t v) {
    m_bytes.append(static_cast<char>(v));
}

void TBwWriter::writeWord(std::uint16_t v) {
    m_bytes.append(reinterpret_cast<const char*>(&v), 2);
}

void TBwWriter::writeInt(std::int32_t v) {
    m_bytes.append(reinterpret_cast<const char*>(&v), 4);
}

void TBwWriter::writeLine(const QString& text) {
    std::string bytes;
    if (!toCp1251(text, bytes))
        throw EBwError(
            QStringLiteral("Текст \"%1\" содержит знак, которого нет в кодировке 1251").arg(text));
    if (bytes.size() > std::numeric_limits<std::uint16_t>::max())
        throw EBwError(QStringLiteral("Строка длиной %1 байт не помещается в шаблон отчета")
                           .arg(bytes.size()));
    writeWord(static_cast<std::uint16_t>(bytes.size()));
    m_bytes.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void TBwWriter::writeString(const QString& text) {
    writeLine(text);
    writeByte(0);
}

void TBwWriter::writeStringList(const QStringList& lines) {
    if (lines.size() > std::numeric_limits<std::uint16_t>::max())
        throw EBwError(
            QStringLiteral("Текст из %1 строк не помещается в шаблон отчета").arg(lines.size()));
    writeWord(static_cast<std::uint16_t>(lines.size()));
    if (lines.isEmpty()) {
        writeByte(0);
        return;
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        writeLine(lines[i]);
        writeByte(i + 1 < lines.size() ? 13 : 0);
    }
}

void TBwWriter::patchInt(qsizetype at, std::int32_t v) {
    Q_ASSERT(at >= 0 && at + 4 <= m_bytes.size());
    std::memcpy(m_bytes.data() + at, &v, 4);
}

}  // namespace bwreport
