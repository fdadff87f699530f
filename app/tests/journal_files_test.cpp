// The journal's files, driven from the journal window by keyboard and
// mouse: the shown surveys exported as CSV and read back by another
// program's CSV reader, a backup, and restores that replace the journal
// only by an image that loads.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DBGrid.h"
#include "FileChoice.h"
#include "JournalBackup.h"
#include "JournalExport.h"
#include "Platform.h"
#include "app_test_support.h"
#include "sqlmem/cp1251.h"
#include "uTestResults.h"

using namespace orvalen;
using orvalen::testing::answerBoxes;
using orvalen::testing::CapturedErrors;
using orvalen::testing::cp;
using orvalen::testing::dataModule;
using orvalen::testing::day;
using orvalen::testing::resultsForm;

namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

std::string utf8(const std::string& text1251) {
    return sqlmem::cp1251::toUtf8(text1251);
}

std::string bytesOf(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// Alt and a Cyrillic letter, as a button's underlined letter asks (QTest's
// own key clicks know only ASCII keys); returns once the button it pressed
// has clicked, which a button does a moment after its letter.
void altKey(QWidget* w, char16_t letter) {
    const QString text(QChar{letter});
    const auto key = Qt::Key(QChar(letter).toUpper().unicode());
    QTest::sendKeyEvent(QTest::Press, w, key, text, Qt::AltModifier);
    QTest::sendKeyEvent(QTest::Release, w, key, text, Qt::AltModifier);
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->isDown()) {
            EXPECT_TRUE(QTest::qWaitFor([b] { return !b->isDown(); }));
        }
}

// The files of the application-data folder besides the settings.
std::vector<std::string> journalFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(GetAppDataFolder()))
        if (e.path().filename().string().rfind("OrvalenTests", 0) == 0)
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Reads `file` with Python's csv module the way a Russian spreadsheet's
// import takes it: UTF-8 after the byte-order mark, ";" between fields.
bool readCsvWithPython(const std::string& file, Rows& rows, std::string& error) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) return false;
    QProcess p;
    p.start(python, {QStringLiteral("-c"), QStringLiteral(R"(
import csv, json, sys
with open(sys.argv[1], encoding="utf-8-sig", newline="") as f:
    rows = list(csv.reader(f, delimiter=";", strict=True))
sys.stdout.write(json.dumps(rows))
)"),
                     QString::fromStdString(file)});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        error = p.readAllStandardError().toStdString();
        return true;
    }
    for (const QJsonValue& row : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
        rows.emplace_back();
        for (const QJsonValue& field : row.toArray())
            rows.back().push_back(field.toString().toStdString());
    }
    return true;
}

class JournalFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        resultsForm();
        tests().setFiltered(false);
        tests().setFilter("");
        clearJournalFiles();
        dataModule().OpenTestsTable();
        previousChooser = SetFileChooser([this](TFileChoice kind, const QString& proposed) {
            choices.push_back({kind, proposed});
            return chosen;
        });
    }
    void TearDown() override {
        SetFileChooser(previousChooser);
        TEST_SetJournalReplace(nullptr);
        form.reset();
        tests().setFiltered(false);
        tests().setFilter("");
        clearJournalFiles();
        dataModule().OpenTestsTable();
    }

    static void clearJournalFiles() {
        for (const std::string& name : journalFiles())
            fs::remove(GetAppDataFolder() + name);
    }

    static sqlmem::TSQLMemTable& tests() { return dataModule().TestsSQLMemTable; }

    void open() {
        form = std::make_unique<TTestResultsForm>();
        form->SaveSettingsOnDestroy = false;
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        // The buttons' letters are shortcuts of the active window only.
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    std::string path(const char* name) const {
        return QDir(folder.path()).filePath(QString::fromUtf8(name)).toStdString();
    }

    // Every stored survey as (id, name), whatever the search shows.
    static std::vector<std::pair<int, std::string>> stored() {
        auto& t = tests();
        const bool filtered = t.filtered();
        t.setFiltered(false);
        std::vector<std::pair<int, std::string>> rows;
        for (t.first(); !t.eof(); t.next())
            rows.push_back(
                {t.fieldByName("id").asInteger(), t.fieldByName("tested_name").asString()});
        t.setFiltered(filtered);
        return rows;
    }

    // The surveys the grid lists, by name.
    std::vector<std::string> gridNames() const {
        const auto* model = form->TestsDBGrid->model();
        std::vector<std::string> names;
        for (int r = 0; r < model->rowCount(); ++r)
            names.push_back(cp(model->data(model->index(r, 2)).toString().toStdString()));
        return names;
    }

    QTemporaryDir folder;
    std::string chosen;
    std::vector<std::pair<TFileChoice, QString>> choices;
    TFileChooser previousChooser;
    std::unique_ptr<TTestResultsForm> form;
};

}  // namespace

