#include "JournalBackup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "ErrorBox.h"
#include "Platform.h"
#include "sqlmem/cp1251.h"
#include "uDMMain.h"

namespace orvalen {

namespace {

namespace fs = std::filesystem;

// No journal comes near this; a larger file is not one.
constexpr std::size_t kMaxJournalFile = std::size_t{1} << 30;

// The name the live journal table carries while the chosen image is loaded
// under the journal's own name beside it.
constexpr const char* kLiveAsideName = "tests_kept_during_restore";

TJournalReplace& replaceHook() {
    static TJournalReplace hook;
    return hook;
}

std::string text1251(const char* utf8) {
    std::string out;
    sqlmem::cp1251::fromUtf8(utf8, out);
    return out;
}

std::string failure(const char* utf8, const std::string& file, int err) {
    std::string text = text1251(utf8) + " \"" + MessageText1251(file) + "\"";
    if (err != 0) text += ": " + MessageText1251(std::strerror(err));
    return text;
}

// Opens the table again however the operation before it ended.
struct Reopen {
    sqlmem::TSQLMemTable& t;
    ~Reopen() {
        try {
            t.open();
        } catch (const std::exception& e) {
            ShowException(e);
        }
    }
};

// The name an image gives the table it loads into, when the bytes begin
// like an image at all; otherwise the engine's load refuses them itself.
bool imageTableName(const std::string& bytes, std::string& name) {
    constexpr std::size_t kHeader = 43;
    if (bytes.size() < kHeader || bytes.compare(0, 4, "ACS1") != 0) return false;
    const std::size_t n = static_cast<unsigned char>(bytes[kHeader - 1]);
    if (bytes.size() < kHeader + n) return false;
    name = bytes.substr(kHeader, n);
    return true;
}

bool sameTableName(const std::string& a, const std::string& b) {
    return sqlmem::cp1251::upper(a) == sqlmem::cp1251::upper(b);
}

std::string stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// A second name for the journal file, so that the journal stays in place
// until the restored one replaces it; a copy where the file system has no
// links.
std::string keepAside(const std::string& journal) {
    const std::string base = journal + kBeforeRestoreSuffix + stamp();
    std::string aside = base;
    for (int n = 2; n < 1000; ++n) {
        if (::link(journal.c_str(), aside.c_str()) == 0) return aside;
        if (errno != EEXIST) break;
        aside = base + "-" + std::to_string(n);
    }
    std::error_code ec;
    if (fs::exists(aside, ec))
        throw std::runtime_error(failure("Не удалось сохранить журнал как", aside, EEXIST));
    const std::optional<std::string> bytes = ReadWholeFile(journal, kMaxJournalFile);
    WriteFileAtomically(aside, bytes.value_or(std::string()));
    return aside;
}

// A unique name per restore, so that no file of the operator's is taken
// for the copy and removed with it.
constexpr const char* kStagedSuffix = ".restoring-";

void removeStaleStaged(const std::string& folder, const std::string& prefix,
                       const std::string& keep) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0 ||
            !e.is_regular_file(ec) || fs::equivalent(e.path(), keep, ec))
            continue;
        fs::remove(e.path(), ec);
    }
}

void syncFolder(const std::string& file) {
    const std::string folder = fs::path(file).parent_path().string();
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// Field names alone let a table of other types or sizes through: the
// journal would take it and then refuse every new survey, or cut names short.
void checkShape(const std::string& tableName, const std::vector<sqlmem::TFieldDef>& journal,
                const std::string& source) {
    sqlmem::TSQLMemTable image("JournalRestoreShapeSQLMemTable");
    image.TableName = tableName;
    image.open();
    std::string wrong;
    for (const sqlmem::TFieldDef& want : journal) {
        const sqlmem::TField* f = image.findField(want.Name);
        if (!f || f->dataType() != want.DataType || f->size() != want.Size) {
            wrong = want.Name;
            break;
        }
    }
    if (wrong.empty() && image.fieldCount() != static_cast<int>(journal.size()))
        wrong = image.field(image.fieldCount() - 1).FieldName;
    image.close();
    if (!wrong.empty())
        throw std::runtime_error(failure("Файл не является журналом опросов", source, 0) +
                                 text1251(": поле \"") + wrong +
                                 text1251("\" не такое, как в журнале"));
}

// Loads the image into a table of the journal's name and fields while the
// journal itself stands aside under another name, reads every survey and
// drops the table again; the journal is back and open afterwards, however
// this ends. Answers the number of surveys.
int loadIntoScratch(sqlmem::TSQLMemTable& tests, const std::string& image,
                    const std::string& source) {
    const std::string journalName = tests.TableName;
    tests.close();
    Reopen reopen{tests};
    struct PutBack {
        sqlmem::TSQLMemTable& t;
        const std::string& name;
        bool renamed = false;
        ~PutBack() {
            if (!renamed) return;
            try {
                t.renameTable(name);
            } catch (const std::exception& e) {
                ShowException(e);
            }
        }
    } putBack{tests, journalName};
    if (tests.exists()) {
        tests.renameTable(kLiveAsideName);
        putBack.renamed = true;
    }

    sqlmem::TSQLMemTable scratch("JournalRestoreSQLMemTable");
    scratch.TableName = journalName;
    scratch.FieldDefs = tests.FieldDefs;
    scratch.IndexDefs = tests.IndexDefs;
    for (int i = 0; i < tests.fieldCount(); ++i) {
        const sqlmem::TField& f = tests.field(i);
        scratch.addField(f.FieldName, f.dataType(), f.size());
    }
    // Opening on the journal's index proves the image has it: the journal
    // window opens the table in that order.
    scratch.setIndexFieldNames(tests.indexFieldNames());
    int surveys = 0;
    try {
        scratch.loadFromFile(image);
        checkShape(journalName, tests.FieldDefs, source);
        // Opening binds the journal's fields; reading every value of every
        // survey proves the records as the journal window will read them.
        scratch.open();
        for (scratch.first(); !scratch.eof(); scratch.next()) {
            for (int i = 0; i < scratch.fieldCount(); ++i)
                (void)scratch.field(i).asString();
            ++surveys;
        }
        scratch.close();
        scratch.deleteTable(true);
    } catch (...) {
        try {
            scratch.close();
            if (scratch.exists()) scratch.deleteTable(true);
        } catch (const std::exception& e) {
            ShowException(e);
        }
        throw;
    }
    return surveys;
}

}  // namespace

