// The two printed layouts built from the application's queries over the
// shipped reference data with the report's own expressions: what each page
// holds, and two pages of each compared with stored images.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app_test_support.h"
#include "base/bw_codec.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "test_expander.h"
#include "test_util.h"
#include "uTestResultReport.h"

using namespace orvalen;
using namespace bwreport;
using orvalen::testing::dataModule;
using orvalen::testing::resultsForm;

namespace {

const QString kContact = QStringLiteral("г. Москва, тел. 123-45-67");
const QString kFixedDate = QStringLiteral("02.12.2026");
const QString kFixedTime = QStringLiteral("12:00:00");
const QString kHeader = QStringLiteral(
    "По результатам тестирования, Вам рекомендованы следующие оздоровительные программы и "
    "продукты:");

// Question ids of each part, by id.
std::map<int, std::vector<int>> questionsOfParts() {
    std::map<int, std::vector<int>> parts;
    auto& q = dataModule().QuestionsSQLMemTable;
    for (q.first(); !q.eof(); q.next())
        parts[int(q.fieldByName("q_part").asInteger())].push_back(
            int(q.fieldByName("id").asInteger()));
    for (auto& [part, ids] : parts)
        std::sort(ids.begin(), ids.end());
    return parts;
}

std::string answerText(const std::set<int>& ticked) {
    std::string text;
    for (const auto& [part, ids] : questionsOfParts()) {
        std::string line;
        for (std::size_t i = 0; i < ids.size(); ++i)
            if (ticked.count(ids[i])) line += (line.empty() ? "" : " ") + std::to_string(i + 1);
        text += line + "\r\n";
    }
    return text;
}

std::set<int> allQuestions() {
    std::set<int> all;
    for (const auto& [part, ids] : questionsOfParts())
        all.insert(ids.begin(), ids.end());
    return all;
}

QString field(sqlmem::TDataSet& ds, const char* name) {
    return fromCp1251(ds.fieldByName(name).asString());
}

// The recommendations window's report as Part of the window would hold it.
struct ResultsReport {
    ResultsReport() {
        master.setDataSet(&form.TestResultsSQLMemQuery);
        goods.setDataSet(&form.GoodsResultsSQLMemQuery);
        EXPECT_EQ(report.loadFromStream(test::readTemplate("recommendations.bwr")),
                  TBwLoadStatus::Loaded);
        report.OnGetValue = [](const QString& name, QVariant& value) {
            if (name == u"ContactInfo") value = kContact;
            if (name == u"TestedName") value = QStringLiteral("Иванов И. И.");
            if (name == u"TestTime") value = QDateTime(QDate(2026, 12, 2), QTime(12, 0));
        };
    }
    bool build(const std::set<int>& ticked) {
        form.CalculateResults("Ivanov", answerText(ticked), 46357.5);
        return report.prepareReport();
    }
    // Programme name -> product lines "code name", as the queries give them.
    std::vector<std::pair<QString, QStringList>> expected() {
        std::vector<std::pair<QString, QStringList>> out;
        auto& m = form.TestResultsSQLMemQuery;
        auto& g = form.GoodsResultsSQLMemQuery;
        for (m.first(); !m.eof(); m.next()) {
            QStringList products;
            for (g.first(); !g.eof(); g.next())
                products << field(g, "code") + u'|' + field(g, "name");
            out.push_back({field(m, "rs_name"), products});
        }
        return out;
    }

    TTestResultReportForm& form = resultsForm();
    TBwOwner owner;
    TBwReport report{&owner, QStringLiteral("ResultsBwReport")};
    TBwDBDataSet master{&owner, QStringLiteral("TestResultsDBDataSet")};
    TBwDBDataSet goods{&owner, QStringLiteral("GoodsResultsBwDBDataSet")};
};

// The questionnaire window's report over its part and question queries.
struct QuestionnaireReport {
    QuestionnaireReport() {
        for (const char* line :
             {"select p.id, s.text name, s.lang", "from q_parts p, strings s", "where",
              "  s.id = p.name_id and", "  s.lang = :lang and", "  1=1", "order by p.id"})
            parts.SQL().add(line);
        parts.ReadOnly = true;
        parts.addField("id", sqlmem::TFieldType::ftInteger);
        parts.addField("name", sqlmem::TFieldType::ftString, 200);
        parts.addField("lang", sqlmem::TFieldType::ftInteger);
        for (const char* line : {"select q.id, q.q_part, s.text", "from questions q, strings s",
                                 "where", "  s.id = q.text_id and", "  s.lang = :lang and",
                                 "  q.q_part = :id and", "  1=1", "order by q.id"})
            questions.SQL().add(line);
        questions.ReadOnly = true;
        questions.setDataSource(&partsSource);
        questions.addField("id", sqlmem::TFieldType::ftInteger);
        questions.addField("q_part", sqlmem::TFieldType::ftInteger);
        questions.addField("text", sqlmem::TFieldType::ftString, 200);
        SetLangParam(parts);
        SetLangParam(questions);
        partsAdapter.setDataSet(&parts);
        questionsAdapter.setDataSet(&questions);
        EXPECT_EQ(report.loadFromStream(test::readTemplate("questionnaire.bwr")),
                  TBwLoadStatus::Loaded);
        // DATE and TIME are the build's own; fixed here for the stored images.
        report.OnGetValue = [this](const QString& name, QVariant& value) {
            if (name == u"ContactInfo") value = contact;
            if (name == u"DATE") value = QDate(2026, 12, 2);
            if (name == u"TIME") value = QTime(12, 0);
        };
    }
    bool build() { return report.prepareReport(); }