TEST(JournalCsv, FieldsAreQuotedExactlyWhenTheyHoldASeparatorAQuoteOrALineBreak) {
    const struct {
        const char* text;
        const char* field;
    } cases[] = {
        {"", ""},
        {"Иванов, Иван", "Иванов, Иван"},
        {"a;b", "\"a;b\""},
        {"О\"Нил", "\"О\"\"Нил\""},
        {"\"", "\"\"\"\""},
        {"две\r\nстроки", "\"две\r\nстроки\""},
        {"lf\nonly", "\"lf\nonly\""},
        {"cr\r", "\"cr\r\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CsvField(c.text), c.field);
    }
}

// Random names with quotes, separators, commas and line breaks survive the
// trip through the file; only the surveys the search shows are written, with
// each survey's own ticks and programmes.
TEST_F(JournalFiles, ExportWritesTheShownSurveysAsAnotherReaderReadsThem) {
    std::mt19937 random(20261211);
    const std::vector<std::string> pieces = {"Иван", "ова",  "Ё",  "\"", ";",   ",", "\r\n",
                                             "\n",   "'",    " ",  "=1", "Zz",  "—", "№",
                                             "«»",   "\"\"", ";;", "\t", "пётр"};
    auto randomName = [&] {
        std::string name;
        const int n = 1 + int(random() % 12);
        for (int i = 0; i < n; ++i)
            name += pieces[random() % pieces.size()];
        return name;
    };
    // Per part, the number of its questions, to tick at random.
    std::map<std::int64_t, int> partSize;
    auto& questions = dataModule().QuestionsSQLMemTable;
    for (questions.first(); !questions.eof(); questions.next())
        ++partSize[questions.fieldByName("q_part").asInteger()];
    ASSERT_EQ(partSize.size(), 4u);

    struct Survey {
        std::string name;  // UTF-8
        std::vector<std::string> lines;
        QDate date;
        QTime time;
    };
    std::vector<Survey> surveys;
    const QDate today = QDate::currentDate();
    for (int i = 0; i < 24; ++i) {
        Survey s{randomName(),
                 {},
                 today.addDays(i % 3 == 0 ? -400 : -int(random() % 300)),
                 QTime(int(random() % 24), int(random() % 60), int(random() % 60))};
        if (i == 1) s.time = QTime(23, 59, 59);
        for (const auto& [part, size] : partSize) {
            std::string line;
            for (int q = 1; q <= size; ++q)
                if (random() % 4 == 0) line += (line.empty() ? "" : " ") + std::to_string(q);
            s.lines.push_back(line);
        }
        dataModule().AddTestRecord(cp(s.name), s.lines,
                                   day(s.date) + QTime(0, 0).secsTo(s.time) / 86400.0);
        surveys.push_back(s);
    }

    open();
    // "В течение года": the surveys of 400 days ago drop out.
    QTest::mouseClick(form->findChild<QRadioButton*>(QStringLiteral("PeriodType5")),
                      Qt::LeftButton);
    tests().last();
    const int currentId = tests().fieldByName("id").asInteger();

    Rows expected = {{"Номер", "Дата", "Время", "ФИО опрашиваемого", "Часть 1", "Часть 2",
                      "Часть 3", "Часть 4", "Рекомендованные программы"}};
    std::set<std::string> programmeSets;
    for (std::size_t i = 0; i < surveys.size(); ++i) {
        const Survey& s = surveys[i];
        if (s.date < today.addMonths(-12)) continue;
        std::string answers;
        for (const std::string& line : s.lines)
            answers += line + "\r\n";
        resultsForm().CalculateResults(cp(s.name), answers, 0);
        std::string programmes;
        auto& q = resultsForm().TestResultsSQLMemQuery;
        for (q.first(); !q.eof(); q.next())
            programmes +=
                (programmes.empty() ? "" : "; ") + utf8(q.fieldByName("rs_name").asString());
        programmeSets.insert(programmes);
        Rows::value_type row = {std::to_string(i + 1), s.date.toString("dd.MM.yyyy").toStdString(),
                                s.time.toString("HH:mm:ss").toStdString(), s.name};
        row.insert(row.end(), s.lines.begin(), s.lines.end());
        row.push_back(programmes);
        expected.push_back(row);
    }
    ASSERT_GT(expected.size(), 10u);
    ASSERT_LT(expected.size(), surveys.size() + 1);
    // Surveys that differ in their programmes, so that a row cannot pass
    // with another survey's.
    ASSERT_GT(programmeSets.size(), 3u);

    chosen = path("журнал.csv");
    CapturedErrors errors;
    altKey(form.get(), u'э');
    EXPECT_TRUE(errors.texts.empty()) << errors.texts.front();
    ASSERT_EQ(choices.size(), 1u);
    EXPECT_EQ(choices[0].first, TFileChoice::Save);
    EXPECT_TRUE(choices[0].second.endsWith(
        QStringLiteral("Журнал опросов %1.csv").arg(today.toString("yyyy-MM-dd"))));

    const std::string bytes = bytesOf(chosen);
    EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    Rows rows;
    std::string error;
    if (!readCsvWithPython(chosen, rows, error)) GTEST_SKIP() << "python3 is not installed";
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i], expected[i]) << "row " << i;
    // The grid still stands on the survey it stood on.
    EXPECT_EQ(tests().fieldByName("id").asInteger(), currentId);
}

