#include "Recommendations.h"

#include <algorithm>
#include <stdexcept>

#include "uDMMain.h"
#include "uUtils.h"

namespace orvalen {

namespace {

std::vector<std::string> recommendationBlock(int k) {
    const std::string v = "rs.v" + std::to_string(k);
    return {
        "select rs.id, s.lang, s.text rs_name",
        "from question_values qs, result_sets rs, test_answers ta, strings s",
        "where",
        "  s.lang = :lang and",
        "  s.id = rs.name_id and",
        "  qs.question = ta.question and",
        "  rs.id = qs.result_set and",
        "  qs.val = " + std::to_string(k) + " and",
        "  " + v + " <> 0 and",
        "  1=1",
        "group by rs.id, " + v + ", s.lang, s.text",
        "having",
        "  " + v + " <= count(qs.question)",
    };
}

}  // namespace

const std::vector<std::string>& RecommendationSQL() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> all;
        for (int k = 1; k <= 3; ++k) {
            if (k > 1) all.insert(all.end(), {"", "union", ""});
            const std::vector<std::string> block = recommendationBlock(k);
            all.insert(all.end(), block.begin(), block.end());
        }
        all.push_back("");
        return all;
    }();
    return lines;
}

const std::vector<std::string>& GoodsSQL() {
    static const std::vector<std::string> lines = {
        "select g.code, s.text name",
        "from goods g, goods_in_results gr, strings s",
        "where",
        "  gr.results_set = :id and",
        "  g.code = gr.goods_code and",
        "  s.id = g.name_id and",
        "  s.lang = :lang and",
        "  1=1",
        "order by g.code",
    };
    return lines;
}

void FillTestAnswers(sqlmem::TSQLMemTable& answers, sqlmem::TSQLMemTable& questions,
                     const std::string& answerText) {
    const std::vector<std::string> lines = SplitLines(answerText);
    answers.close();
    answers.emptyTable();
    answers.open();
    std::vector<std::string> numbers;
    bool havePart = false;
    std::int64_t part = 0;
    int n = 0;
    for (questions.first(); !questions.eof(); questions.next()) {
        const std::int64_t rowPart = questions.fieldByName("q_part").asInteger();
        if (!havePart || rowPart != part) {
            const std::int64_t line = rowPart - 1;
            if (line < 0 || line >= static_cast<std::int64_t>(lines.size()))
                throw std::out_of_range("List index out of bounds (" + std::to_string(line) + ")");
            SplitString(numbers, lines[static_cast<std::size_t>(line)], " ");
            havePart = true;
            part = rowPart;
            n = 1;
        }
        if (std::find(numbers.begin(), numbers.end(), std::to_string(n)) != numbers.end()) {
            answers.append();
            answers.fieldByName("question").setAsInteger(questions.fieldByName("id").asInteger());
            answers.post();
        }
        ++n;
    }
}

TRecommendations::TRecommendations(sqlmem::TSQLMemTable& questions) : m_questions(questions) {
    using sqlmem::TFieldType;
    TestAnswersMemTable.TableName = "test_answers";
    TestAnswersMemTable.StoreDefs = true;
    TestAnswersMemTable.MemoryTableAllocBy = 1000;
    TestAnswersMemTable.FieldDefs.push_back({"question", TFieldType::ftInteger, 0, false});
    TestAnswersMemTable.addField("question", TFieldType::ftInteger);

    TestResultsSQLMemQuery.ReadOnly = true;
    for (const std::string& line : RecommendationSQL())
        TestResultsSQLMemQuery.SQL().add(line);
    TestResultsSQLMemQuery.addField("id", TFieldType::ftInteger);
    TestResultsSQLMemQuery.addField("rs_name", TFieldType::ftString, 200);
    TestResultsSQLMemQuery.addField("lang", TFieldType::ftInteger);

    GoodsResultsSQLMemQuery.ReadOnly = true;
    for (const std::string& line : GoodsSQL())
        GoodsResultsSQLMemQuery.SQL().add(line);
    GoodsResultsSQLMemQuery.setDataSource(&TestResultsDataSource);
    GoodsResultsSQLMemQuery.addField("code", TFieldType::ftString, 50);
    GoodsResultsSQLMemQuery.addField("name", TFieldType::ftString, 200);

    TestAnswersMemTable.open();
    // The first of the three "lang" parameters serves all three.
    SetLangParam(TestResultsSQLMemQuery);
}

void TRecommendations::CalculateResults(const std::string& testedName,
                                        const std::string& answerText, double testTime) {
    m_testedName = testedName;
    m_testTime = testTime;
    FillTestAnswers(answerText);
    TestResultsSQLMemQuery.close();
    TestResultsSQLMemQuery.open();
}

void TRecommendations::FillTestAnswers(const std::string& answerText) {
    orvalen::FillTestAnswers(TestAnswersMemTable, m_questions, answerText);
}

}  // namespace orvalen
