#include "Cp1251Codec.h"

#include <QList>

#include "sqlmem/cp1251.h"

namespace orvalen {

QString fromCp1251(const std::string& bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes) {
        const char32_t u = sqlmem::cp1251::toUnicode(static_cast<unsigned char>(c));
        out += QChar(static_cast<char16_t>(u));
    }
    return out;
}

bool toCp1251(const QString& text, std::string& out) {
    out.clear();
    out.reserve(static_cast<size_t>(text.size()));
    for (const char32_t u : text.toUcs4()) {
        unsigned char b;
        if (!sqlmem::cp1251::fromUnicode(u, b)) return false;
        out += static_cast<char>(b);
    }
    return true;
}

QString firstUnencodable(const QString& text) {
    for (const char32_t u : text.toUcs4()) {
        unsigned char b;
        if (!sqlmem::cp1251::fromUnicode(u, b)) return QString::fromUcs4(&u, 1);
    }
    return {};
}

}  // namespace orvalen