TEST_F(JournalFiles, ACancelledChoiceWritesNothing) {
    dataModule().AddTestRecord(cp("Иванов"), {"1", "", "", ""}, day(QDate::currentDate()));
    open();
    const std::string journal = bytesOf(TMainDM::GetTestsFileName());
    CapturedErrors errors;
    const QStringList boxes = answerBoxes([&] {
        for (QPushButton* b : {form->ExportCsvButton, form->BackupButton, form->RestoreButton})
            QTest::mouseClick(b, Qt::LeftButton);
    });
    EXPECT_EQ(choices.size(), 3u);
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_TRUE(errors.texts.empty());
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
    EXPECT_EQ(bytesOf(TMainDM::GetTestsFileName()), journal);
}

// A file the operator made read-only is not replaced by an export or a
// backup (a rename over it would, file permissions notwithstanding), nor is
// a folder; the error names the file.
TEST_F(JournalFiles, ExportAndBackupLeaveAReadOnlyFileAndAFolderAlone) {
    dataModule().AddTestRecord(cp("Иванов"), {"1", "", "", ""}, day(QDate::currentDate()));
    open();
    const std::string readOnly = path("только чтение.csv");
    writeBytes(readOnly, "kept");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read);
    const std::string folderItself = folder.path().toStdString();
    for (QPushButton* button : {form->ExportCsvButton, form->BackupButton}) {
        for (const std::string& target : {readOnly, folderItself}) {
            SCOPED_TRACE(button->objectName().toStdString() + " " + target);
            chosen = target;
            CapturedErrors errors;
            QTest::mouseClick(button, Qt::LeftButton);
            ASSERT_EQ(errors.texts.size(), 1u);
            EXPECT_NE(errors.texts[0].find(cp(target)), std::string::npos) << errors.texts[0];
            EXPECT_EQ(bytesOf(readOnly), "kept");
            EXPECT_EQ(fs::status(readOnly).permissions(),
                      fs::perms::owner_read | fs::perms::group_read);
            EXPECT_TRUE(fs::is_directory(folderItself));
            EXPECT_TRUE(tests().active());
        }
    }
    // No temporary file stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folderItself), fs::directory_iterator()), 1);
}

