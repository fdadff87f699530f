// The shipped reference data read straight from the data module's tables,
// and the recommendation rule computed from it by hand, for the tests to
// hold the engine's statements against.
#pragma once

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app_test_support.h"

namespace orvalen::testing {

using sqlmem::TSQLMemTable;

struct Reference {
    std::map<int, std::vector<int>> questionsOfPart;  // part -> ids ascending
    std::map<int, int> textOf;                        // question -> string id
    struct Weight {
        int question, resultSet, val;
    };
    std::vector<Weight> weights;
    std::map<int, std::array<int, 3>> thresholds;             // programme -> v1..v3
    std::map<int, int> nameOf;                                // programme -> string id
    std::map<std::pair<int, int>, std::string> strings;       // (id, lang) -> text
    std::map<std::string, int> goodsName;                     // code -> string id
    std::vector<std::pair<std::string, int>> goodsInResults;  // (code, programme)
};

inline const Reference& reference() {
    static const Reference r = [] {
        Reference r;
        TMainDM& dm = dataModule();
        auto walk = [](TSQLMemTable& t, auto&& row) {
            for (t.first(); !t.eof(); t.next())
                row(t);
        };
        walk(dm.QuestionsSQLMemTable, [&](TSQLMemTable& t) {
            r.questionsOfPart[t.fieldByName("q_part").asInteger()].push_back(
                t.fieldByName("id").asInteger());
            r.textOf[t.fieldByName("id").asInteger()] = t.fieldByName("text_id").asInteger();
        });
        for (auto& [part, ids] : r.questionsOfPart)
            std::sort(ids.begin(), ids.end());
        walk(dm.QuestionValuesSQLMemTable, [&](TSQLMemTable& t) {
            r.weights.push_back({t.fieldByName("question").asInteger(),
                                 t.fieldByName("result_set").asInteger(),
                                 t.fieldByName("val").asInteger()});
        });
        walk(dm.ResultSetsSQLMemTable, [&](TSQLMemTable& t) {
            const int id = t.fieldByName("id").asInteger();
            r.thresholds[id] = {t.fieldByName("v1").asInteger(), t.fieldByName("v2").asInteger(),
                                t.fieldByName("v3").asInteger()};
            r.nameOf[id] = t.fieldByName("name_id").asInteger();
        });
        walk(dm.StringsSQLMemTable, [&](TSQLMemTable& t) {
            r.strings[{t.fieldByName("id").asInteger(), t.fieldByName("lang").asInteger()}] =
                t.fieldByName("text").asString();
        });
        walk(dm.GoodsSQLMemTable, [&](TSQLMemTable& t) {
            r.goodsName[t.fieldByName("code").asString()] = t.fieldByName("name_id").asInteger();
        });
        walk(dm.GoodsInResultsSQLMemTable, [&](TSQLMemTable& t) {
            r.goodsInResults.push_back(
                {t.fieldByName("goods_code").asString(), t.fieldByName("results_set").asInteger()});
        });
        return r;
    }();
    return r;
}

// The rule in plain words: a programme named in language 1 is recommended
// when at some weight level k its threshold vk is not 0 and at most the
// number of ticked questions weighing k for it.
inline std::vector<int> ruleFor(const std::set<int>& ticked) {
    const Reference& r = reference();
    std::vector<int> out;
    for (const auto& [programme, v] : r.thresholds) {
        if (!r.strings.count({r.nameOf.at(programme), 1})) continue;
        for (int k = 1; k <= 3; ++k) {
            int count = 0;
            for (const Reference::Weight& w : r.weights)
                count += w.resultSet == programme && w.val == k && ticked.count(w.question);
            if (v[k - 1] != 0 && v[k - 1] <= count) {
                out.push_back(programme);
                break;
            }
        }
    }
    return out;  // ascending, as the map is
}

// The answer text of a survey that ticked `ticked`: per part the 1-based
// positions in id order, blank-separated, each line ended by CR LF.
inline std::string answerText(const std::set<int>& ticked) {
    std::string text;
    for (const auto& [part, ids] : reference().questionsOfPart) {
        std::string line;
        for (std::size_t i = 0; i < ids.size(); ++i)
            if (ticked.count(ids[i])) line += (line.empty() ? "" : " ") + std::to_string(i + 1);
        text += line + "\r\n";
    }
    return text;
}

}  // namespace orvalen::testing
