// The virtual printer's papers: the standard paper codes with their sheet
// sizes, used where no real printer can be asked.
#pragma once

#include <array>

namespace bwreport {

constexpr int kUserPaper = 256;  // a user-defined size
constexpr int kA4Paper = 9;

struct TBwPaperInfo {
    int code;
    int width;  // tenths of a millimetre, portrait
    int height;
    int nameId;  // string-table id of the paper's name
};

constexpr int kPaperCount = 67;
const std::array<TBwPaperInfo, kPaperCount>& paperTable();

// The entry of `code`; null for a code the table does not have.
const TBwPaperInfo* findPaper(int code);

}  // namespace bwreport