// A link the operator made to a file kept elsewhere stays a link, and the
// file it leads to is the one written.
TEST_F(JournalFiles, ExportAndBackupWriteThroughALink) {
    dataModule().AddTestRecord(cp("Иванов"), {"1", "", "", ""}, day(QDate::currentDate()));
    open();
    fs::create_directory(path("elsewhere"));
    const struct {
        QPushButton* button;
        const char* start;
    } cases[] = {{form->ExportCsvButton, "\xEF\xBB\xBF"}, {form->BackupButton, "ACS1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        const std::string target = path("elsewhere/file");
        writeBytes(target, "old");
        chosen = path("link");
        fs::remove(chosen);
        fs::create_symlink(target, chosen);
        CapturedErrors errors;
        QTest::mouseClick(c.button, Qt::LeftButton);
        EXPECT_TRUE(errors.texts.empty()) << errors.texts.front();
        EXPECT_TRUE(fs::is_symlink(chosen));
        EXPECT_EQ(bytesOf(target).rfind(c.start, 0), 0u);
    }
}

// A backup taken, the journal changed, the backup restored: the journal is
// the backup's again on the screen and in the file, and the journal it
// replaced is kept beside it.
TEST_F(JournalFiles, BackupThenRestoreBringsTheJournalBackAndKeepsTheReplacedOne) {
    const double today = day(QDate::currentDate());
    dataModule().AddTestRecord(cp("Иванов"), {"1 2", "", "", ""}, today);
    dataModule().AddTestRecord(cp("Петров"), {"3", "", "", ""}, today);
    open();

    chosen = path("копия.dat");
    altKey(form.get(), u'к');
    ASSERT_EQ(choices.size(), 1u);
    EXPECT_TRUE(choices[0].second.endsWith(
        QStringLiteral("OrvalenTests-%1.dat").arg(QDate::currentDate().toString("yyyy-MM-dd"))));
    ASSERT_TRUE(fs::exists(chosen));
    EXPECT_TRUE(tests().active());

    dataModule().AddTestRecord(cp("Сидоров"), {"4", "", "", ""}, today);
    const std::string replaced = bytesOf(TMainDM::GetTestsFileName());
    form->UpdateButtons();
    ASSERT_EQ(gridNames().size(), 3u);

    // Declined: nothing changes and the staged copy is gone.
    QStringList boxes = answerBoxes([&] { QTest::mouseClick(form->RestoreButton, Qt::LeftButton); },
                                    QMessageBox::No);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains(QString::fromStdString(chosen)));
    EXPECT_TRUE(boxes[0].contains(QStringLiteral("опросов в нём: 2")));
    EXPECT_EQ(bytesOf(TMainDM::GetTestsFileName()), replaced);
    EXPECT_EQ(journalFiles(), std::vector<std::string>{"OrvalenTests.dat"});
    EXPECT_EQ(gridNames().size(), 3u);

    CapturedErrors errors;
    // The question box took the activation with it.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    boxes = answerBoxes([&] { altKey(form.get(), u'в'); }, QMessageBox::Yes);
    EXPECT_TRUE(errors.texts.empty()) << errors.texts.front();
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(choices.back().first, TFileChoice::Open);
    EXPECT_EQ(stored(),
              (std::vector<std::pair<int, std::string>>{{1, cp("Иванов")}, {2, cp("Петров")}}));
    EXPECT_EQ(gridNames(), (std::vector<std::string>{cp("Иванов"), cp("Петров")}));
    EXPECT_TRUE(form->ShowResultsButton->isEnabled());

    const std::vector<std::string> files = journalFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], "OrvalenTests.dat");
    const std::string aside = files[1];
    EXPECT_EQ(aside.rfind(std::string("OrvalenTests.dat") + kBeforeRestoreSuffix, 0), 0u);
    EXPECT_EQ(bytesOf(GetAppDataFolder() + aside), replaced);

    // The restored journal goes on numbering from its own highest id.
    dataModule().AddTestRecord(cp("Козлов"), {"1", "", "", ""}, today);
    EXPECT_EQ(stored().back(), (std::pair<int, std::string>{3, cp("Козлов")}));
}

