#include "SurveyComparison.h"

#include <QStringList>
#include <algorithm>
#include <iterator>
#include <map>

#include "Cp1251Codec.h"
#include "Recommendations.h"
#include "expr/bw_value.h"
#include "sqlmem/query.h"
#include "uDMMain.h"

namespace orvalen {

namespace {

// The questions and part titles in the language the recommendations speak,
// with each question's position counted as FillTestAnswers counts it: by
// the stored order of the questions table.
struct TCatalogue {
    std::map<int, TComparedQuestion> questions;
    std::map<int, QString> partTitles;
};

void runQuery(sqlmem::TSQLMemQuery& query, std::initializer_list<const char*> lines) {
    query.ReadOnly = true;
    for (const char* line : lines)
        query.SQL().add(line);
    SetLangParam(query);
    query.open();
}

TCatalogue readCatalogue() {
    TCatalogue c;
    sqlmem::TSQLMemTable& questions = MainDM->QuestionsSQLMemTable;
    std::int64_t part = 0;
    int position = 0;
    for (questions.first(); !questions.eof(); questions.next()) {
        const std::int64_t rowPart = questions.fieldByName("q_part").asInteger();
        position = rowPart == part ? position + 1 : 1;
        part = rowPart;
        TComparedQuestion q;
        q.id = static_cast<int>(questions.fieldByName("id").asInteger());
        q.part = static_cast<int>(part);
        q.position = position;
        c.questions[q.id] = q;
    }

    sqlmem::TSQLMemQuery texts("ComparisonQuestionTexts");
    runQuery(texts, {"select q.id, s.text", "from questions q, strings s", "where",
                     "  s.id = q.text_id and", "  s.lang = :lang"});
    for (texts.first(); !texts.eof(); texts.next()) {
        const auto it = c.questions.find(static_cast<int>(texts.fieldByName("id").asInteger()));
        if (it != c.questions.end())
            it->second.text = fromCp1251(texts.fieldByName("text").asString());
    }

    sqlmem::TSQLMemQuery parts("ComparisonPartTitles");
    runQuery(parts, {"select p.id, s.text", "from q_parts p, strings s", "where",
                     "  s.id = p.name_id and", "  s.lang = :lang"});
    for (parts.first(); !parts.eof(); parts.next())
        c.partTitles[static_cast<int>(parts.fieldByName("id").asInteger())] =
            fromCp1251(parts.fieldByName("text").asString());
    return c;
}

TQuestionGroup group(const std::vector<int>& ids, const TCatalogue& c) {
    TQuestionGroup g;
    std::vector<TComparedQuestion> all;
    for (int id : ids)
        if (const auto it = c.questions.find(id); it != c.questions.end())
            all.push_back(it->second);
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
        return a.part != b.part ? a.part < b.part : a.position < b.position;
    });
    for (const TComparedQuestion& q : all) {
        if (g.parts.empty() || g.parts.back().part != q.part) {
            TPartQuestions p;
            p.part = q.part;
            if (const auto t = c.partTitles.find(q.part); t != c.partTitles.end())
                p.title = t->second;
            g.parts.push_back(std::move(p));
        }
        g.parts.back().questions.push_back(q);
    }
    return g;
}

TProgrammeChange::Score bestScore(const TProgrammeExplanation& p) {
    TProgrammeChange::Score s;
    if (p.bestLevel < 1 || p.bestLevel > 3) return s;
    const TLevelExplanation& level = p.levels[static_cast<std::size_t>(p.bestLevel - 1)];
    s.level = p.bestLevel;
    s.count = level.count;
    s.threshold = level.threshold;
    return s;
}

QString personKey(const std::string& name) {
    return fromCp1251(name).simplified().toCaseFolded();
}

}  // namespace

