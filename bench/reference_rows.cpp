#include "reference_rows.h"

#include <fstream>
#include <sstream>

#include "uUtils.h"

namespace bench {

std::vector<std::vector<std::string>> readReference(const std::string& name) {
    std::ifstream in(std::string(ORVALEN_REFERENCE_DIR) + "/" + name + ".csv", std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    std::vector<std::vector<std::string>> rows;
    const std::vector<std::string> lines = orvalen::SplitLines(all.str());
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> pieces;
        orvalen::SplitString(pieces, lines[i], ";");
        std::vector<std::string> row;
        for (std::size_t j = 1; j < pieces.size(); ++j)
            row.push_back(orvalen::ExtractQuotedString(pieces[j], '"'));
        rows.push_back(row);
    }
    return rows;
}

}  // namespace bench