// A file that does not load as a journal is refused with the engine's
// error before any question, and the journal stays byte for byte.
TEST_F(JournalFiles, ARestoreOfAnythingButAJournalChangesNothing) {
    const double today = day(QDate::currentDate());
    dataModule().AddTestRecord(cp("Иванов"), {"1 2", "", "", ""}, today);
    const std::string journal = bytesOf(TMainDM::GetTestsFileName());
    ASSERT_GT(journal.size(), 100u);

    // A table of another name, and ones named as the journal without its
    // fields, with its field names but other types or sizes, or without its
    // index on id: all load, none is a journal the program can go on with.
    using sqlmem::TFieldType;
    const std::vector<sqlmem::TFieldDef> x = {{"x", TFieldType::ftInteger, 0, false}};
    const std::vector<sqlmem::TFieldDef> journalFields = tests().FieldDefs;
    auto saveTable = [&](const char* tableName, const std::vector<sqlmem::TFieldDef>& fields,
                         bool indexed = false) {
        sqlmem::TSQLMemTable other("OtherTable");
        other.TableName = tableName;
        other.FieldDefs = fields;
        if (indexed) other.IndexDefs = tests().IndexDefs;
        for (const sqlmem::TFieldDef& f : fields)
            other.addField(f.Name, f.DataType, f.Size);
        other.createTable();
        other.saveToFile(path("other"), 1, 0x100000, 0);
        other.deleteTable();
        return bytesOf(path("other"));
    };
    auto asJournal = [&](const std::vector<sqlmem::TFieldDef>& fields, bool indexed = true) {
        std::string bytes = saveTable("testz", fields, indexed);
        EXPECT_EQ(bytes.substr(43, 5), "testz");
        bytes[47] = 's';
        return bytes;
    };
    auto changed = [&](const char* name, TFieldType type, int size) {
        std::vector<sqlmem::TFieldDef> fields = journalFields;
        for (sqlmem::TFieldDef& f : fields)
            if (f.Name == name) f = {name, type, size, false};
        return fields;
    };
    const std::string strings = saveTable("strings_copy", x);

    // A flipped byte inside the compressed body can fall on bits the decoder
    // never uses (seen: the image loaded unchanged); the body's checksum at
    // its end is what tells damage in every case.
    std::string flipped = journal;
    flipped[flipped.size() / 2] ^= 0x5A;
    flipped.back() ^= 0x5A;
    std::string badVersion = journal;
    badVersion[11] = 0x7F;
    const struct {
        const char* what;
        std::string bytes;
        const char* error;  // a piece of the error shown
    } cases[] = {
        {"empty", "", "Cannot read from stream"},
        {"truncated", journal.substr(0, journal.size() / 2), "Decompress buffer failed"},
        // Caught wherever the damage first shows.
        {"flipped", flipped, "Native error"},
        {"signature", "XCS1" + journal.substr(4), "Invalid signature"},
        {"version", badVersion, "Invalid version number"},
        {"fields", asJournal(x, false), "поле \"id\""},
        {"other table", strings, "strings_copy"},
        {"id as text", asJournal(changed("id", TFieldType::ftString, 10)),
         "не является журналом опросов"},
        {"short names", asJournal(changed("tested_name", TFieldType::ftString, 5)),
         "поле \"tested_name\""},
        {"no index on id", asJournal(journalFields, false), "No index for fields 'id'"},
    };
    open();
    const std::vector<std::string> before = gridNames();
    ASSERT_EQ(before.size(), 1u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        chosen = path("damaged.dat");
        writeBytes(chosen, c.bytes);
        CapturedErrors errors;
        const QStringList boxes = answerBoxes(
            [&] { QTest::mouseClick(form->RestoreButton, Qt::LeftButton); }, QMessageBox::Yes);
        EXPECT_TRUE(boxes.isEmpty()) << boxes.join(u'|').toStdString();
        ASSERT_EQ(errors.texts.size(), 1u);
        EXPECT_NE(errors.texts[0].find(cp(c.error)), std::string::npos) << errors.texts[0];
        EXPECT_EQ(bytesOf(TMainDM::GetTestsFileName()), journal);
        EXPECT_EQ(journalFiles(), std::vector<std::string>{"OrvalenTests.dat"});
        EXPECT_EQ(gridNames(), before);
        EXPECT_TRUE(form->ShowResultsButton->isEnabled());
    }
    // No table of the refused images stays behind, and the journal still saves.
    sqlmem::TSQLMemTable probe("Probe");
    probe.TableName = "strings_copy";
    EXPECT_FALSE(probe.exists());
    dataModule().AddTestRecord(cp("Петров"), {"1", "", "", ""}, today);
    EXPECT_EQ(stored().size(), 2u);
}

