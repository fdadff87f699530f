// Explanation: why each programme is or is not recommended for one survey,
// as the application computes it after a survey: the answers filled into
// "test_answers" and the two explanation statements run over the shipped
// reference data, their rows read into the explanation. No peer: the figure
// stands on its own (goal: well under 10 ms a survey). Every run checks the
// programmes explained as recommended against the recommendation statement.
#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "Explanation.h"
#include "Recommendations.h"
#include "reference_rows.h"
#include "sqlmem/sqlmem.h"

namespace {

// A reference table, filled here unless another benchmark already has it;
// what was filled here is dropped again so that nobody sees it twice.
class Reference {
public:
    Reference(const char* table, const char* file, std::vector<std::pair<const char*, bool>> cols)
        : m_table(table) {
        m_table.TableName = table;
        for (const auto& [name, text] : cols)
            m_table.FieldDefs.push_back(
                {name, text ? sqlmem::TFieldType::ftString : sqlmem::TFieldType::ftInteger,
                 text ? 200 : 0, false});
        m_table.open();
        if (m_table.recordCount() > 0) return;
        m_owned = true;
        for (const auto& row : bench::readReference(file)) {
            m_table.append();
            for (std::size_t i = 0; i < cols.size(); ++i)
                m_table.field(static_cast<int>(i)).setAsString(row[i]);
            m_table.post();
        }
    }
    ~Reference() {
        m_table.close();
        if (m_owned) m_table.deleteTable();
    }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;
    sqlmem::TSQLMemTable& table() { return m_table; }

private:
    sqlmem::TSQLMemTable m_table;
    bool m_owned = false;
};

struct Survey {
    std::string answerText;
    std::vector<int> programmes;  // as the recommendation statement lists them
};

void explanation(benchmark::State& state) {
    Reference values("question_values", "QUESTION_VALUES",
                     {{"question", false}, {"result_set", false}, {"val", false}});
    Reference sets(
        "result_sets", "RESULT_SETS",
        {{"id", false}, {"name_id", false}, {"v1", false}, {"v2", false}, {"v3", false}});
    Reference strings("strings", "STRINGS", {{"id", false}, {"lang", false}, {"text", true}});
    // The explanation numbers questions from the table of that name.
    Reference questions("questions", "QUESTIONS",
                        {{"id", false}, {"q_part", false}, {"text_id", false}});
    {
        orvalen::TRecommendations form(questions.table());
        std::map<int, int> perPart;
        auto& q = questions.table();
        for (q.first(); !q.eof(); q.next())
            ++perPart[static_cast<int>(q.fieldByName("q_part").asInteger())];
        std::vector<Survey> surveys;
        std::mt19937 random(7);
        for (int i = 0; i < 256; ++i) {
            const double density = std::uniform_real_distribution<>(0.0, 0.6)(random);
            Survey s;
            for (const auto& [part, count] : perPart) {
                std::string line;
                for (int j = 1; j <= count; ++j)
                    if (std::bernoulli_distribution(density)(random))
                        line += (line.empty() ? "" : " ") + std::to_string(j);
                s.answerText += line + "\r\n";
            }
            form.CalculateResults("Ivanov", s.answerText, 46357.5);
            auto& r = form.TestResultsSQLMemQuery;
            for (r.first(); !r.eof(); r.next())
                s.programmes.push_back(static_cast<int>(r.fieldByName("id").asInteger()));
            surveys.push_back(std::move(s));
        }
        form.TestResultsSQLMemQuery.close();

        std::size_t i = 0;
        for (auto _ : state) {
            const Survey& s = surveys[i++ % surveys.size()];
            const orvalen::TSurveyExplanation e = orvalen::ExplainSurvey(form, s.answerText);
            std::vector<int> explained;
            for (const orvalen::TProgrammeExplanation* p : e.recommended())
                explained.push_back(p->id);
            if (explained != s.programmes) {
                state.SkipWithError("the explanation recommends other programmes");
                break;
            }
        }
        state.SetItemsProcessed(state.iterations());
        form.TestAnswersMemTable.close();
        form.TestAnswersMemTable.deleteTable();
    }
}

}  // namespace

BENCHMARK(explanation)->Name("Explanation")->Unit(benchmark::kMicrosecond);
