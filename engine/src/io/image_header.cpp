#include "io/image_header.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "sqlmem/exception.h"

namespace sqlmem {
namespace {

const char kSignature[4] = {'A', 'C', 'S', '1'};

// The printf "%f" of a version, as the message shows it.
std::string fixed6(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", v);
    return text;
}

}  // namespace

void TSQLMemImageHeader::write(std::vector<std::uint8_t>& out) const {
    if (TableName.size() > 255) throw std::range_error("Range check error");
    out.insert(out.end(), kSignature, kSignature + 4);
    appendLE<double>(out, kVersion);
    appendLE<std::int64_t>(out, RecordCount);
    appendLE<std::int64_t>(out, BodyLength);
    appendLE<std::int64_t>(out, 0);  // reserved
    appendLE<std::int32_t>(out, SizeValue);
    out.push_back(Algorithm);
    out.push_back(Mode == 0 ? 1 : Mode);
    out.push_back(static_cast<std::uint8_t>(TableName.size()));
    out.insert(out.end(), TableName.begin(), TableName.end());
    appendLE<std::int64_t>(out, ObjectIdValue);
}

TSQLMemImageHeader TSQLMemImageHeader::read(TByteReader& in) {
    const std::uint8_t* p = in.readBytes(kSize, 10160);
    if (std::memcmp(p, kSignature, 4) != 0) {
        // A NUL among the bytes would end the message where it is shown.
        std::string seen(reinterpret_cast<const char*>(p), 4);
        for (char& c : seen)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
        throw ESQLMemException(10161, "Invalid signature = %s. Should be %s", {seen, "ACS1"});
    }
    const double version = loadLE<double>(p + 4);
    // Checked in this order; a version that is no number fails the first.
    int code = 0;
    if (!(version <= 3.4001))
        code = 10162;
    else if (version < 1.0001)
        code = 10443;
    else if (version < 1.010001)
        code = 10454;
    else if (version < 1.020001)
        code = 10455;
    if (code)
        throw ESQLMemException(code, "Invalid version number = %s. Should be %s",
                               {fixed6(version), fixed6(kVersion)});
    TSQLMemImageHeader h;
    h.RecordCount = loadLE<std::int64_t>(p + 12);
    h.BodyLength = loadLE<std::int64_t>(p + 20);
    h.SizeValue = loadLE<std::int32_t>(p + 36);
    h.Algorithm = p[40];
    h.Mode = p[41];
    h.TableName = in.readText(p[42], 10163);
    h.ObjectIdValue = in.read<std::int64_t>(10417);
    return h;
}

}  // namespace sqlmem