// A huge file (here sparse, so cheap to make) is refused at once: neither
// read through nor copied into the application-data folder first, which
// took half a minute and a gigabyte of the operator's disk.
TEST_F(JournalFiles, ARestoreOfAHugeFileIsRefusedAtOnce) {
    dataModule().AddTestRecord(cp("Иванов"), {"1", "", "", ""}, day(QDate::currentDate()));
    const std::string journal = bytesOf(TMainDM::GetTestsFileName());
    open();
    const struct {
        const char* head;
        std::uintmax_t size;
        const char* error;
    } cases[] = {
        {"", std::uintmax_t{1} << 30, "Invalid signature"},
        {"ACS1", (std::uintmax_t{1} << 30) + 1, "Слишком большой файл"},
    };
    chosen = path("huge.dat");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        writeBytes(chosen, c.head);
        fs::resize_file(chosen, c.size);
        CapturedErrors errors;
        QElapsedTimer took;
        took.start();
        const QStringList boxes = answerBoxes(
            [&] { QTest::mouseClick(form->RestoreButton, Qt::LeftButton); }, QMessageBox::Yes);
        EXPECT_LT(took.elapsed(), 3000);
        EXPECT_TRUE(boxes.isEmpty());
        ASSERT_EQ(errors.texts.size(), 1u);
        EXPECT_NE(errors.texts[0].find(cp(c.error)), std::string::npos) << errors.texts[0];
        EXPECT_EQ(bytesOf(TMainDM::GetTestsFileName()), journal);
        EXPECT_EQ(journalFiles(), std::vector<std::string>{"OrvalenTests.dat"});
        EXPECT_EQ(gridNames(), std::vector<std::string>{cp("Иванов")});
    }
}

