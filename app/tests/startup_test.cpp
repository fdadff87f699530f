// Start-up: the data module's tables, the resource loader and the shipped
// reference data read back through the table datasets.
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "ErrorBox.h"
#include "ReferenceLoader.h"
#include "Startup.h"
#include "app_test_support.h"
#include "sqlmem/cp1251.h"
#include "uDMMain.h"
#include "uUtils.h"

using namespace orvalen;
using sqlmem::TFieldType;
using sqlmem::TSQLMemTable;

namespace {

using orvalen::testing::dataModule;
std::vector<std::string>& g_errors = orvalen::testing::startupErrors();

std::string utf8ToCp1251(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(sqlmem::cp1251::fromUtf8(utf8, out)) << utf8;
    return out;
}

std::vector<std::vector<std::string>> rows(TSQLMemTable& t) {
    std::vector<std::vector<std::string>> out;
    for (t.first(); !t.eof(); t.next()) {
        std::vector<std::string> row;
        for (int i = 0; i < t.fieldCount(); ++i)
            row.push_back(t.field(i).asString());
        out.push_back(row);
    }
    return out;
}

// string (id, lang) -> text, in 1251
std::map<std::pair<int, int>, std::string> strings() {
    std::map<std::pair<int, int>, std::string> m;
    for (const auto& r : rows(dataModule().StringsSQLMemTable))
        m[{std::stoi(r[0]), std::stoi(r[1])}] = r[2];
    return m;
}

struct ScratchTable {
    TSQLMemTable t{"Scratch"};
    explicit ScratchTable(const char* name) {
        t.TableName = name;
        t.addField("id", TFieldType::ftInteger);
        t.addField("name", TFieldType::ftString, 20);
    }
    ~ScratchTable() {
        t.close();
        if (t.exists()) t.deleteTable();
    }
};

}  // namespace

TEST(StringRoutines, SplitStringKeepsInnerEmptiesAndDropsTrailingEmpty) {
    struct Case {
        const char* text;
        std::vector<std::string> pieces;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a;b", {"a", "b"}},
        {"a;;b", {"a", "", "b"}},
        {"a;b;", {"a", "b"}},
        {";a", {"", "a"}},
        {";", {""}},
    };
    std::vector<std::string> list{"stale"};
    for (const Case& c : cases) {
        SplitString(list, c.text, ";");
        EXPECT_EQ(list, c.pieces) << '"' << c.text << '"';
    }
}

TEST(StringRoutines, JoinTextSkipsEmptySides) {
    EXPECT_EQ(JoinText("", "b", ", "), "b");
    EXPECT_EQ(JoinText("a", "", ", "), "a");
    EXPECT_EQ(JoinText("a", "b", ", "), "a, b");
}

TEST(StringRoutines, LinesEndAtCrLfCrOrLf) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
}

TEST(ResourceLoader, ReadsRowsByPositionWithQuoteRules) {
    ScratchTable s("loader_rows");
    LoadTableFromText(
        "\"   \";\"ID\";\"NAME\"\r\n"
        "\"1\";\"7\";\"say \"\"hi\"\"\"\r\n"  // doubled quotes become one
        "\"2\";8;\"unquoted id\"\r\n"         // an unquoted field reads as empty
        "\"3\";\"9\";\"x\"trailing\r\n",      // text after the closing quote is ignored
        s.t);
    const auto r = rows(s.t);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0], (std::vector<std::string>{"7", "say \"hi\""}));
    EXPECT_TRUE(s.t.locate("name", {"unquoted id"}));
    EXPECT_TRUE(s.t.field(0).isNull());
    EXPECT_EQ(r[2], (std::vector<std::string>{"9", "x"}));
}

TEST(ResourceLoader, HeaderOnlyGivesAnEmptyTable) {
    ScratchTable s("loader_header_only");
    LoadTableFromText("\"   \";\"ID\";\"NAME\"\r\n", s.t);
    EXPECT_TRUE(s.t.active());
    EXPECT_EQ(s.t.recordCount(), 0);
}

