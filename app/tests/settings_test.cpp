// The settings file: reading and changing its text, the file itself on the
// disk, and the window-bounds text.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>

#include "IniFile.h"
#include "uUtils.h"

using namespace orvalen;
namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { fs::remove(GetIniFileName()); }
    void TearDown() override { fs::remove(GetIniFileName()); }
};

}  // namespace

TEST(IniDocument, ReadsAsTheSettingsFileIsWritten) {
    struct Case {
        const char* why;
        const char* text;
        const char* section;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"section and key ignore case", "[tmainform]\nBOUNDS=1,2,3,4\n", "TMainForm", "Bounds",
         "1,2,3,4"},
        {"blanks around key and value go", "[A]\n  k  =  v w  \n", "A", "k", "v w"},
        {"one pair of enclosing quotes goes", "[A]\nk=\" v \"\n", "A", "k", " v "},
        {"a quote inside stays", "[A]\nk=a\"b\n", "A", "k", "a\"b"},
        {"the first '=' splits", "[A]\nk=a=b\n", "A", "k", "a=b"},
        {"the first section of a name counts", "[A]\nx=1\n[B]\nk=2\n[A]\nk=3\n", "A", "k",
         std::nullopt},
        {"the first key of a name counts", "[A]\nk=1\nK=2\n", "A", "k", "1"},
        {"comments are not keys", "[A]\n;k=1\n#k=2\n", "A", "k", std::nullopt},
        {"keys before any section belong to none", "k=1\n[A]\n", "A", "k", std::nullopt},
        {"CR LF and lone CR end lines", "[A]\r\nx=1\rk=2\r\n", "A", "k", "2"},
        {"a byte-order mark is not part of the header", "\xEF\xBB\xBF[A]\nk=1", "A", "k", "1"},
        {"a header without ']' takes the line", "[A\nk=1\n", "A", "k", "1"},
        {"an empty value is a value", "[A]\nk=\n", "A", "k", ""},
        {"a missing section", "[B]\nk=1\n", "A", "k", std::nullopt},
        {"an empty file", "", "A", "k", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TIniDocument(c.text).value(c.section, c.key), c.value) << c.why;
}

TEST(IniDocument, ChangingAValueKeepsEveryOtherByteOfTheFile) {
    const std::string foreign =
        "; written by hand\r\n"
        "[Printer]\r\n"
        "Name = Office ; not a comment\r\n"
        "\r\n"
        "[TMainForm]\r\n"
        "Bounds = 1,2,3,4\r\n"
        "Other=x\r\n"
        "\r\n"
        "[Zeta]\r\n"
        "z=1";
    struct Case {
        const char* why;
        const char* section;
        const char* key;
        const char* value;
        std::string expected;
    } cases[] = {
        {"an existing key keeps its spelling and spacing", "tmainform", "bounds", "5,6,7,8",
         "; written by hand\r\n[Printer]\r\nName = Office ; not a comment\r\n\r\n"
         "[TMainForm]\r\nBounds = 5,6,7,8\r\nOther=x\r\n\r\n[Zeta]\r\nz=1"},
        {"a new key goes after the section's last line, before its blank line", "TMainForm", "New",
         "v",
         "; written by hand\r\n[Printer]\r\nName = Office ; not a comment\r\n\r\n"
         "[TMainForm]\r\nBounds = 1,2,3,4\r\nOther=x\r\nNew=v\r\n\r\n[Zeta]\r\nz=1"},
        {"a new key in a last line without a break", "Zeta", "y", "2",
         "; written by hand\r\n[Printer]\r\nName = Office ; not a comment\r\n\r\n"
         "[TMainForm]\r\nBounds = 1,2,3,4\r\nOther=x\r\n\r\n[Zeta]\r\nz=1\r\ny=2"},
        {"a new section at the end, with the file's line breaks", "Common", "ContactInfo", "Иванов",
         "; written by hand\r\n[Printer]\r\nName = Office ; not a comment\r\n\r\n"
         "[TMainForm]\r\nBounds = 1,2,3,4\r\nOther=x\r\n\r\n[Zeta]\r\nz=1\r\n"
         "[Common]\r\nContactInfo=Иванов\r\n"},
    };
    for (const Case& c : cases) {
        TIniDocument doc(foreign);
        doc.setValue(c.section, c.key, c.value);
        EXPECT_EQ(doc.text(), c.expected) << c.why;
    }
}

