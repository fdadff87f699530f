// UTF-16 text, as wide fields and values hold it, to the engine's 1251 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sqlmem {

// The 1251 form of `count` UTF-16 units stored little-endian at `units`.
// A character the code page cannot hold is refused, never replaced:
// ESQLMemException(code, "Character %s cannot be stored in code page 1251")
// naming it as U+XXXX (a surrogate pair as the one character it encodes).
// The code names the caller's place, as every engine error's does.
std::string wideTo1251(const std::uint8_t* units, std::size_t count, int code);

// The same for text that is only read, never kept (parsed as a number, a
// date, a truth value), where such a character simply makes the text none
// of those: false at the first one, with the converted prefix in `out`.
bool tryWideTo1251(const std::uint8_t* units, std::size_t count, std::string& out);

}  // namespace sqlmem
