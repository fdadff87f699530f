// The shell as its users meet it: the real executable, fed a script on
// standard input (or -c), judged by its standard output, standard error and
// exit status, byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sqlmem/cp1251.h"
#include "sqlmem/sqlmem.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace sqlmem;

struct ShellRun {
    std::string out, err;
    int status = -1;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string to1251(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(cp1251::fromUtf8(utf8, out)) << utf8;
    return out;
}

class ShellTest : public testing::Test {
protected:
    // Files shared by the tests: the journal made once through the engine.
    static fs::path dir() {
        static const fs::path d = [] {
            std::string tmpl = (fs::temp_directory_path() / "sqlmem-shell.XXXXXX").string();
            if (!mkdtemp(tmpl.data())) std::abort();
            return fs::path(tmpl);
        }();
        return d;
    }
    static void SetUpTestSuite() { makeJournal(dir() / "journal.dat"); }
    static void TearDownTestSuite() { fs::remove_all(dir()); }

    // The journal's definition, as the application declares it, with three
    // surveys: one whose name is null and one in Cyrillic.
    static void makeJournal(const fs::path& file) {
        TSQLMemTable t;
        t.TableName = "tests";
        t.FieldDefs = {{"id", TFieldType::ftInteger, 0},
                       {"test_date", TFieldType::ftDate, 0},
                       {"test_time", TFieldType::ftTime, 0},
                       {"tested_name", TFieldType::ftString, 200},
                       {"test_results", TFieldType::ftString, 1000}};
        t.IndexDefs = {{"TestsSQLMemTableIndex1", "id", ixPrimary | ixUnique}};
        t.createTable();
        t.open();
        struct Row {
            int id;
            double date, time;
            const char* name;  // null: none
            const char* results;
        } rows[] = {
            {1, 45292, 0.5, "Ivanov, \"Ivan\"", "1 2\r\n\r\n3\r\n\r\n"},
            {2, 45293, 0.75, nullptr, "\r\n1\r\n\r\n\r\n"},
            {3, 45294, 0.25, "Петрова Ёлка", "\r\n\r\n\r\n2 5\r\n"},
        };
        for (const Row& r : rows) {
            t.append();
            t.fieldByName("id").setAsInteger(r.id);
            t.fieldByName("test_date").setAsDateTime(r.date);
            t.fieldByName("test_time").setAsDateTime(r.time);
            if (r.name) t.fieldByName("tested_name").setAsString(to1251(r.name));
            t.fieldByName("test_results").setAsString(r.results);
            t.post();
        }
        t.close();
        t.saveToFile(file.string(), 1, 0x100000, 0);
        t.deleteTable();
    }

    // Runs the shell in dir() with `input` as its standard input.
    static ShellRun shell(std::vector<std::string> args, const std::string& input) {
        const fs::path in = dir() / "stdin", out = dir() / "stdout", err = dir() / "stderr";
        writeFile(in, input);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        args.insert(args.begin(), SQLMEM_SHELL);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const fs::path cwd = fs::current_path();
        fs::current_path(dir());
        pid_t pid = 0;
        const int spawned =
            posix_spawn(&pid, SQLMEM_SHELL, &actions, nullptr, argv.data(), environ);
        fs::current_path(cwd);
        posix_spawn_file_actions_destroy(&actions);
        ShellRun run;
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << SQLMEM_SHELL;
            return run;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = readFile(out);
        run.err = readFile(err);
        return run;
    }