TEST(IniDocument, AnyValueReadsBackAsWritten) {
    struct Case {
        const char* why;
        std::string value;
        std::string stored;  // the line as written
        std::string read;
    } cases[] = {
        {"plain", "Иванов, тел. 123", "k=Иванов, тел. 123", "Иванов, тел. 123"},
        {"blanks at the ends are quoted", "  a ", "k=\"  a \"", "  a "},
        {"enclosing quotes are quoted", "\"a\"", "k=\"\"a\"\"", "\"a\""},
        {"a lone quote is not", "\"", "k=\"", "\""},
        {"a line break becomes a blank", "a\r\nb\nc", "k=a  b c", "a  b c"},
    };
    for (const Case& c : cases) {
        TIniDocument doc;
        doc.setValue("S", "k", c.value);
        EXPECT_EQ(doc.text(), "[S]\nk=" + c.stored.substr(2) + "\n") << c.why;
        EXPECT_EQ(doc.value("S", "k"), c.read) << c.why;
    }
}

TEST_F(SettingsFile, LivesInTheDataFolderNamedAfterTheExecutable) {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    ASSERT_NE(xdg, nullptr);
    EXPECT_EQ(GetIniFileName(), std::string(xdg) + "/orvalen/orvalen_app_tests.ini");
}

TEST_F(SettingsFile, MissingFileSectionOrKeyReadsEmpty) {
    EXPECT_EQ(ReadIniString("TMainForm", "Bounds"), "");
    writeFile(GetIniFileName(), "[Common]\nContactInfo=x\n");
    EXPECT_EQ(ReadIniString("TMainForm", "Bounds"), "");
    EXPECT_EQ(ReadIniString("Common", "Other"), "");
    EXPECT_EQ(ReadIniString("Common", "ContactInfo"), "x");
}

TEST_F(SettingsFile, WritingKeepsForeignSectionsAndCreatesWhatIsMissing) {
    WriteIniString("TMainForm", "Bounds", "1,2,3,4");
    EXPECT_EQ(readFile(GetIniFileName()), "[TMainForm]\nBounds=1,2,3,4\n");

    const std::string foreign =
        "[Other program]\r\n; keep me\r\nA=1\r\n\r\n[TMainForm]\r\n"
        "Bounds=1,2,3,4\r\n";
    writeFile(GetIniFileName(), foreign);
    WriteIniString("TMainForm", "Bounds", "10,20,30,40");
    WriteIniString("Common", "ContactInfo", "Иванов");
    EXPECT_EQ(readFile(GetIniFileName()),
              "[Other program]\r\n; keep me\r\nA=1\r\n\r\n[TMainForm]\r\nBounds=10,20,30,40\r\n"
              "[Common]\r\nContactInfo=Иванов\r\n");
    EXPECT_EQ(ReadIniString("Other program", "A"), "1");
}

TEST_F(SettingsFile, ALongValueIsCutToTheReadBuffer) {
    std::string value;
    for (int i = 0; i < 16384; ++i)
        value += "ж";  // two bytes each: the cut counts characters
    WriteIniString("Common", "ContactInfo", value);
    const std::string read = ReadIniString("Common", "ContactInfo");
    EXPECT_EQ(read, value.substr(0, 2 * 16383));
}

// A file saved in the Windows code page: the Cyrillic is the operator's
// text, and writing the file back at the end of the run must keep it.
TEST_F(SettingsFile, AValueInTheWindowsCodePageIsReadAsCyrillic) {
    writeFile(GetIniFileName(),
              "[Common]\nContactInfo=\xC8\xE2\xE0\xED\xEE\xE2, \xF2\xE5\xEB. 1\n"
              "[Other]\nAscii=plain\n");
    const std::string read = ReadIniString("Common", "ContactInfo");
    EXPECT_EQ(read, "Иванов, тел. 1");
    EXPECT_EQ(ReadIniString("Other", "Ascii"), "plain");
    WriteIniString("Common", "ContactInfo", read);
    EXPECT_EQ(ReadIniString("Common", "ContactInfo"), "Иванов, тел. 1");
    // UTF-8 stays UTF-8, though its bytes would be 1251 text too.
    WriteIniString("Common", "ContactInfo", "Ёлкин");
    EXPECT_EQ(ReadIniString("Common", "ContactInfo"), "Ёлкин");
}

