#include "uDMMain.h"

#include <QFile>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "ErrorBox.h"
#include "Platform.h"
#include "ReferenceLoader.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/query.h"
#include "uUtils.h"

// Resources of a static library must be registered by name before use.
static void initReferenceResources() {
    Q_INIT_RESOURCE(resources);
}

namespace orvalen {

using sqlmem::TFieldType;
using sqlmem::TSQLMemTable;

TMainDM* MainDM = nullptr;

namespace {

constexpr TFieldType ftInteger = TFieldType::ftInteger;
constexpr TFieldType ftString = TFieldType::ftString;

struct Column {
    const char* name;
    TFieldType type;
    int size;
};

// Definitions in definition order, then the persistent fields in their order.
void declare(TSQLMemTable& t, const char* tableName, std::initializer_list<Column> defs,
             std::initializer_list<const char*> persistent) {
    t.TableName = tableName;
    t.StoreDefs = true;
    t.ReadOnly = false;
    t.Exclusive = false;
    t.MemoryTableAllocBy = 1000;
    for (const Column& c : defs)
        t.FieldDefs.push_back({c.name, c.type, c.size, false});
    for (const char* name : persistent) {
        for (const Column& c : defs)
            if (std::string(c.name) == name) t.addField(c.name, c.type, c.size);
    }
}

}  // namespace

TMainDM::TMainDM() {
    initReferenceResources();
    declareTables();
    // The reference tables are declared active: opening creates them, empty.
    for (TSQLMemTable* t : {&QPartsSQLMemTable, &QuestionsSQLMemTable, &ResultSetsSQLMemTable,
                            &GoodsSQLMemTable, &GoodsInResultsSQLMemTable,
                            &QuestionValuesSQLMemTable, &StringsSQLMemTable, &LanguagesSQLMemTable})
        Guarded([t] { t->open(); });
    Guarded([this] { DataModuleCreate(); });
}

void TMainDM::declareTables() {
    declare(QPartsSQLMemTable, "q_parts", {{"id", ftInteger, 0}, {"name_id", ftInteger, 0}},
            {"id", "name_id"});
    declare(QuestionsSQLMemTable, "questions",
            {{"id", ftInteger, 0}, {"q_part", ftInteger, 0}, {"text_id", ftInteger, 0}},
            {"id", "q_part", "text_id"});
    declare(ResultSetsSQLMemTable, "result_sets",
            {{"id", ftInteger, 0},
             {"name_id", ftInteger, 0},
             {"v1", ftInteger, 0},
             {"v2", ftInteger, 0},
             {"v3", ftInteger, 0}},
            {"id", "name_id", "v1", "v2", "v3"});
    declare(GoodsSQLMemTable, "goods",
            {{"id", ftInteger, 0}, {"code", ftString, 50}, {"name_id", ftInteger, 0}},
            {"code", "name_id"});
    declare(GoodsInResultsSQLMemTable, "goods_in_results",
            {{"goods", ftInteger, 0},
             {"result", ftInteger, 0},
             {"goods_code", ftString, 10},
             {"results_set", ftInteger, 0}},
            {"goods_code", "results_set"});
    declare(QuestionValuesSQLMemTable, "question_values",
            {{"question", ftInteger, 0},
             {"result", ftInteger, 0},
             {"val", ftInteger, 0},
             {"result_set", ftInteger, 0}},
            {"question", "result_set", "val"});
    declare(StringsSQLMemTable, "strings",
            {{"id", ftInteger, 0}, {"lang", ftInteger, 0}, {"text", ftString, 200}},
            {"id", "lang", "text"});
    declare(LanguagesSQLMemTable, "languages", {{"id", ftInteger, 0}, {"name_id", ftInteger, 0}},
            {"id", "name_id"});
    declare(TestsSQLMemTable, "tests",
            {{"id", ftInteger, 0},
             {"test_date", TFieldType::ftDate, 0},
             {"test_time", TFieldType::ftTime, 0},
             {"tested_name", ftString, 200},
             {"test_results", ftString, 1000}},
            {"id", "test_date", "test_time", "tested_name", "test_results"});
    TestsSQLMemTable.IndexDefs.push_back(
        {"TestsSQLMemTableIndex1", "id", sqlmem::ixPrimary | sqlmem::ixUnique});
    TestsSQLMemTable.setIndexFieldNames("id");
}

void TMainDM::DataModuleCreate() {
    LoadReferenceTables();
    OpenTestsTableAtStartup();
}

void TMainDM::LoadReferenceTables() {
    LoadTableFromResource("goods", GoodsSQLMemTable);
    LoadTableFromResource("goods_in_results", GoodsInResultsSQLMemTable);
    LoadTableFromResource("languages", LanguagesSQLMemTable);
    LoadTableFromResource("question_parts", QPartsSQLMemTable);
    LoadTableFromResource("questions", QuestionsSQLMemTable);
    LoadTableFromResource("result_sets", ResultSetsSQLMemTable);
    LoadTableFromResource("strings", StringsSQLMemTable);
    LoadTableFromResource("question_values", QuestionValuesSQLMemTable);
}

void TMainDM::LoadTableFromResource(const std::string& name, TSQLMemTable& table) {
    const std::string resource = sqlmem::cp1251::upper(name);
    QFile file(QStringLiteral(":/rcdata/") + QString::fromLatin1(resource.c_str()));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Resource " + resource + " not found");
    const QByteArray bytes = file.readAll();
    LoadTableFromText(std::string(bytes.constData(), static_cast<size_t>(bytes.size())), table);
}

namespace {

constexpr const char* kTestsFile = "OrvalenTests.dat";

// Opens the table again however the operation before it ended.
struct Reopen {
    TSQLMemTable& t;
    ~Reopen() {
        try {
            t.open();
        } catch (const std::exception& e) {
            ShowException(e);
        }
    }
};

std::string fromUtf8(const char* text) {
    std::string out;
    sqlmem::cp1251::fromUtf8(text, out);
    return out;
}

}  // namespace

std::string TMainDM::GetTestsFileName() {
    return GetAppDataFolder() + kTestsFile;
}

void TMainDM::OpenTestsTable() {
    TestsSQLMemTable.close();
    Reopen reopen{TestsSQLMemTable};
    if (TestsSQLMemTable.exists()) TestsSQLMemTable.deleteTable(false);
    const std::string file = GetTestsFileName();
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        TestsSQLMemTable.loadFromFile(file);
    else
        TestsSQLMemTable.createTable();
    // Whatever stood in the way of saving (an unreadable journal) is gone:
    // restored over, or moved away by the operator.
    m_journalBlocked = false;
}

void TMainDM::SaveTestsTable() {
    TestsSQLMemTable.close();
    Reopen reopen{TestsSQLMemTable};
    if (m_journalBlocked)
        throw std::runtime_error(
            fromUtf8("Журнал не сохранён: прежний файл журнала не читается и не перемещён. "
                     "Переместите файл ") +
            GetTestsFileName() + fromUtf8(" и запустите программу снова."));
    TestsSQLMemTable.saveToFile(GetTestsFileName(), 1, 0x100000, 0);
}

void TMainDM::AddTestRecord(const std::string& testedName, const std::vector<std::string>& answers,
                            double time) {
    OpenTestsTable();
    // The journal window's search stays on the table: the highest id comes
    // from every row, not from the last one the search lets through.
    sqlmem::TSQLMemQuery highest("HighestTestIdQuery");
    highest.SQL().setText("select max(id) from tests");
    highest.open();
    const int lastId = highest.field(0).isNull() ? 0 : highest.field(0).asInteger();
    highest.close();
    std::string results;
    for (const std::string& line : answers)
        results += line + "\r\n";
    const double day = std::trunc(time);
    TestsSQLMemTable.append();
    TestsSQLMemTable.fieldByName("id").setAsInteger(lastId + 1);
    TestsSQLMemTable.fieldByName("test_date").setAsDateTime(day);
    TestsSQLMemTable.fieldByName("test_time").setAsDateTime(time - day);
    TestsSQLMemTable.fieldByName("tested_name").setAsString(testedName);
    TestsSQLMemTable.fieldByName("test_results").setAsString(results);
    TestsSQLMemTable.post();
    SaveTestsTable();
}

void TMainDM::OpenTestsTableAtStartup() {
    const std::string file = GetTestsFileName();
    RemoveStaleFiles(GetAppDataFolder(), std::string(kTestsFile) + ".saving-");
    try {
        OpenTestsTable();
    } catch (const std::exception& e) {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) throw;
        const std::string moved = MoveFileAside(file, ".unreadable-");
        if (moved.empty()) {
            m_journalBlocked = true;
            throw std::runtime_error(
                std::string(e.what()) +
                fromUtf8("\n\nФайл журнала не читается и не может быть перемещён: ") + file +
                fromUtf8("\nНовые анкеты не будут сохраняться, пока файл не перемещён."));
        }
        throw std::runtime_error(std::string(e.what()) +
                                 fromUtf8("\n\nФайл журнала не читается. Он сохранён как ") +
                                 moved + fromUtf8("\nЖурнал начат заново."));
    }
}

}  // namespace orvalen
