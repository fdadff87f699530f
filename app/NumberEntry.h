// Item numbers typed as they are written on a paper form, "1 5 12-14, 40":
// numbers and ranges separated by blanks, commas or semicolons.
#pragma once

#include <QString>
#include <vector>

namespace orvalen {

struct TItemNumbers {
    std::vector<int> Numbers;  // ascending, each once
    // Empty when the whole text is accepted; otherwise names the first
    // token refused, which ErrorStart and ErrorLength mark in the text.
    QString Error;
    int ErrorStart = 0;
    int ErrorLength = 0;
    bool ok() const { return Error.isEmpty(); }
};

// Numbers of items 1 to `count`. A range is "a-b" with a ≤ b, written
// without blanks; a duplicate counts once. Text holding only separators
// gives no numbers and no error. A text with any refused token gives no
// numbers: a line is taken whole or not at all.
TItemNumbers ParseItemNumbers(const QString& text, int count);

// "1, 5, 12-14, 40": `numbers` ascending, runs of three or more joined.
QString FormatItemNumbers(const std::vector<int>& numbers);

}  // namespace orvalen
