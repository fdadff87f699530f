// The head of a table image, before its body:
//
//   0  "ACS1"                       24 ...
//   4  float64 format version 3.4   28 8 reserved bytes
//  12  int64 number of records      36 int32 compressed body length, or the
//  20  int64 uncompressed body         save's size value when not compressed
//      length (compressed bodies)   40 byte algorithm, 41 byte mode (0 saved as 1)
//  42  byte name length n, 43 the name, then int64 object-identifier value
//
// The body starts at 51 + n.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_reader.h"

namespace sqlmem {

struct TSQLMemImageHeader {
    static constexpr std::size_t kSize = 43;
    static constexpr double kVersion = 3.4;

    std::int64_t RecordCount = 0;
    std::int64_t BodyLength = 0;  // uncompressed, when the body is compressed
    std::int32_t SizeValue = 0;   // offset 36
    std::uint8_t Algorithm = 0;
    std::uint8_t Mode = 1;
    std::string TableName;
    std::int64_t ObjectIdValue = 0;

    // Appends the head; a name over 255 characters is a range error.
    void write(std::vector<std::uint8_t>& out) const;
    // Reads and checks a head: a short read raises the stream error (10160
    // the fixed part, 10163 the name, 10417 the object-identifier value); a
    // signature other than "ACS1" 10161; a version outside 1.020001..3.4001
    // "Invalid version number = %f. Should be %f" (10162 above, 10443 below
    // 1.0001, 10454 below 1.010001, 10455 below 1.020001).
    static TSQLMemImageHeader read(TByteReader& in);
};

}  // namespace sqlmem