void TEST_SetJournalReplace(TJournalReplace replace) {
    replaceHook() = std::move(replace);
}

void BackupJournal(TMainDM& dm, const std::string& file) {
    CheckReplaceable(file);
    // The save renames its new file over the name it is given: through a
    // link, that would put a plain file in the link's place and leave the
    // file it leads to (on another disk, say) as it was.
    std::string target = file;
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        const fs::path resolved = fs::canonical(file, ec);
        if (!ec) target = resolved.string();
    }
    sqlmem::TSQLMemTable& tests = dm.TestsSQLMemTable;
    tests.close();
    Reopen reopen{tests};
    tests.saveToFile(target, 1, 0x100000, 0);
}

TJournalRestore::TJournalRestore(TMainDM& dm, const std::string& source) : m_dm(dm) {
    // Opening a pipe would wait for a writer that never comes.
    std::error_code ec;
    const fs::file_status status = fs::status(source, ec);
    if (!ec && fs::exists(status) && !fs::is_regular_file(status))
        throw std::runtime_error(failure("Файл не является журналом опросов", source, 0));
    // Bytes that do not begin as an image are the engine's to refuse, from
    // the file itself: copying them aside first could mean a gigabyte.
    if (std::ifstream head(source, std::ios::binary); head) {
        char signature[4] = {};
        head.read(signature, sizeof signature);
        if (std::string(signature, static_cast<std::size_t>(head.gcount())) != "ACS1")
            (void)loadIntoScratch(dm.TestsSQLMemTable, source, source);
    }
    const std::optional<std::string> bytes = ReadWholeFile(source, kMaxJournalFile);
    if (!bytes) throw std::runtime_error(failure("Нет файла", source, ENOENT));
    // The image names the table it fills: any other name would take the
    // place of another table of the program, or of none the journal reads.
    std::string imageName;
    if (imageTableName(*bytes, imageName) &&
        !sameTableName(imageName, dm.TestsSQLMemTable.TableName))
        throw std::runtime_error(failure("Файл не является журналом опросов", source, 0) +
                                 text1251(": в нём таблица ") + "\"" + imageName + "\"");

    // The checked bytes are the ones put in place, whatever becomes of the
    // chosen file meanwhile.
    const std::string journal = TMainDM::GetTestsFileName();
    const std::string prefix = fs::path(journal).filename().string() + kStagedSuffix;
    // A name of the operator's own that happens to look like a staged copy
    // is the very file being restored; it stays.
    removeStaleStaged(GetAppDataFolder(), prefix, source);
    std::string staged = journal + kStagedSuffix + "XXXXXX";
    const int fd = ::mkstemp(staged.data());
    if (fd < 0) throw std::runtime_error(failure("Не удалось записать файл", journal, errno));
    ::close(fd);
    m_staged = staged;
    try {
        WriteFileAtomically(m_staged, *bytes);
        m_surveys = loadIntoScratch(dm.TestsSQLMemTable, m_staged, source);
    } catch (...) {
        std::error_code ec;
        fs::remove(m_staged, ec);
        throw;
    }
}

TJournalRestore::~TJournalRestore() {
    if (m_committed || m_staged.empty()) return;
    std::error_code ec;
    fs::remove(m_staged, ec);
}

std::string TJournalRestore::commit() {
    const std::string journal = TMainDM::GetTestsFileName();
    std::error_code ec;
    std::string aside;
    if (fs::exists(journal, ec)) aside = keepAside(journal);
    const int result = replaceHook() ? replaceHook()(m_staged, journal)
                                     : std::rename(m_staged.c_str(), journal.c_str());
    if (result != 0) {
        const int err = errno;
        // The journal is still in place: its copy would only be a double.
        if (!aside.empty()) fs::remove(aside, ec);
        throw std::runtime_error(
            failure("Журнал не восстановлен: не удалось заменить файл", journal, err));
    }
    m_committed = true;
    syncFolder(journal);
    m_dm.OpenTestsTable();
    return aside;
}

}  // namespace orvalen
