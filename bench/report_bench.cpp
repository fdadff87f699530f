// Report building: the recommendation list of a survey that ticked every
// question (every programme with its products) built from the
// application's two queries over the shipped reference data, with the
// report's own expressions, and each page drawn at screen resolution. One item is one page. No
// peer: the figure stands on its own (goal: 500 pages a second or more).
#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Recommendations.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "reference_rows.h"
#include "sqlmem/sqlmem.h"

namespace {

using namespace bwreport;

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
    sqlmem::TSQLMemTable& table() { return m_table; }

private:
    sqlmem::TSQLMemTable m_table;
    bool m_owned = false;
};

void ensureGuiApplication() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "orvalen_bench";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}

void reportBuild(benchmark::State& state) {
    ensureGuiApplication();
    Reference values("question_values", "QUESTION_VALUES",
                     {{"question", false}, {"result_set", false}, {"val", false}});
    Reference sets(
        "result_sets", "RESULT_SETS",
        {{"id", false}, {"name_id", false}, {"v1", false}, {"v2", false}, {"v3", false}});
    Reference strings("strings", "STRINGS", {{"id", false}, {"lang", false}, {"text", true}});
    Reference goodsTable("goods", "GOODS", {{"code", true}, {"name_id", false}});
    Reference links("goods_in_results", "GOODS_IN_RESULTS",
                    {{"goods_code", true}, {"results_set", false}});
    Reference questions("report_bench_questions", "QUESTIONS",
                        {{"id", false}, {"q_part", false}, {"text_id", false}});

    // Every question ticked.
    std::string answers;
    {
        std::map<int, int> perPart;
        auto& q = questions.table();
        for (q.first(); !q.eof(); q.next())
            ++perPart[static_cast<int>(q.fieldByName("q_part").asInteger())];
        for (const auto& [part, count] : perPart) {
            std::string line;
            for (int i = 1; i <= count; ++i)
                line += (line.empty() ? "" : " ") + std::to_string(i);
            answers += line + "\r\n";
        }
    }
    {
        orvalen::TRecommendations form(questions.table());
        form.CalculateResults("Ivanov", answers, 46357.5);

        TBwOwner owner;
        TBwReport report(&owner, QStringLiteral("ResultsBwReport"));
        TBwDBDataSet master(&owner, QStringLiteral("TestResultsDBDataSet"));
        TBwDBDataSet goods(&owner, QStringLiteral("GoodsResultsBwDBDataSet"));
        master.setDataSet(&form.TestResultsSQLMemQuery);
        goods.setDataSet(&form.GoodsResultsSQLMemQuery);
        QFile file(QStringLiteral(ORVALEN_RESOURCES_DIR "/reports/recommendations.bwr"));
        if (!file.open(QIODevice::ReadOnly) ||
            report.loadFromStream(file.readAll()) != TBwLoadStatus::Loaded) {
            state.SkipWithError("the recommendation template did not load");
            return;
        }
        // What the recommendations window answers; the rest the report's
        // own expressions resolve.
        report.OnGetValue = [](const QString& name, QVariant& value) {
            if (name == u"ContactInfo") value = QStringLiteral("г. Москва, тел. 123-45-67");
            if (name == u"TestedName") value = QStringLiteral("Иванов И. И.");
            if (name == u"TestTime") value = QDateTime(QDate(2026, 12, 2), QTime(12, 0));
        };

        QImage image(758, 1071, QImage::Format_RGB32);
        std::int64_t pages = 0;
        for (auto _ : state) {
            if (!report.prepareReport()) {
                state.SkipWithError("the build failed");
                break;
            }
            TBwEMFPages& prepared = report.emfPages();
            for (int i = 0; i < prepared.count(); ++i) {
                image.fill(Qt::white);
                QPainter painter(&image);
                prepared.draw(i, painter, QRectF(0, 0, image.width(), image.height()));
                painter.end();
                prepared.freePage(i);
            }
            pages += prepared.count();
        }
        state.SetItemsProcessed(pages);
        state.counters["pages"] = report.emfPages().count();
        form.TestAnswersMemTable.close();
        form.TestAnswersMemTable.deleteTable();
    }
}

}  // namespace

BENCHMARK(reportBuild)->Name("ReportBuild")->Unit(benchmark::kMillisecond);
