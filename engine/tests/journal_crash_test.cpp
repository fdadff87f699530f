// A journal file survives its saver being killed at any moment: it always
// loads, and holds the surveys of the last save that finished.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "engine_test_support.h"

namespace sqlmem {
namespace {

using F = TFieldType;

class JournalCrashTest : public testing::NamedTablesTest {};

void declareJournal(TSQLMemTable& t, const std::string& name) {
    t.TableName = name;
    t.FieldDefs = testing::journalFields();
    t.IndexDefs = {{"PK", "id", ixPrimary}};
}

void appendSurvey(TSQLMemTable& t, int id) {
    t.append();
    t.fieldByName("id").setAsInteger(id);
    t.fieldByName("test_date").setAsDateTime(46000 + id % 365);
    t.fieldByName("tested_name").setAsString("survey " + std::to_string(id));
    t.fieldByName("test_results").setAsString(std::string(400 + id % 300, 'a' + id % 26));
    t.post();
}

// The surveys 1..n, each as written; -1 when the file holds anything else.
int checkedCount(const std::string& file, const std::string& name) {
    TSQLMemTable t;
    t.TableName = name;
    t.loadFromFile(file);
    t.setIndexFieldNames("id");
    t.open();
    int expected = 1;
    for (t.first(); !t.eof(); t.next(), ++expected) {
        if (t.fieldByName("id").asInteger() != expected ||
            t.fieldByName("tested_name").asString() != "survey " + std::to_string(expected) ||
            t.fieldByName("test_results").asString().size() != 400u + expected % 300)
            return -1;
    }
    return expected - 1;
}

TEST_F(JournalCrashTest, AKilledSaveLeavesTheOldOrTheNewJournal) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("orvalen-crash-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "OrvalenTests.dat").string();
    const std::string name = tableName();

    constexpr int kFirst = 3000;
    {
        TSQLMemTable t;
        declareJournal(t, name);
        t.createTable();
        t.open();
        for (int id = 1; id <= kFirst; ++id)
            appendSurvey(t, id);
        t.close();
        t.saveToFile(file, 1, 0x100000, 0);
    }

    std::mt19937 random(20261210);
    int count = kFirst, interrupted = 0;
    for (int trial = 0; trial < 150; ++trial) {
        int done[2];
        ASSERT_EQ(::pipe(done), 0);
        const auto forked = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The application's append, over and over: re-read, add, save;
            // a byte on the pipe after each save that finished.
            ::close(done[0]);
            try {
                for (;;) {
                    TSQLMemTable t;
                    t.TableName = name;
                    t.loadFromFile(file);
                    t.open();
                    const int next = t.recordCount() + 1;
                    appendSurvey(t, next);
                    t.close();
                    t.saveToFile(file, 1, 0x100000, 0);
                    const char saved = 1;
                    if (::write(done[1], &saved, 1) != 1) ::_exit(4);
                }
            } catch (...) {
                ::_exit(3);
            }
        }
        ::close(done[1]);
        // One save finishes, timing a cycle; the kill then lands anywhere in
        // the next, however fast the machine is.
        using Clock = std::chrono::steady_clock;
        char byte;
        ASSERT_EQ(::read(done[0], &byte, 1), 1);
        const auto cycle =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - forked);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % (cycle.count() + 1)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(done[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself, status " << status;

        const int now = checkedCount(file, name);
        ASSERT_GE(now, count + 1) << "trial " << trial << ": a finished save was lost";
        count = now;
        // What a killed save leaves beside the journal: its unfinished copy.
        for (const fs::directory_entry& e : fs::directory_iterator(dir))
            if (e.path() != file) {
                ++interrupted;
                fs::remove(e.path());
            }
    }
    // Some kills landed inside a save, after its copy was begun.
    EXPECT_GT(interrupted, 0);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace sqlmem