TEST(ResourceLoader, NonIntegerValueNamesTextAndFieldAndKeepsEarlierRows) {
    ScratchTable s("loader_bad_integer");
    try {
        LoadTableFromText("h\r\n\"1\";\"1\";\"a\"\r\n\"2\";\"x1\";\"b\"\r\n", s.t);
        FAIL() << "a non-integer id must be refused";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("'x1' is not a valid integer value for field 'id'"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(s.t.state(), sqlmem::TDataSetState::dsBrowse);
    EXPECT_EQ(s.t.recordCount(), 1);
}

TEST(ResourceLoader, MissingResourceIsAnError) {
    ScratchTable s("loader_missing");
    try {
        dataModule().LoadTableFromResource("no_such_table", s.t);
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Resource NO_SUCH_TABLE not found");
    }
}

TEST(DataModule, StartsWithoutErrorsAndHoldsEveryRow) {
    TMainDM& dm = dataModule();
    EXPECT_TRUE(g_errors.empty()) << g_errors.front();
    struct Count {
        TSQLMemTable* table;
        int rows;
    } counts[] = {
        {&dm.QPartsSQLMemTable, 4},      {&dm.QuestionsSQLMemTable, 77},
        {&dm.StringsSQLMemTable, 270},   {&dm.LanguagesSQLMemTable, 2},
        {&dm.ResultSetsSQLMemTable, 15}, {&dm.QuestionValuesSQLMemTable, 62},
        {&dm.GoodsSQLMemTable, 38},      {&dm.GoodsInResultsSQLMemTable, 70},
        {&dm.TestsSQLMemTable, 0},
    };
    for (const Count& c : counts) {
        EXPECT_TRUE(c.table->active()) << c.table->TableName;
        EXPECT_EQ(c.table->recordCount(), c.rows) << c.table->TableName;
    }
}

TEST(DataModule, PersistentFieldsAreTheDeclaredOnesInOrder) {
    TMainDM& dm = dataModule();
    auto names = [](TSQLMemTable& t) {
        std::vector<std::string> n;
        for (int i = 0; i < t.fieldCount(); ++i)
            n.push_back(t.field(i).FieldName);
        return n;
    };
    EXPECT_EQ(names(dm.QuestionValuesSQLMemTable),
              (std::vector<std::string>{"question", "result_set", "val"}));
    EXPECT_EQ(names(dm.GoodsSQLMemTable), (std::vector<std::string>{"code", "name_id"}));
    EXPECT_EQ(
        names(dm.TestsSQLMemTable),
        (std::vector<std::string>{"id", "test_date", "test_time", "tested_name", "test_results"}));
    EXPECT_EQ(dm.TestsSQLMemTable.field(1).Name, "TestsSQLMemTabletest_date");
    EXPECT_EQ(dm.GoodsSQLMemTable.currentVersion(), "3.40 ");
    // Defined columns without a persistent field exist and stay null.
    TSQLMemTable raw("Raw");
    raw.TableName = "goods";
    raw.open();
    ASSERT_EQ(raw.fieldCount(), 3);
    EXPECT_EQ(raw.field(0).FieldName, "id");
    EXPECT_TRUE(raw.field(0).isNull());
    EXPECT_FALSE(raw.field(1).isNull());
}

TEST(ReferenceData, ResultSetsAndThresholds) {
    const auto r = rows(dataModule().ResultSetsSQLMemTable);
    ASSERT_EQ(r.size(), 15u);
    const int expected[15][5] = {
        {1, 82, 0, 2, 1},  {2, 89, 3, 2, 1},  {3, 90, 0, 0, 1},  {4, 91, 0, 2, 1},
        {5, 92, 0, 2, 1},  {6, 93, 0, 2, 1},  {7, 94, 0, 2, 1},  {8, 95, 0, 2, 1},
        {9, 96, 0, 2, 1},  {10, 83, 0, 0, 1}, {11, 84, 0, 0, 1}, {12, 85, 0, 0, 1},
        {13, 86, 0, 0, 1}, {14, 87, 0, 0, 1}, {15, 88, 0, 0, 1},
    };
    for (int i = 0; i < 15; ++i)
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(std::stoi(r[i][c]), expected[i][c]) << i << ',' << c;
    const auto s = strings();
    EXPECT_EQ(s.at({89, 1}), utf8ToCp1251("Оптимизация мозгового кровообращения"));
    EXPECT_EQ(s.at({88, 1}), utf8ToCp1251("Улучшение зрения"));
}

TEST(ReferenceData, QuestionWeightsInStoredOrder) {
    const char* expected =
        "1:4:2 1:5:3 1:7:2 1:8:2 1:54:2 1:58:2 1:59:3 1:60:3 "
        "2:2:1 2:1:1 2:3:1 2:28:2 2:37:2 2:58:2 2:61:3 3:35:3 3:72:3 "
        "4:12:2 4:13:2 4:16:2 4:17:2 4:19:3 4:20:3 4:40:3 4:45:3 4:50:3 4:65:3 4:66:3 "
        "5:12:2 5:15:2 5:24:3 5:41:2 5:42:2 5:51:3 5:62:3 "
        "6:4:2 6:9:3 6:44:2 6:49:2 6:57:3 7:36:3 7:47:2 7:71:2 7:76:3 "
        "8:22:2 8:23:2 8:43:2 8:53:3 8:64:2 8:68:3 "
        "9:29:2 9:30:2 9:31:2 9:32:2 9:33:3 9:69:3 "
        "11:34:3 10:75:3 12:77:3 13:70:3 14:26:3 15:27:3";
    std::string actual;
    for (const auto& r : rows(dataModule().QuestionValuesSQLMemTable))
        actual += (actual.empty() ? "" : " ") + r[1] + ":" + r[0] + ":" + r[2];
    EXPECT_EQ(actual, expected);
}

TEST(ReferenceData, QuestionsPartsAndTextIds) {
    const auto q = rows(dataModule().QuestionsSQLMemTable);
    ASSERT_EQ(q.size(), 77u);
    const int firstNine[] = {5, 16, 27, 38, 49, 60, 71, 80, 81};
    std::vector<int> part1Rest;
    for (int id = 6; id <= 37; ++id)
        if (id != 16 && id != 27) part1Rest.push_back(id);
    for (int i = 0; i < 77; ++i) {
        const int id = i + 1;
        EXPECT_EQ(std::stoi(q[i][0]), id);
        const int part = id <= 39 ? 1 : id <= 48 ? 2 : id <= 56 ? 3 : 4;
        EXPECT_EQ(std::stoi(q[i][1]), part) << id;
        int textId = id <= 9    ? firstNine[id - 1]
                     : id <= 39 ? part1Rest[id - 10]
                     : id <= 49 ? id - 1
                     : id <= 59 ? id
                     : id <= 69 ? id + 1
                                : id + 2;
        EXPECT_EQ(std::stoi(q[i][2]), textId) << id;
    }
    const auto s = strings();
    const std::pair<int, const char*> telling[] = {
        {5, "Частые головные боли"},
        {16, "Головокружение"},
        {27, "Кратковременные эпизоды потери памяти"},
        {39, "В желудке"},
        {48, "Органах дыхания"},
        {57, "Хроническая пневмония или бронхит"},
        {58, "Артериальная гипертензия"},
        {79, "Онкологические заболевания"},
        {1, "Наблюдались ли у Вас в течении последних 1-1.5 лет следующие симптомы и жалобы:"},
        {97, "Русский"},
    };
    for (const auto& [id, text] : telling)
        EXPECT_EQ(s.at({id, 1}), utf8ToCp1251(text)) << id;
}

TEST(ReferenceData, LanguagesAndTheirOddStrings) {
    const auto s = strings();
    EXPECT_EQ(s.at({97, 5}), utf8ToCp1251("Български"));
    for (int id = 1; id <= 134; ++id) {
        EXPECT_TRUE(s.count({id, 1})) << id;
        EXPECT_TRUE(s.count({id, 5})) << id;
    }
    EXPECT_TRUE(s.count({200, 5}) && !s.count({200, 1}));
    EXPECT_TRUE(s.count({201, 1}) && !s.count({201, 5}));
    bool quoteSeen = false;
    for (const auto& [key, text] : s)
        quoteSeen |= text.find('"') != std::string::npos;
    EXPECT_TRUE(quoteSeen) << "a text with a double quote exercises the doubled-quote rule";
    const auto langs = rows(dataModule().LanguagesSQLMemTable);
    EXPECT_EQ(langs, (std::vector<std::vector<std::string>>{{"1", "97"}, {"5", "97"}}));
}

TEST(ReferenceData, CatalogueShape) {
    std::map<std::string, int> goods;  // code -> name id
    for (const auto& r : rows(dataModule().GoodsSQLMemTable)) {
        EXPECT_EQ(r[0].size(), 6u) << r[0];
        EXPECT_TRUE(goods.emplace(r[0], std::stoi(r[1])).second) << "repeated code " << r[0];
    }
    EXPECT_EQ(goods.size(), 38u);
    int onlyBulgarian = 0;
    for (const auto& [code, nameId] : goods)
        onlyBulgarian += nameId == 200;
    EXPECT_EQ(onlyBulgarian, 1);

    std::map<int, int> perSet;
    int unknownCodes = 0;
    std::set<std::pair<std::string, int>> pairs;
    for (const auto& r : rows(dataModule().GoodsInResultsSQLMemTable)) {
        perSet[std::stoi(r[1])]++;
        unknownCodes += !goods.count(r[0]);
        EXPECT_TRUE(pairs.emplace(r[0], std::stoi(r[1])).second) << "repeated pair " << r[0];
    }
    EXPECT_EQ(unknownCodes, 1);
    ASSERT_EQ(perSet.size(), 15u);
    for (const auto& [set, n] : perSet)
        EXPECT_TRUE(n >= 3 && n <= 7) << set << ": " << n;
}

// The journal lives in its file: appends number from the highest id, keep
// the day and the time of day apart, and every re-read drops what was not
// saved. No file is written before the first survey.
TEST(Journal, SurveysAreNumberedStoredAndReReadFromTheFile) {
    TMainDM& dm = dataModule();
    TSQLMemTable& t = dm.TestsSQLMemTable;
    const std::string file = TMainDM::GetTestsFileName();
    std::filesystem::remove(file);
    dm.OpenTestsTable();
    EXPECT_EQ(t.recordCount(), 0);
    EXPECT_EQ(t.indexFieldNames(), "id");
    EXPECT_FALSE(std::filesystem::exists(file));

    const double lastSecond = (23 * 3600 + 59 * 60 + 59) / 86400.0;
    dm.AddTestRecord(utf8ToCp1251("Иванов Иван"), {"1", utf8ToCp1251("да")}, 46000 + lastSecond);
    dm.AddTestRecord("B", {}, 46001.5);
    ASSERT_TRUE(std::filesystem::exists(file));
    t.append();  // not saved: gone at the next re-read
    t.field(0).setAsInteger(99);
    t.post();
    dm.OpenTestsTable();
    ASSERT_EQ(t.recordCount(), 2);
    t.first();
    EXPECT_EQ(t.field(0).asInteger(), 1);
    EXPECT_EQ(t.field(1).asDateTime(), 46000);
    EXPECT_NEAR(t.field(2).asDateTime(), lastSecond, 1e-9);
    EXPECT_EQ(t.field(3).asString(), utf8ToCp1251("Иванов Иван"));
    EXPECT_EQ(t.field(4).asString(), "1\r\n" + utf8ToCp1251("да") + "\r\n");
    t.next();
    EXPECT_EQ(t.field(0).asInteger(), 2);
    EXPECT_EQ(t.field(4).asString(), "");

    // An emptied journal numbers from 1 again.
    while (!t.isEmpty())
        t.deleteRecord();
    dm.SaveTestsTable();
    dm.AddTestRecord("C", {"x"}, 46002.25);
    dm.OpenTestsTable();
    ASSERT_EQ(t.recordCount(), 1);
    EXPECT_EQ(t.field(0).asInteger(), 1);
}

// A journal file that cannot be read is moved aside at start-up, never
// overwritten; the error says where it went, the journal starts empty and
// numbers from 1. Pieces of an interrupted save are removed.
TEST(Journal, AnUnreadableJournalIsMovedAsideAndReported) {
    TMainDM& dm = dataModule();
    const std::string file = TMainDM::GetTestsFileName();
    const std::string garbage = "ACS1 this is no journal";
    std::ofstream(file, std::ios::binary) << garbage;
    std::ofstream(file + ".saving-Xy12Ab") << "half a save";
    g_errors.clear();
    Guarded([&] { dm.OpenTestsTableAtStartup(); });
    ASSERT_EQ(g_errors.size(), 1u);
    const std::string& error = g_errors[0];
    const std::size_t at = error.find(file + ".unreadable-");
    ASSERT_NE(at, std::string::npos) << error;
    const std::string moved = error.substr(at, error.find('\n', at) - at);
    std::ifstream in(moved, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(file + ".saving-Xy12Ab"));
    EXPECT_TRUE(dm.TestsSQLMemTable.active());
    EXPECT_EQ(dm.TestsSQLMemTable.recordCount(), 0);

    dm.AddTestRecord("D", {"y"}, 46003.75);
    dm.OpenTestsTable();
    ASSERT_EQ(dm.TestsSQLMemTable.recordCount(), 1);
    EXPECT_EQ(dm.TestsSQLMemTable.field(0).asInteger(), 1);
    std::filesystem::remove(moved);
    g_errors.clear();
}

TEST(DataModule, SetLangParamSetsOnlyAParameterNamedLang) {
    struct Param {
        std::int64_t value = -1;
        void setAsInteger(std::int64_t v) { value = v; }
    };
    struct Query {
        std::map<std::string, Param> params;
        Param* findParam(const std::string& name) {
            auto it = params.find(name);
            return it == params.end() ? nullptr : &it->second;
        }
    };
    Query withLang{{{"lang", {}}, {"part", {}}}};
    SetLangParam(withLang);
    EXPECT_EQ(withLang.params["lang"].value, 1);
    EXPECT_EQ(withLang.params["part"].value, -1);
    Query without{{{"part", {}}}};
    SetLangParam(without);
    EXPECT_EQ(without.params["part"].value, -1);
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    InitApplication();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