    sqlmem::TSQLMemQuery parts{"QPartsQuery"};
    sqlmem::TDataSource partsSource{&parts};
    sqlmem::TSQLMemQuery questions{"AllQuestionsQuery"};
    TBwOwner owner;
    TBwReport report{&owner, QStringLiteral("QuestionsReport")};
    TBwDBDataSet partsAdapter{&owner, QStringLiteral("QPartsBwDBDataSet")};
    TBwDBDataSet questionsAdapter{&owner, QStringLiteral("QuestionsBwDBDataSet")};
    QString contact = kContact;
};

// The programmes and products a recommendation list prints, page by page:
// each page must open with the header sentence and end with its footer.
std::vector<std::pair<QString, QStringList>> readList(TBwEMFPages& pages,
                                                      const std::set<QString>& names) {
    std::vector<std::pair<QString, QStringList>> out;
    const auto all = test::texts(pages);
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(i);
        QStringList t = all[i];
        EXPECT_GE(t.size(), 5);
        if (t.size() < 5) continue;
        EXPECT_EQ(t.front(), kHeader);
        EXPECT_EQ(t.mid(t.size() - 4),
                  (QStringList{QStringLiteral("Страница %1").arg(i + 1),
                               QStringLiteral("Тестирование пациента Иванов И. И. от ") +
                                   kFixedDate + u' ' + kFixedTime,
                               QStringLiteral("Контактная информация:"), kContact}));
        for (qsizetype k = 1; k < t.size() - 4; ++k) {
            if (names.count(t[k])) {
                out.push_back({t[k], {}});
            } else if (k + 1 < t.size() - 4 && !out.empty()) {
                out.back().second << t[k] + u'|' + t[k + 1];
                ++k;
            } else {
                ADD_FAILURE() << "stray text " << t[k].toStdString();
            }
        }
    }
    return out;
}

std::set<QString> namesOf(const std::vector<std::pair<QString, QStringList>>& list) {
    std::set<QString> names;
    for (const auto& [name, products] : list)
        names.insert(name);
    return names;
}

// Compares page `index` with a stored image; ORVALEN_UPDATE_GOLDEN=1 stores it.
void expectLooksLike(TBwEMFPages& pages, int index, const QString& file) {
    const QSize sheet = pages.sheetSize(index);
    QImage image(sheet, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    pages.draw(index, painter, QRectF(QPointF(0, 0), QSizeF(sheet)));
    painter.end();
    image = image.convertToFormat(QImage::Format_Grayscale8);
    const QString path = QStringLiteral(ORVALEN_GOLDEN "/") + file;
    if (qEnvironmentVariableIntValue("ORVALEN_UPDATE_GOLDEN")) {
        QDir().mkpath(QStringLiteral(ORVALEN_GOLDEN));
        ASSERT_TRUE(image.save(path));
        return;
    }
    QImage golden(path);
    ASSERT_FALSE(golden.isNull()) << "missing " << path.toStdString();
    golden = golden.convertToFormat(QImage::Format_Grayscale8);
    ASSERT_EQ(golden.size(), image.size());
    // A few edge pixels may shade differently; a changed character does not pass.
    int differing = 0, inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* a = image.constScanLine(y);
        const uchar* b = golden.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (std::abs(a[x] - b[x]) > 64) ++differing;
            if (b[x] < 128) ++inked;
        }
    }
    EXPECT_GT(inked, 500) << file.toStdString();
    EXPECT_LE(differing, 16) << file.toStdString();
}

