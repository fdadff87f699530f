// The one place where Qt text meets the engine's Windows-1251 bytes.
#pragma once

#include <QString>
#include <string>

namespace orvalen {

QString fromCp1251(const std::string& bytes);

// False when the text holds a character 1251 cannot; `out` is then
// unspecified and the caller must refuse the input, never store it changed.
bool toCp1251(const QString& text, std::string& out);

// The first character of `text` that 1251 cannot hold, or a null QChar.
QString firstUnencodable(const QString& text);

}  // namespace orvalen
