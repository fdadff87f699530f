#include "Explanation.h"

#include <algorithm>
#include <map>
#include <string>

#include "Cp1251Codec.h"
#include "Recommendations.h"
#include "sqlmem/query.h"

namespace orvalen {

namespace {

// One weight level k of every programme, split by the recommendation
// statement's own HAVING into the rows that qualify (1) and the rows that
// do not (0), so that "qualifies" is that predicate and nothing else. The
// ticked questions of level k come as one derived table, left-joined so
// that a programme with none still gets its row (count 0). The statement's
// inner join makes no group without a ticked question, which only a
// negative threshold would otherwise notice.
std::vector<std::string> levelBlock(int k, bool qualifies) {
    const std::string v = "rs.v" + std::to_string(k);
    const std::string having =
        v + " <> 0 and " + v + " <= count(t.question) and count(t.question) > 0";
    return {
        "select rs.id, " + std::to_string(k) + " lvl, " + v + " threshold,",
        "  count(t.question) ticked, " + std::string(qualifies ? "1" : "0") +
            " qualifies, s.text rs_name",
        "from result_sets rs",
        "  left join (select qs.result_set, qs.question",
        "             from question_values qs, test_answers ta",
        "             where qs.question = ta.question and qs.val = " + std::to_string(k) + ") t",
        "    on t.result_set = rs.id,",
        "  strings s",
        "where",
        "  s.lang = :lang and",
        "  s.id = rs.name_id",
        "group by rs.id, " + v + ", s.text",
        "having",
        "  " + (qualifies ? having : "not (" + having + ")"),
    };
}

}  // namespace

const std::vector<std::string>& ExplanationLevelsSQL() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> all;
        for (int k = 1; k <= 3; ++k)
            for (bool qualifies : {true, false}) {
                if (!all.empty()) all.insert(all.end(), {"", "union", ""});
                const std::vector<std::string> block = levelBlock(k, qualifies);
                all.insert(all.end(), block.begin(), block.end());
            }
        all.push_back("");
        return all;
    }();
    return lines;
}

const std::vector<std::string>& ExplanationQuestionsSQL() {
    // The place of a question in its part counts the part's questions up to
    // its id, which is how the questionnaire numbers them; distinct, as a
    // weight given twice repeats them.
    static const std::vector<std::string> lines = {
        "select qs.result_set, qs.val, q.id, q.q_part, count(distinct p.id) place, s.text",
        "from test_answers ta",
        "  join question_values qs on qs.question = ta.question",
        "  join questions q on q.id = ta.question",
        "  join questions p on p.q_part = q.q_part and p.id <= q.id",
        "  left join strings s on s.id = q.text_id and s.lang = :lang",
        "group by qs.result_set, qs.val, q.id, q.q_part, s.text",
        "order by qs.result_set, qs.val, q.id",
    };
    return lines;
}

int TProgrammeExplanation::tickedCount() const {
    int n = 0;
    for (const TLevelExplanation& l : levels)
        n += l.count;
    return n;
}

std::vector<const TProgrammeExplanation*> TSurveyExplanation::recommended() const {
    std::vector<const TProgrammeExplanation*> out;
    for (const TProgrammeExplanation& p : programmes)
        if (p.recommended) out.push_back(&p);
    return out;
}

std::vector<const TProgrammeExplanation*> TSurveyExplanation::nearMisses() const {
    std::vector<const TProgrammeExplanation*> out;
    for (const TProgrammeExplanation& p : programmes)
        if (p.nearMiss) out.push_back(&p);
    return out;
}

namespace {

void runQuery(sqlmem::TSQLMemQuery& query, const std::vector<std::string>& lines,
              const sqlmem::Variant& lang) {
    query.ReadOnly = true;
    query.SQL().beginUpdate();
    for (const std::string& line : lines)
        query.SQL().add(line);
    query.SQL().endUpdate();
    // The first "lang" serves every occurrence.
    query.paramByName("lang").setValue(lang);
    query.open();
}

int intField(sqlmem::TSQLMemQuery& q, const char* name) {
    return static_cast<int>(q.fieldByName(name).asInteger());
}

void summarise(TProgrammeExplanation& p) {
    for (TLevelExplanation& l : p.levels) {
        // A level nothing was ticked for is not one short: with every
        // threshold 1 that would make each programme not recommended a near
        // miss.
        l.oneShort = l.count > 0 && l.threshold - l.count == 1;
        p.recommended = p.recommended || l.qualifies;
        p.nearMiss = p.nearMiss || l.oneShort;
        if (l.threshold == 0) continue;
        const double ratio = double(l.count) / l.threshold;
        if (p.bestLevel == 0 || ratio > p.bestRatio) {
            p.bestLevel = l.level;
            p.bestRatio = ratio;
        }
    }
    p.nearMiss = p.nearMiss && !p.recommended;
}

}  // namespace

TSurveyExplanation ExplainSurvey(TRecommendations& recommendations, const std::string& answerText) {
    recommendations.FillTestAnswers(answerText);
    sqlmem::Variant lang;
    if (sqlmem::TParam* p = recommendations.TestResultsSQLMemQuery.findParam("lang"))
        lang = p->value();

    TSurveyExplanation out;
    std::map<int, std::size_t> indexOf;  // programme id -> place in out.programmes

    sqlmem::TSQLMemQuery levels("ExplanationLevelsQuery");
    runQuery(levels, ExplanationLevelsSQL(), lang);
    for (levels.first(); !levels.eof(); levels.next()) {
        const int id = intField(levels, "id");
        auto [it, added] = indexOf.try_emplace(id, out.programmes.size());
        if (added) {
            TProgrammeExplanation& p = out.programmes.emplace_back();
            p.id = id;
            for (int k = 1; k <= 3; ++k)
                p.levels[std::size_t(k - 1)].level = k;
            p.name = fromCp1251(levels.fieldByName("rs_name").asString());
        }
        const int k = intField(levels, "lvl");
        TLevelExplanation& l = out.programmes[it->second].levels[std::size_t(k - 1)];
        l.level = k;
        l.threshold = intField(levels, "threshold");
        l.count = intField(levels, "ticked");
        l.qualifies = intField(levels, "qualifies") != 0;
    }
    levels.close();

    sqlmem::TSQLMemQuery questions("ExplanationQuestionsQuery");
    runQuery(questions, ExplanationQuestionsSQL(), lang);
    for (questions.first(); !questions.eof(); questions.next()) {
        const auto it = indexOf.find(intField(questions, "result_set"));
        const int k = intField(questions, "val");
        // Weights outside 1 to 3 and unnamed programmes count for nothing.
        if (it == indexOf.end() || k < 1 || k > 3) continue;
        out.programmes[it->second].levels[std::size_t(k - 1)].questions.push_back(
            {intField(questions, "id"), intField(questions, "q_part"), intField(questions, "place"),
             fromCp1251(questions.fieldByName("text").asString())});
    }
    questions.close();

    for (TProgrammeExplanation& p : out.programmes)
        summarise(p);
    const auto group = [](const TProgrammeExplanation& p) {
        return p.recommended ? 0 : p.nearMiss ? 1 : 2;
    };
    std::stable_sort(out.programmes.begin(), out.programmes.end(),
                     [&](const TProgrammeExplanation& a, const TProgrammeExplanation& b) {
                         return group(a) != group(b) ? group(a) < group(b) : a.id < b.id;
                     });
    return out;
}

}  // namespace orvalen