std::vector<int> TQuestionGroup::ids() const {
    std::vector<int> out;
    for (const TPartQuestions& p : parts)
        for (const TComparedQuestion& q : p.questions)
            out.push_back(q.id);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<TProgrammeChange> CompareProgrammes(const TSurveyExplanation& earlier,
                                                const TSurveyExplanation& later) {
    struct Entry {
        TProgrammeChange change;
        bool before = false, after = false;
    };
    std::map<int, Entry> byId;
    const auto take = [&byId](const TSurveyExplanation& e, bool after) {
        for (const TProgrammeExplanation& p : e.programmes) {
            Entry& entry = byId[p.id];
            entry.change.id = p.id;
            if (entry.change.name.isEmpty()) entry.change.name = p.name;
            (after ? entry.change.after : entry.change.before) = bestScore(p);
            (after ? entry.after : entry.before) = p.recommended;
        }
    };
    take(earlier, false);
    take(later, true);
    std::vector<TProgrammeChange> out;
    for (auto& [id, entry] : byId) {
        entry.change.kind = entry.before && entry.after ? TProgrammeChange::Kept
                            : entry.after               ? TProgrammeChange::Gained
                            : entry.before              ? TProgrammeChange::Lost
                                                        : TProgrammeChange::Neither;
        out.push_back(entry.change);
    }
    return out;
}

bool SamePerson(const std::string& name1, const std::string& name2) {
    return personKey(name1) == personKey(name2);
}

bool SurveyBefore(const TSurveyRecord& a, const TSurveyRecord& b) {
    return a.testTime != b.testTime ? a.testTime < b.testTime : a.id < b.id;
}

std::vector<const TProgrammeChange*> TSurveyComparison::withKind(
    TProgrammeChange::Kind kind) const {
    std::vector<const TProgrammeChange*> out;
    for (const TProgrammeChange& p : programmes)
        if (p.kind == kind) out.push_back(&p);
    return out;
}

std::vector<int> TickedQuestions(TRecommendations& recommendations) {
    sqlmem::TSQLMemTable& answers = recommendations.TestAnswersMemTable;
    std::vector<int> ids;
    for (answers.first(); !answers.eof(); answers.next())
        ids.push_back(static_cast<int>(answers.fieldByName("question").asInteger()));
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

std::vector<TSurveyRecord> JournalSurveys() {
    sqlmem::TSQLMemQuery q("ComparisonJournalQuery");
    runQuery(q, {"select id, test_date, test_time, tested_name, test_results", "from tests",
                 "order by id"});
    std::vector<TSurveyRecord> out;
    for (q.first(); !q.eof(); q.next()) {
        TSurveyRecord r;
        r.id = q.fieldByName("id").asInteger();
        r.testTime =
            q.fieldByName("test_date").asDateTime() + q.fieldByName("test_time").asDateTime();
        r.testedName = q.fieldByName("tested_name").asString();
        r.answers = q.fieldByName("test_results").asString();
        out.push_back(std::move(r));
    }
    return out;
}

QString SurveyCaption(const TSurveyRecord& survey) {
    return fromCp1251(survey.testedName) + QStringLiteral(", ") +
           bwreport::valueText(bwreport::dateTimeValue(survey.testTime));
}

TSurveyComparison CompareSurveys(TRecommendations& recommendations, const TSurveyRecord& a,
                                 const TSurveyRecord& b) {
    TSurveyComparison c;
    const bool swap = SurveyBefore(b, a);
    c.earlier = swap ? b : a;
    c.later = swap ? a : b;
    c.samePerson = SamePerson(c.earlier.testedName, c.later.testedName);

    // Each explanation leaves its survey's answers in the table.
    c.earlierExplanation = ExplainSurvey(recommendations, c.earlier.answers);
    const std::vector<int> before = TickedQuestions(recommendations);
    c.laterExplanation = ExplainSurvey(recommendations, c.later.answers);
    const std::vector<int> after = TickedQuestions(recommendations);

    std::vector<int> onlyBefore, onlyAfter, common;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                        std::back_inserter(onlyBefore));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(onlyAfter));
    std::set_intersection(before.begin(), before.end(), after.begin(), after.end(),
                          std::back_inserter(common));
    const TCatalogue catalogue = readCatalogue();
    c.onlyEarlier = group(onlyBefore, catalogue);
    c.onlyLater = group(onlyAfter, catalogue);
    c.both = group(common, catalogue);
    c.programmes = CompareProgrammes(c.earlierExplanation, c.laterExplanation);
    return c;
}

}  // namespace orvalen
