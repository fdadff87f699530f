#include "ReferenceLoader.h"

#include <stdexcept>
#include <vector>

#include "uUtils.h"

namespace orvalen {

void LoadTableFromText(const std::string& text, sqlmem::TSQLMemTable& table) {
    const std::vector<std::string> lines = SplitLines(text);
    table.open();
    std::vector<std::string> pieces;
    for (size_t i = 1; i < lines.size(); ++i) {
        table.insert();
        try {
            SplitString(pieces, lines[i], ";");
            for (size_t j = 1; j < pieces.size(); ++j) {
                const int index = static_cast<int>(j - 1);
                if (index >= table.fieldCount())
                    throw std::out_of_range("List index out of bounds (" + std::to_string(index) +
                                            ")");
                table.field(index).setAsString(ExtractQuotedString(pieces[j], '"'));
            }
            table.post();
        } catch (...) {
            table.cancel();
            throw;
        }
    }
}

}  // namespace orvalen