    static void expectRun(const ShellRun& run, const std::string& out, const std::string& err,
                          int status) {
        EXPECT_EQ(run.out, out);
        EXPECT_EQ(run.err, err);
        EXPECT_EQ(run.status, status);
    }
};

TEST_F(ShellTest, OutputModes) {
    const std::string query =
        "select id, tested_name, test_date, test_time from tests order by id;\n";
    struct Case {
        const char* why;
        std::vector<std::string> args;
        std::string input;
        std::string out;
    } cases[] = {
        {"list: no header, NULL as nothing, Cyrillic as UTF-8",
         {"journal.dat"},
         query,
         "1|Ivanov, \"Ivan\"|01.01.2024|12:00:00\n"
         "2||02.01.2024|18:00:00\n"
         "3|Петрова Ёлка|03.01.2024|6:00:00\n"},
        {"-header adds the column names",
         {"-header", "journal.dat"},
         "select id, tested_name from tests where id < 3;",
         "id|tested_name\n1|Ivanov, \"Ivan\"\n2|\n"},
        {"-csv: header, quoted where needed, LF line ends",
         {"-csv", "journal.dat"},
         "select id, tested_name n, test_results from tests;",
         "id,n,test_results\n"
         "1,\"Ivanov, \"\"Ivan\"\"\",\"1 2\r\n\r\n3\r\n\r\n\"\n"
         "2,,\"\r\n1\r\n\r\n\r\n\"\n"
         "3,Петрова Ёлка,\"\r\n\r\n\r\n2 5\r\n\"\n"},
        {"dot commands switch the mode and the header line",
         {"journal.dat"},
         ".mode csv\nselect id from tests where id = 1;\n.headers off\n"
         "select id from tests where id = 2;\n.mode list\n.headers on\n"
         "select id, id + 1 nxt from tests where id = 3;\n",
         "id\n1\n2\nid|nxt\n3|4\n"},
        {"a statement may span lines; the end of input ends the last one",
         {"journal.dat"},
         "select id\n  from tests\n where id = 2; select id from tests\nwhere id = 3",
         "2\n3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        expectRun(shell(c.args, c.input), c.out, "", 0);
    }
}

TEST_F(ShellTest, CyrillicGoesInAndComesBack) {
    expectRun(shell({"journal.dat"},
                    "insert into tests (id, tested_name) values (4, 'Сидоров Ян');\n"
                    "select id, upper(tested_name) from tests where tested_name like 'Сид%' or "
                    "tested_name = 'Петрова Ёлка' order by id;\n"),
              "3|ПЕТРОВА ЁЛКА\n4|СИДОРОВ ЯН\n", "", 0);
}

TEST_F(ShellTest, AnErrorIsReportedAndTheScriptGoesOn) {
    const std::string script =
        "select count(*) from tests;\n"
        "select 12g from tests; select id from tests where id = 1;\n"
        "insert into tests (id) values (1);\n"
        "select count(*) from tests\n";
    const std::string err =
        "Error: Invalid numeric symbol 'g' at line 1, column 10 - Native error: 30062\n"
        "Error: Primary Key constraint 'TestsSQLMemTableIndex1' violated. Duplicate found. - "
        "Native error: 30319\n";
    const ShellRun fromStdin = shell({"journal.dat"}, script);
    expectRun(fromStdin, "3\n1\n3\n", err, 1);
    // -c runs the same way.
    const ShellRun fromOption = shell({"journal.dat", "-c", script}, "");
    EXPECT_EQ(fromOption.out, fromStdin.out);
    EXPECT_EQ(fromOption.err, fromStdin.err);
    EXPECT_EQ(fromOption.status, 1);
}

// A statement of many lines, or a stray quote that holds the rest of a long
// script open, is read in time proportional to its length.
TEST_F(ShellTest, ALongStatementIsReadInLinearTime) {
    std::string script = "select count(*)\n";
    for (int i = 0; i < 100000; ++i)
        script += "-- one of many lines\n";
    script += "from tests; select 'never closed\n";
    for (int i = 0; i < 100000; ++i)
        script += "select 1 from tests\n";
    const auto start = std::chrono::steady_clock::now();
    expectRun(shell({"journal.dat"}, script), "3\n",
              "Error: Unterminated string at line 1, column 9 - Native error: 30061\n", 1);
    // Read line by line lexing all that is pending, it takes minutes.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(ShellTest, ACharacterOutside1251IsRefusedNotReplaced) {
    expectRun(shell({"journal.dat"},
                    "insert into tests (id, tested_name) values (5, 'Smile 😀');\n"
                    "select\n  'ok', '€' from tests where tested_name = 'x✓';\n"
                    "select count(*) from tests;\n"),
              "3\n",
              "Error: Character U+1F600 cannot be stored in code page 1251 (line 1, column 55)\n"
              "Error: Character U+2713 cannot be stored in code page 1251 (line 2, column 46)\n",
              1);
    // Bytes that are not UTF-8 are refused the same way.
    expectRun(shell({"journal.dat"}, "select id from tests where tested_name = '\xC3';\n"), "",
              "Error: Text is not valid UTF-8 (line 1, column 43)\n", 1);
}

TEST_F(ShellTest, SaveThenLoadKeepsTheJournal) {
    const std::string all = "select * from tests order by id;\n";
    const ShellRun original = shell({"-csv", "journal.dat"}, all);
    ASSERT_EQ(original.status, 0) << original.err;
    for (const char* compression : {"zlib", "bzip", "none"}) {
        SCOPED_TRACE(compression);
        const std::string copy = std::string("copy-") + compression + ".dat";
        expectRun(shell({"journal.dat"}, ".save tests " + copy + " " + compression + "\n"), "", "",
                  0);
        const std::string image = readFile(dir() / copy);
        ASSERT_GT(image.size(), 43u);
        EXPECT_EQ(image.substr(0, 4), "ACS1");
        EXPECT_EQ(image[40], std::string(compression) == "zlib"   ? 1
                             : std::string(compression) == "bzip" ? 2
                                                                  : 0);
        EXPECT_EQ(image.substr(42, 6), std::string("\x05tests", 6));
        // Loaded by .load, under the name the file holds.
        expectRun(shell({"-csv"}, ".load " + copy + "\n.tables\n" + all), "tests\n" + original.out,
                  "", 0);
    }
    // Loading again replaces the table rather than refusing the name.
    expectRun(shell({"journal.dat"}, ".load copy-none.dat\nselect count(*) from tests;\n"), "3\n",
              "", 0);
}

// The text is the engine's own and makes the table again: run in a fresh
// shell, its .schema gives the same text back.
TEST_F(ShellTest, SchemaShowsTheDefinition) {
    const std::string journal =
        "CREATE TABLE [tests] (\n"
        "  [id] INTEGER,\n"
        "  [test_date] DATE,\n"
        "  [test_time] TIME,\n"
        "  [tested_name] VARCHAR(200),\n"
        "  [test_results] VARCHAR(1000),\n"
        "  PRIMARY KEY [TestsSQLMemTableIndex1] ([id])\n"
        ");\n";
    expectRun(shell({"journal.dat"}, ".schema tests\n"), journal, "", 0);
    expectRun(shell({}, journal + ".schema tests\n"), journal, "", 0);
}

// Every setting a definition can carry, names that need brackets, and an
// index beside the primary one.
TEST_F(ShellTest, SchemaWritesEverySettingBack) {
    {
        TSQLMemTable t;
        t.TableName = "kinds";
        t.FieldDefs = {
            {"code", TFieldType::ftFixedChar, 4, true, Variant("x'y")},
            {"value", TFieldType::ftInteger, 0, false, Variant(5), Variant(0), Variant(99)},
            {to1251("вес"), TFieldType::ftFloat, 0, false, Variant(1.5)},
            {"n", TFieldType::ftAutoInc, 0}};
        t.IndexDefs = {{"by_code", "code", ixDescending | ixCaseInsensitive},
                       {"pk", "n", ixPrimary}};
        t.createTable();
        t.saveToFile((dir() / "kinds.dat").string(), 0, 0, 0);
        t.deleteTable();
    }
    const std::string kinds =
        "CREATE TABLE [kinds] (\n"
        "  [code] CHAR(4) NOT NULL DEFAULT 'x''y',\n"
        "  [value] INTEGER MINVALUE 0 MAXVALUE 99 DEFAULT 5,\n"
        "  [вес] DOUBLE DEFAULT 1.5,\n"
        "  [n] AUTOINC,\n"
        "  PRIMARY KEY [pk] ([n])\n"
        ");\n"
        "CREATE INDEX [by_code] ON [kinds] ([code] DESC NOCASE);\n";
    expectRun(shell({"kinds.dat"}, ".schema KINDS\n"), kinds, "", 0);
    expectRun(shell({}, kinds + ".schema kinds\n"), kinds, "", 0);
}

// The whole schema runs back as it stands: a table comes after the tables
// its foreign keys refer to, whatever their names.
TEST_F(ShellTest, SchemaOfAllTablesRunsBack) {
    const std::string tables =
        "CREATE TABLE [b_people] (\n"
        "  [id] INTEGER,\n"
        "  PRIMARY KEY [pk_people] ([id])\n"
        ");\n"
        "CREATE TABLE [a_visits] (\n"
        "  [person] INTEGER,\n"
        "  FOREIGN KEY [fk_person] ([person]) REFERENCES [b_people]\n"
        ");\n"
        "CREATE TABLE [c_notes] (\n"
        "  [id] INTEGER,\n"
        "  [up] INTEGER,\n"
        "  PRIMARY KEY [pk_notes] ([id]),\n"
        "  FOREIGN KEY [fk_up] ([up]) REFERENCES [c_notes]\n"
        ");\n";
    const ShellRun first = shell({}, tables + ".schema\n");
    expectRun(first, tables, "", 0);
    expectRun(shell({}, first.out + ".schema\n"), tables, "", 0);
}

// Loading over a table that other tables' keys refer to would drop the
// rules those keys keep by it (a cascade, a refused delete).
TEST_F(ShellTest, LoadDoesNotReplaceAReferencedTable) {
    const std::string script =
        "create table p (id integer primary key);\n"
        "insert into p values (1);\n"
        ".save p referenced.dat\n"
        "create table c (x integer, foreign key fk (x) references p on delete cascade);\n"
        "insert into c values (1);\n"
        ".load referenced.dat\n"
        "delete from p;\n"
        "select count(*) from c;\n";
    expectRun(shell({}, script), "0\n",
              "Error: cannot replace table \"p\": foreign keys of table \"c\" refer to it\n", 1);
}

TEST_F(ShellTest, CommandErrors) {
    struct Case {
        const char* why;
        std::string input;
        std::string out, err;
    } cases[] = {
        {"an unknown command", ".frobnicate\nselect 1 from tests where id = 1;\n", "1\n",
         "Error: unknown command .frobnicate (.help lists the commands)\n"},
        {"a table that is not there", ".schema nosuch\n.save nosuch x.dat\n", "",
         "Error: Table not found, table name = nosuch - Native error: 10028\n"
         "Error: Table not found, table name = nosuch - Native error: 10154\n"},
        {"a file that is not a table image", ".load notimage.dat\n.tables\n", "tests\n",
         "Error: Invalid signature = SELE. Should be ACS1 - Native error: 10161\n"},
        {"a script that is not there, or is a folder", ".read nosuch.sql\n.read .\n", "",
         "Error: cannot open \"nosuch.sql\"\nError: cannot open \".\"\n"},
        {"a bad argument", ".mode html\n.save tests x.dat lzma\n.headers maybe\n", "",
         "Error: unknown mode \"html\" (list or csv)\n"
         "Error: unknown compression \"lzma\" (zlib, bzip or none)\n"
         "Error: .headers takes on or off\n"},
    };
    writeFile(dir() / "notimage.dat", "SELECT 'a script, long enough to fill a whole header';\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        expectRun(shell({"journal.dat"}, c.input), c.out, c.err, 1);
    }
}

TEST_F(ShellTest, ReadRunsAScriptAndQuitStops) {
    writeFile(dir() / "script.sql",
              "-- counts first\nselect count(*) from tests;\r\n.mode csv\r\nselect max(id) m from "
              "tests;\n");
    expectRun(shell({"journal.dat"}, ".read script.sql\n.quit\nselect 1 from tests;\n"),
              "3\nm\n3\n", "", 0);
}

}  // namespace