// A pipe or a folder chosen as the backup is refused without being opened:
// reading a pipe would hang the window until something wrote to it.
TEST_F(JournalFiles, ARestoreOfSomethingButAFileIsRefusedWithoutOpeningIt) {
    dataModule().AddTestRecord(cp("Иванов"), {"1", "", "", ""}, day(QDate::currentDate()));
    const std::string journal = bytesOf(TMainDM::GetTestsFileName());
    open();
    const std::string pipe = path("pipe.dat");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string dir = path("folder.dat");
    fs::create_directory(dir);
    for (const std::string& target : {pipe, dir}) {
        SCOPED_TRACE(target);
        // Had the restore opened the pipe, this finds it read and lets it go on.
        std::atomic<bool> stop{false}, opened{false};
        std::thread writer([&] {
            while (!stop) {
                const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    opened = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        chosen = target;
        CapturedErrors errors;
        const QStringList boxes = answerBoxes(
            [&] { QTest::mouseClick(form->RestoreButton, Qt::LeftButton); }, QMessageBox::Yes);
        stop = true;
        writer.join();
        EXPECT_FALSE(opened);
        EXPECT_TRUE(boxes.isEmpty());
        ASSERT_EQ(errors.texts.size(), 1u);
        EXPECT_NE(errors.texts[0].find(cp("не является журналом опросов")), std::string::npos)
            << errors.texts[0];
        EXPECT_EQ(bytesOf(TMainDM::GetTestsFileName()), journal);
        EXPECT_EQ(journalFiles(), std::vector<std::string>{"OrvalenTests.dat"});
    }
}

// A backup the operator named like the copy a restore stages beside the
// journal is the operator's file: restoring from it, declined or done,
// leaves it where it was.
TEST_F(JournalFiles, ARestoreKeepsTheChosenFileWhateverItsName) {
    const double today = day(QDate::currentDate());
    dataModule().AddTestRecord(cp("Иванов"), {"1", "", "", ""}, today);
    chosen = TMainDM::GetTestsFileName() + ".restoring";
    BackupJournal(dataModule(), chosen);
    const std::string backup = bytesOf(chosen);
    dataModule().AddTestRecord(cp("Петров"), {"1", "", "", ""}, today);
    open();
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        SCOPED_TRACE(answer == QMessageBox::No ? "No" : "Yes");
        CapturedErrors errors;
        const QStringList boxes =
            answerBoxes([&] { QTest::mouseClick(form->RestoreButton, Qt::LeftButton); }, answer);
        EXPECT_EQ(boxes.size(), 1);
        EXPECT_TRUE(errors.texts.empty()) << errors.texts.front();
        ASSERT_TRUE(fs::exists(chosen));
        EXPECT_EQ(bytesOf(chosen), backup);
    }
    EXPECT_EQ(gridNames(), std::vector<std::string>{cp("Иванов")});
}

TEST_F(JournalFiles, ARestoreWhoseReplaceFailsLeavesTheOldJournal) {
    const double today = day(QDate::currentDate());
    dataModule().AddTestRecord(cp("Иванов"), {"1", "", "", ""}, today);
    chosen = path("backup.dat");
    BackupJournal(dataModule(), chosen);
    dataModule().AddTestRecord(cp("Петров"), {"2", "", "", ""}, today);
    const std::string journal = bytesOf(TMainDM::GetTestsFileName());
    open();

    TEST_SetJournalReplace([](const std::string&, const std::string&) {
        errno = EIO;
        return -1;
    });
    CapturedErrors errors;
    const QStringList boxes = answerBoxes(
        [&] { QTest::mouseClick(form->RestoreButton, Qt::LeftButton); }, QMessageBox::Yes);
    EXPECT_EQ(boxes.size(), 1);
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_NE(errors.texts[0].find(cp("Журнал не восстановлен")), std::string::npos);
    EXPECT_EQ(bytesOf(TMainDM::GetTestsFileName()), journal);
    EXPECT_EQ(journalFiles(), std::vector<std::string>{"OrvalenTests.dat"});
    EXPECT_EQ(gridNames(), (std::vector<std::string>{cp("Иванов"), cp("Петров")}));
}

TEST_F(JournalFiles, ARestoreWithoutAJournalFileKeepsNothingAside) {
    dataModule().AddTestRecord(cp("Иванов"), {"1", "", "", ""}, day(QDate::currentDate()));
    chosen = path("backup.dat");
    BackupJournal(dataModule(), chosen);
    fs::remove(TMainDM::GetTestsFileName());
    dataModule().OpenTestsTable();
    open();
    ASSERT_TRUE(gridNames().empty());

    CapturedErrors errors;
    answerBoxes([&] { QTest::mouseClick(form->RestoreButton, Qt::LeftButton); }, QMessageBox::Yes);
    EXPECT_TRUE(errors.texts.empty());
    EXPECT_EQ(journalFiles(), std::vector<std::string>{"OrvalenTests.dat"});
    EXPECT_EQ(bytesOf(TMainDM::GetTestsFileName()), bytesOf(chosen));
    EXPECT_EQ(gridNames(), std::vector<std::string>{cp("Иванов")});
    EXPECT_TRUE(form->DeleteRecordButton->isEnabled());
}

// The toolkit's dialog itself, answered by typing a name without its
// extension and Enter.
TEST_F(JournalFiles, TheSaveDialogOffersTheDatedNameAndAddsTheExtension) {
    SetFileChooser(nullptr);
    dataModule().AddTestRecord(cp("Иванов"), {"1", "", "", ""}, day(QDate::currentDate()));
    open();
    QString offered;
    QStringList labels;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        poll.stop();
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(name);
        offered = name->text();
        labels = {dialog->labelText(QFileDialog::FileName), dialog->labelText(QFileDialog::Accept)};
        dialog->setDirectory(folder.path());
        name->clear();
        name->setFocus();
        QTest::keyClicks(name, QStringLiteral("copy"));
        QTest::keyClick(name, Qt::Key_Return);
    });
    poll.start();
    CapturedErrors errors;
    QTest::mouseClick(form->BackupButton, Qt::LeftButton);
    poll.stop();
    EXPECT_TRUE(errors.texts.empty());
    EXPECT_EQ(offered, QStringLiteral("OrvalenTests-%1.dat")
                           .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
    EXPECT_EQ(labels, (QStringList{QStringLiteral("Имя файла:"), QStringLiteral("Сохранить")}));
    EXPECT_TRUE(fs::exists(path("copy.dat")));
}