// An operator who keeps the file elsewhere and links it in keeps the link.
TEST_F(SettingsFile, ALinkedFileIsWrittenThroughTheLink) {
    const fs::path real = fs::path(GetIniFileName()).parent_path() / "kept-elsewhere.ini";
    writeFile(real.string(), "[Common]\nContactInfo=old\n");
    fs::create_symlink(real, GetIniFileName());
    WriteIniString("Common", "ContactInfo", "new");
    EXPECT_TRUE(fs::is_symlink(GetIniFileName())) << "the link was replaced by a file";
    EXPECT_EQ(readFile(real.string()), "[Common]\nContactInfo=new\n");
    fs::remove(real);
}

// The file size limit makes the write fail part-way, as a full disk would.
TEST_F(SettingsFile, AFailedWriteLeavesTheOldFileAndNoPieces) {
    const std::string old = "[Common]\nContactInfo=old\n";
    writeFile(GetIniFileName(), old);
    const fs::path folder = fs::path(GetIniFileName()).parent_path();
    const auto listing = [&] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.insert(e.path().filename().string());
        return names;
    };
    const std::set<std::string> before = listing();

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool failed = false;
    try {
        WriteIniString("Common", "ContactInfo", std::string(10000, 'x'));
    } catch (const std::runtime_error&) {
        failed = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_TRUE(failed) << "the write did not report its failure";
    EXPECT_EQ(readFile(GetIniFileName()), old);
    EXPECT_EQ(listing(), before) << "a piece of the write was left behind";
}

TEST_F(SettingsFile, AFileThatCannotBeReadWholeIsNotReplaced) {
    // A folder in the file's place: reading it fails, and so must the write.
    fs::create_directory(GetIniFileName());
    EXPECT_EQ(ReadIniString("Common", "ContactInfo"), "");
    EXPECT_THROW(WriteIniString("Common", "ContactInfo", "x"), std::runtime_error);
    EXPECT_TRUE(fs::is_directory(GetIniFileName()));
    fs::remove(GetIniFileName());
}

TEST(Bounds, TextHoldsLeftTopRightBottom) {
    EXPECT_EQ(RectToString({244, 137, 914, 377}), "244,137,914,377");
    EXPECT_EQ(RectToString({-8, -8, 100, 50}), "-8,-8,100,50");
    EXPECT_EQ(StringToRect("244,137,914,377"), (TRect{244, 137, 914, 377}));
    EXPECT_EQ(StringToRect(" -8,+8,100,50,ignored"), (TRect{-8, 8, 100, 50}));
}

TEST(Bounds, TextThatIsNotFourIntegersRaisesTheFrameworksErrors) {
    struct Case {
        const char* text;
        const char* message;
        bool listIndex;
    } cases[] = {
        {"", "List index out of bounds (0)", true},
        {"1,2,3", "List index out of bounds (3)", true},
        {"1,2,,4", "'' is not a valid integer value", false},
        {"1,x,3,4", "'x' is not a valid integer value", false},
        {"1,2,3,4 ", "'4 ' is not a valid integer value", false},
        {"1,2,3,99999999999", "'99999999999' is not a valid integer value", false},
        {"1;2;3;4", "'1;2;3;4' is not a valid integer value", false},
    };
    for (const Case& c : cases) {
        try {
            StringToRect(c.text);
            ADD_FAILURE() << c.text << " was read";
        } catch (const std::out_of_range& e) {
            EXPECT_TRUE(c.listIndex) << c.text;
            EXPECT_STREQ(e.what(), c.message);
        } catch (const std::invalid_argument& e) {
            EXPECT_FALSE(c.listIndex) << c.text;
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}
