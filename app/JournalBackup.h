// Copies of the journal: a backup written through the engine, and a
// restore that replaces the journal file only by an image the engine has
// loaded in full.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace orvalen {

class TMainDM;

// Saves the journal table to `file` (UTF-8 path) as the journal file
// itself is saved; the journal is open again afterwards in any case.
void BackupJournal(TMainDM& dm, const std::string& file);

// The journal file's copy kept by a restore: the journal file's name with
// ".before-restore-" and the local date and time.
inline constexpr const char* kBeforeRestoreSuffix = ".before-restore-";

// A restore in two steps, so that the operator confirms between them. The
// constructor copies the chosen file beside the journal and loads that copy
// into a scratch table, reading every survey; an image that does not load
// raises the engine's error and changes nothing. commit() keeps the journal
// file aside and puts the checked copy in its place in one rename, then
// reloads the journal. Dropping it uncommitted removes the copy.
class TJournalRestore {
public:
    TJournalRestore(TMainDM& dm, const std::string& source);
    ~TJournalRestore();
    TJournalRestore(const TJournalRestore&) = delete;
    TJournalRestore& operator=(const TJournalRestore&) = delete;

    // The number of surveys the chosen image holds.
    int surveyCount() const { return m_surveys; }
    // Answers the path the previous journal file was kept under; empty
    // when there was none. On failure the journal file is as it was.
    std::string commit();

private:
    TMainDM& m_dm;
    std::string m_staged;
    int m_surveys = 0;
    bool m_committed = false;
};

// Test hook: the rename that puts the restored journal in place (answers 0
// or -1 with errno set, as rename does); null puts back the real one.
using TJournalReplace = std::function<int(const std::string& from, const std::string& to)>;
void TEST_SetJournalReplace(TJournalReplace replace);

}  // namespace orvalen
