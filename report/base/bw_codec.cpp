#include "base/bw_codec.h"

#include "sqlmem/cp1251.h"

namespace bwreport {

namespace {
constexpr unsigned char kUnassigned = 0x98;
}

QString fromCp1251(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += b == kUnassigned ? QChar(char16_t(kUnassigned))
                                : QChar(static_cast<char16_t>(sqlmem::cp1251::toUnicode(b)));
    }
    return out;
}

bool toCp1251(const QString& text, std::string& out) {
    out.clear();
    out.reserve(static_cast<size_t>(text.size()));
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == kUnassigned) {
            out += static_cast<char>(kUnassigned);
            continue;
        }
        // A surrogate half (a character outside the BMP) is never in 1251.
        unsigned char b;
        if (ch.isSurrogate() || !sqlmem::cp1251::fromUnicode(u, b)) return false;
        out += static_cast<char>(b);
    }
    return true;
}

}  // namespace bwreport
