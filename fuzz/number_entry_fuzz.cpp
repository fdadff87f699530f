// Any text pasted into the questionnaire's number line, with any part size:
// the numbers taken are within the part, ascending and once each; a refusal
// takes none and marks a stretch inside the text.
// Input: one byte for the part size (0 to 255), then the text as UTF-8.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "NumberEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int count = data[0];
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1),
                                           static_cast<qsizetype>(size - 1));
    const orvalen::TItemNumbers got = orvalen::ParseItemNumbers(text, count);
    if (got.ok()) {
        int previous = 0;
        for (int n : got.Numbers) {
            if (n <= previous || n > count) std::abort();
            previous = n;
        }
        // What was taken reads back as the same numbers.
        const orvalen::TItemNumbers again =
            orvalen::ParseItemNumbers(orvalen::FormatItemNumbers(got.Numbers), count);
        if (!again.ok() || again.Numbers != got.Numbers) std::abort();
    } else {
        if (!got.Numbers.empty()) std::abort();
        if (got.ErrorStart < 0 || got.ErrorLength <= 0 ||
            got.ErrorStart + got.ErrorLength > text.size())
            std::abort();
    }
    return 0;
}