// Drops the product links of one programme while it lives.
class WithoutProducts {
public:
    explicit WithoutProducts(int programme) {
        auto& t = dataModule().GoodsInResultsSQLMemTable;
        t.first();
        while (!t.eof()) {
            if (t.fieldByName("results_set").asInteger() == programme) {
                m_codes.push_back(t.fieldByName("goods_code").asString());
                t.deleteRecord();
            } else {
                t.next();
            }
        }
        m_programme = programme;
    }
    ~WithoutProducts() {
        auto& t = dataModule().GoodsInResultsSQLMemTable;
        for (const std::string& code : m_codes) {
            t.append();
            t.fieldByName("goods_code").setAsString(code);
            t.fieldByName("results_set").setAsInteger(m_programme);
            t.post();
        }
    }
    bool removedAny() const { return !m_codes.empty(); }

private:
    std::vector<std::string> m_codes;
    int m_programme = 0;
};

TEST(ReportLayouts, RecommendationListForTickSets) {
    ResultsReport r;
    // A single question that calls for exactly one programme.
    std::set<int> one;
    for (int q : allQuestions()) {
        r.form.CalculateResults("x", answerText({q}), 0);
        if (r.form.TestResultsSQLMemQuery.recordCount() == 1) {
            one = {q};
            break;
        }
    }
    ASSERT_FALSE(one.empty());
    struct Case {
        const char* name;
        std::set<int> ticked;
        int dropProgramme;  // 0: none
    };
    const Case cases[] = {
        {"one programme", one, 0},
        {"every programme, over several pages", allQuestions(), 0},
        {"a programme without products is left out", allQuestions(), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<WithoutProducts> drop;
        if (c.dropProgramme) {
            drop = std::make_unique<WithoutProducts>(c.dropProgramme);
            ASSERT_TRUE(drop->removedAny());
        }
        ASSERT_TRUE(r.build(c.ticked));
        auto want = r.expected();
        ASSERT_FALSE(want.empty());
        const std::size_t before = want.size();
        std::erase_if(want, [](const auto& p) { return p.second.isEmpty(); });
        EXPECT_EQ(before - want.size(), c.dropProgramme ? 1u : 0u);
        const auto got = readList(r.report.emfPages(), namesOf(want));
        EXPECT_EQ(got, want);
        if (c.ticked.size() > 1) {
            EXPECT_GE(r.report.emfPages().count(), 2);
        } else {
            EXPECT_EQ(r.report.emfPages().count(), 1);
        }
        if (c.ticked.size() > 1 && !c.dropProgramme) {
            expectLooksLike(r.report.emfPages(), 0, QStringLiteral("recommendations-1.png"));
            expectLooksLike(r.report.emfPages(), 1, QStringLiteral("recommendations-2.png"));
        }
    }
}

TEST(ReportLayouts, BlankQuestionnaire) {
    QuestionnaireReport q;
    for (const bool withContact : {true, false}) {
        SCOPED_TRACE(withContact ? "with contact information" : "without");
        q.contact = withContact ? kContact : QString();
        ASSERT_TRUE(q.build());
        const auto pages = test::texts(q.report.emfPages(), true);
        const auto parts = questionsOfParts();
        ASSERT_GE(pages.size(), 4u);
        ASSERT_EQ(pages.size(), parts.size());
        int n = 0;
        q.parts.open();
        q.parts.first();
        for (const auto& [part, ids] : parts) {
            SCOPED_TRACE(part);
            QStringList t = pages[n];
            if (n == 0) t.removeFirst();  // the information paragraph
            ++n;
            ASSERT_EQ(t.size(), qsizetype(ids.size()) + 5);
            EXPECT_EQ(t[0], QStringLiteral("Раздел %1").arg(n));
            EXPECT_EQ(t[1], field(q.parts, "name"));
            int line = 0;
            for (q.questions.first(); !q.questions.eof(); q.questions.next()) {
                ++line;
                EXPECT_EQ(t[1 + line],
                          QStringLiteral("%1 ").arg(line) + field(q.questions, "text"));
            }
            EXPECT_EQ(line, int(ids.size()));
            // The footer: date and time at the right, the contact line below.
            EXPECT_EQ(t.mid(t.size() - 3),
                      (QStringList{kFixedDate + u' ' + kFixedTime,
                                   QStringLiteral("Контактная информация:"), q.contact}));
            q.parts.next();
        }
        const TBwView* paragraph = q.report.findObject(QStringLiteral("Memo1"));
        ASSERT_NE(paragraph, nullptr);
        EXPECT_EQ(pages[0].front(), paragraph->Memo.join(u'|'));
        if (withContact) {
            expectLooksLike(q.report.emfPages(), 0, QStringLiteral("questionnaire-1.png"));
            expectLooksLike(q.report.emfPages(), 1, QStringLiteral("questionnaire-2.png"));
        }
    }
}

}  // namespace
