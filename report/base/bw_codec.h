// Windows-1251 text of the report streams <-> Qt text. A private adapter over
// the engine's code-page table until the shared codec library exists; every
// stream read and write goes through these two functions and nowhere else.
#pragma once

#include <QString>
#include <string_view>

namespace bwreport {

// Byte 0x98, the one byte 1251 leaves unassigned, maps to U+0098 and back, so
// that any stored text survives a load and a save unchanged.
QString fromCp1251(std::string_view bytes);

// False when `text` holds a character 1251 cannot; `out` is then unspecified
// and the caller must refuse the text, never store it changed.
bool toCp1251(const QString& text, std::string& out);

}  // namespace bwreport
