// Any bytes as encoded text in each string format, and as a date format plus
// a text to read with it. Decoding either succeeds or raises the engine's
// error; what decodes re-encodes to text that decodes to the same bytes, any
// bytes survive their own encoding, and a date that reads back is written
// within the length the format promises.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sqlmem/exception.h"
#include "values/date_formater.h"
#include "values/string_format.h"

using namespace sqlmem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    for (int n = 0; n < sfCount; ++n) {
        const TStringFormat& format = TStringFormat::byNumber(n);
        if (format.decode(format.encode(input)) != input) std::abort();
        try {
            const std::string bytes = format.decode(input);
            if (format.decode(format.encode(bytes)) != bytes) std::abort();
        } catch (const ESQLMemException& e) {
            if (e.nativeError() != kErrStringFormatInput) std::abort();
        }
    }

    // First byte: length of the date format; the rest is the text.
    if (size == 0) return 0;
    const std::size_t formatSize = std::min<std::size_t>(data[0], size - 1);
    const TDateFormater formater(std::string(input.substr(1, formatSize)));
    const std::string text(input.substr(1 + formatSize));
    try {
        const double dateTime = formater.parse(text);
        if (formater.format(dateTime).size() > formater.maxLength()) std::abort();
    } catch (const ESQLMemException& e) {
        const int code = e.nativeError();
        if (code != kErrAmPmExpected && code != kErrDateTextMismatch && code != kErrDateTextInvalid)
            std::abort();
    }
    return 0;
}
