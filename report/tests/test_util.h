// Byte fixtures and message capture for the report engine's tests.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <utility>

#include "base/bw_messages.h"

namespace bwreport::test {

inline QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

inline QByteArray le32(std::int32_t v) {
    return QByteArray(reinterpret_cast<const char*>(&v), 4);
}

inline QByteArray le16(std::uint16_t v) {
    return QByteArray(reinterpret_cast<const char*>(&v), 2);
}

// A version-24 string of Latin-1 text.
inline QByteArray str24(const char* latin1) {
    const QByteArray b(latin1);
    return le16(static_cast<std::uint16_t>(b.size())) + b + QByteArray(1, '\0');
}

inline QByteArray readTemplate(const char* name) {
    QFile f(QStringLiteral(ORVALEN_RESOURCES "/reports/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Collects the message boxes shown while it lives.
class MessageCapture {
public:
    MessageCapture() {
        m_previous = setMessageHandler([this](const QString& title, const QString& text) {
            titles.append(title);
            texts.append(text);
        });
    }
    ~MessageCapture() { setMessageHandler(std::move(m_previous)); }
    QStringList titles;
    QStringList texts;

private:
    TBwMessageHandler m_previous;
};

}  // namespace bwreport::test
