// Date format texts (TODATE, TOSTRING) and the byte-string encodings (TOBLOB, HEX).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/exception.h"
#include "values/date_formater.h"
#include "values/date_time.h"
#include "values/string_format.h"

namespace sqlmem {
namespace {

using namespace sqlmem::testing;

// Tests are written in UTF-8; the engine works in 1251.
std::string w(const char* utf8) {
    std::string out;
    EXPECT_TRUE(cp1251::fromUtf8(utf8, out)) << utf8;
    return out;
}

double at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    std::int32_t n = 0;
    EXPECT_TRUE(dateFromParts(y, mo, d, n));
    const double date = dateNumberToDateTime(n);
    const double time = (((h * 60 + mi) * 60 + s) * 1000 + ms) / double(kMsPerDay);
    return date < 0 ? date - time : date + time;
}

double timeOnly(int h, int mi, int s = 0, int ms = 0) {
    return (((h * 60 + mi) * 60 + s) * 1000 + ms) / double(kMsPerDay);
}

// ---------------------------------------------------------------- tokens

struct TokenCase {
    const char* name;
    const char* format;
    std::vector<TDateFormatToken> tokens;
};

TEST(DateFormaterTokens, LongestNameQuotesAndLiterals) {
    const std::vector<TokenCase> cases = {
        {"plain date",
         "DD.MM.YYYY",
         {{dfDD, "DD"}, {dfLiteral, "."}, {dfMM, "MM"}, {dfLiteral, "."}, {dfYYYY, "YYYY"}}},
        {"any case, text kept as written",
         "dd.Mm.yyYY",
         {{dfDD, "dd"}, {dfLiteral, "."}, {dfMM, "Mm"}, {dfLiteral, "."}, {dfYYYY, "yyYY"}}},
        {"five letters beat three", "MONTH", {{dfMONTH, "MONTH"}}},
        {"what is left starts a new token", "MONTHS", {{dfMONTH, "MONTH"}, {dfS, "S"}}},
        {"four digits of a name", "HH24:NN", {{dfHH24, "HH24"}, {dfLiteral, ":"}, {dfNN, "NN"}}},
        {"no five-letter DDDDD", "DDDD", {{dfDDD, "DDD"}, {dfD, "D"}}},
        {"YEAR is not YY + EAR", "YEAR", {{dfYEAR, "YEAR"}}},
        {"AMPM whole", "h12 ampm", {{dfH12, "h12"}, {dfLiteral, " "}, {dfAMPM, "ampm"}}},
        {"quotes make names literal",
         "'YYYY'YY \"Q\"",
         {{dfLiteral, "YYYY"}, {dfYY, "YY"}, {dfLiteral, " Q"}}},
        {"an unterminated quote runs to the end", "D 'of MM", {{dfD, "D"}, {dfLiteral, " of MM"}}},
        {"letters that start no name", "abc", {{dfLiteral, "abc"}}},
        {"empty quotes add nothing", "D''D", {{dfD, "D"}, {dfD, "D"}}},
        {"empty format", "", {}},
    };
    for (const TokenCase& c : cases)
        EXPECT_EQ(TDateFormater(c.format).tokens(), c.tokens) << c.name;
}

// ---------------------------------------------------------------- formatting

struct FormatCase {
    const char* format;
    double dateTime;
    const char* expected;  // UTF-8
};

TEST(DateFormaterFormat, EveryTokenKind) {
    // Monday 30.06.2008 15:04:05.007, the 182nd day of a leap year.
    const double afternoon = at(2008, 6, 30, 15, 4, 5, 7);
    // Sunday 04.01.2009 00:07:03.045.
    const double midnight = at(2009, 1, 4, 0, 7, 3, 45);
    const double lastOfLeapYear = at(2008, 12, 31, 23, 59, 59, 999);
    const double noon = at(2008, 9, 1, 12, 30);
    const std::vector<FormatCase> cases = {
        {"YYYY", afternoon, "2008"},
        {"YEAR", afternoon, "2008"},
        {"YY", midnight, "09"},
        {"Q", afternoon, "2"},
        {"Q", midnight, "1"},
        {"Q", lastOfLeapYear, "4"},
        {"MONTH", afternoon, "Июнь"},
        {"MON", afternoon, "июн"},
        {"MONTH", noon, "Сентябрь"},
        {"MM", midnight, "01"},
        {"M", midnight, "1"},
        {"RM", afternoon, "VI"},
        {"RM", lastOfLeapYear, "XII"},
        {"RM", midnight, "I"},
        {"DDD", afternoon, "182"},
        {"DDD", midnight, "004"},
        {"DDD", lastOfLeapYear, "366"},
        {"DD", midnight, "04"},
        {"D", midnight, "4"},
        {"DAY", afternoon, "понедельник"},
        {"DY", afternoon, "Пн"},
        {"DAY", midnight, "воскресенье"},
        {"DY", midnight, "Вс"},
        {"DW", afternoon, "1"},
        {"DW", midnight, "7"},
        {"HH12", afternoon, "03"},
        {"HH", afternoon, "03"},
        {"H12", afternoon, "3"},
        {"H", afternoon, "3"},
        {"HH12", midnight, "00"},
        {"HH12", noon, "00"},
        {"HH24", midnight, "00"},
        {"H24", midnight, "0"},
        {"HH24", afternoon, "15"},
        {"H24", afternoon, "15"},
        {"NN", afternoon, "04"},
        {"N", afternoon, "4"},
        {"SS", afternoon, "05"},
        {"S", afternoon, "5"},
        {"ZZZ", afternoon, "007"},
        {"Z", midnight, "45"},
        {"AMPM", midnight, "AM"},
        {"AMPM", noon, "PM"},
        {"AMPM", lastOfLeapYear, "PM"},
        {"'Дата:' DD.MM.YYYY г.", afternoon, "Дата: 30.06.2008 г."},
        {"DAY, D MONTH YYYY, H24:NN", afternoon, "понедельник, 30 Июнь 2008, 15:04"},
        // Before day 0 the fraction still counts forward from midnight.
        {"DD.MM.YYYY HH24:NN", -1.25, "29.12.1899 06:00"},
        {"DD.MM.YYYY HH24:NN", 0, "30.12.1899 00:00"},
    };
    for (const FormatCase& c : cases)
        EXPECT_EQ(TDateFormater(w(c.format)).format(c.dateTime), w(c.expected))
            << c.format << " of " << c.dateTime;
}

TEST(DateFormaterFormat, MaxLengthBoundsEveryText) {
    EXPECT_EQ(TDateFormater("DD.MM.YYYY").maxLength(), 10u);
    EXPECT_EQ(TDateFormater("MONTH").maxLength(), w("Сентябрь").size());
    EXPECT_EQ(TDateFormater("DAY").maxLength(), w("воскресенье").size());
    EXPECT_EQ(TDateFormater("RM").maxLength(), 4u);

    // Every token kind, over every day of a leap year at varying times.
    const TDateFormater all(
        "YYYY YY YEAR Q MONTH MON MM M RM DDD DD DAY DY DW D HH12 HH24 HH H12 H24 H NN N SS S "
        "ZZZ Z AMPM 'lit'");
    std::size_t longest = 0;
    for (int day = 0; day < 366; ++day) {
        const double x = at(2008, 1, 1) + day + (day % 24) / 24.0 + 0.0416 * (day % 7) / 7;
        const std::size_t n = all.format(x).size();
        ASSERT_LE(n, all.maxLength()) << all.format(x);
        longest = std::max(longest, n);
    }
    EXPECT_GT(longest + 10, all.maxLength());  // the bound is not slack
}

// ---------------------------------------------------------------- parsing

struct ParseCase {
    const char* name;
    const char* format;
    const char* text;
    double expected;
};

TEST(DateFormaterParse, ReadsTextByFormat) {
    const std::vector<ParseCase> cases = {
        {"plain date", "DD.MM.YYYY", "30.06.2008", at(2008, 6, 30)},
        {"YEAR as YYYY, ISO order", "YEAR-MM-DD HH24:NN", "2008-06-30 15:04",
         at(2008, 6, 30, 15, 4)},
        {"short fields", "D.M.YYYY H:N:S", "5.1.2009 7:3:9", at(2009, 1, 5, 7, 3, 9)},
        {"YY below 30 is 20xx", "D.M.YY", "5.1.29", at(2029, 1, 5)},
        {"YY 30 is 19xx", "D.M.YY", "5.1.30", at(1930, 1, 5)},
        {"YY 00", "DD.MM.YY", "01.02.00", at(2000, 2, 1)},
        {"Roman month", "DD.RM.YYYY", "30.VI.2008", at(2008, 6, 30)},
        {"Roman month, four letters, any case", "DD rm YYYY", "01 viii 2008", at(2008, 8, 1)},
        {"Roman XII", "RM/D/YYYY", "XII/31/2008", at(2008, 12, 31)},
        {"milliseconds", "HH24:NN:SS.ZZZ", "15:04:05.007", timeOnly(15, 4, 5, 7)},
        {"PM adds 12", "HH12:NN AMPM", "03:04 PM", timeOnly(15, 4)},
        {"AM adds nothing", "HH12:NN AMPM", "11:30 AM", timeOnly(11, 30)},
        {"00 PM is noon", "HH12:NN AMPM", "00:15 PM", timeOnly(12, 15)},
        {"12 PM is noon too", "HH12:NN AMPM", "12:15 PM", timeOnly(12, 15)},
        {"pm in any case, before the hour", "AMPM H", "pm 3", timeOnly(15, 0)},
        {"no year: date part is 30.12.1899", "DD.MM HH24:NN", "30.06 10:00", timeOnly(10, 0)},
        {"no day: date part is 30.12.1899", "MM.YYYY", "06.2008", 0},
        {"quarter gives its first month", "DD Q YYYY", "15 3 2008", at(2008, 7, 15)},
        {"a month field beats the quarter", "Q MM DD YYYY", "1 06 30 2008", at(2008, 6, 30)},
        // Names and other tokens skip their own length; they are not read.
        {"DAY skips three characters", "DAY, DD.MM.YYYY", "Mon, 30.06.2008", at(2008, 6, 30)},
        {"MONTH skips five", "DD MONTH YYYY MM", "30 June. 2008 06", at(2008, 6, 30)},
        {"so a name alone gives no month", "DD MON YYYY", "30 Jun 2008", 0},
        {"literals skip, unchecked", "DD/MM/YYYY", "30.06.2008", at(2008, 6, 30)},
        {"text after the last token is ignored", "DD.MM.YYYY", "30.06.2008 10:00", at(2008, 6, 30)},
        {"before day 0", "DD.MM.YYYY HH24:NN", "29.12.1899 06:00", -1.25},
        {"empty format", "", "anything", 0},
    };
    for (const ParseCase& c : cases) {
        double got = -1e9;
        EXPECT_NO_THROW(got = TDateFormater(c.format).parse(c.text)) << c.name;
        EXPECT_NEAR(got, c.expected, 1e-9) << c.name;
    }
}

struct ParseErrorCase {
    const char* name;
    const char* format;
    const char* text;
    int code;
    const char* inMessage;
};

TEST(DateFormaterParse, RefusesWhatItCannotRead) {
    const std::vector<ParseErrorCase> cases = {
        {"not AM or PM", "HH:NN AMPM", "03:04 XM", 30129, "AM/PM word expected, but 'XM' found"},
        {"AMPM at the end of the text", "HH:NN AMPM", "03:04", 30129, "but '' found"},
        {"letter for a day digit", "DD.MM.YYYY", "x0.06.2008", 30139, "at offset 0"},
        {"year needs four digits", "DD.MM.YYYY", "30.06.08", 30139, "at offset 6"},
        {"year with a blank", "YYYY", "200 ", 30139, "offset 0"},
        {"text ends before a field", "DD.MM.YYYY", "30.06", 30139, "offset 5"},
        {"not a Roman month", "RM", "IIII", 30139, "offset 0"},
        {"Roman letters that are no month", "RM", "VX", 30139, "offset 0"},
        {"day the month lacks", "DD.MM.YYYY", "29.02.2009", 30140, "'29.02.2009'"},
        {"month 13", "DD.MM.YYYY", "30.13.2008", 30140, "not a valid date-time"},
        {"month 0 without a day", "MM.YYYY", "00.2008", 30140, "not a valid"},
        {"year 0", "YYYY.MM.DD", "0000.01.01", 30140, "not a valid"},
        {"hour 24", "HH24:NN", "24:00", 30140, "not a valid"},
        {"minute 60", "HH24:NN", "23:60", 30140, "not a valid"},
        {"13 PM", "HH:NN AMPM", "13:00 PM", 30140, "not a valid"},
        {"13 AM", "HH:NN AMPM", "13:00 AM", 30140, "not a valid"},
        {"quarter 5", "DD Q YYYY", "01 5 2008", 30140, "not a valid"},
    };
    for (const ParseErrorCase& c : cases) {
        std::string message;
        EXPECT_EQ(codeOf([&] { TDateFormater(c.format).parse(c.text); }, &message), c.code)
            << c.name;
        EXPECT_NE(message.find(c.inMessage), std::string::npos) << c.name << ": " << message;
    }
}

TEST(DateFormaterParse, UnknownTokenKindIsRefusedEverywhere) {
    const TDateFormater bad({{dfDD, "DD"}, {dfLiteral + 1, "?"}});
    std::string message;
    EXPECT_EQ(codeOf([&] { bad.format(0); }, &message), kErrUnknownDateFormatType);
    EXPECT_NE(message.find("Unknown DateFormatType"), std::string::npos);
    EXPECT_EQ(codeOf([&] { bad.parse("01?"); }), kErrUnknownDateFormatType);
    EXPECT_EQ(codeOf([&] { bad.maxLength(); }), kErrUnknownDateFormatType);
}

TEST(DateFormaterParse, FormatsThatReadEveryFieldRoundTrip) {
    // Short names are as long as their tokens (MON three letters, DY two), so
    // they survive being skipped; the 12-hour clock needs AMPM.
    const char* const formats[] = {
        "DD.MM.YYYY HH24:NN:SS.ZZZ", "YEAR-RM-D H12:N:S.Z AMPM",
        "DY, DD.MM (MON) YYYY HH:NN:SS AMPM 'ms' ZZZ",
        "DDD Q YYYY MM DD HH24 NN SS ZZZ DW",  // DW writes one digit, skips two
    };
    for (const char* f : formats) {
        const TDateFormater fmt(f);
        // Steps of 37 h 11 min 7.3 s cover every hour, AM and PM, noon and midnight.
        for (double x = at(1890, 1, 1); x < at(2040, 1, 1); x += 1.5494 + 7.3 / 86400) {
            if (x > -1 && x < 0) continue;  // the same moments as 0..1, written that way
            const double rounded = std::round(x * kMsPerDay) / kMsPerDay;
            const std::string text = fmt.format(rounded);
            ASSERT_NEAR(fmt.parse(text), rounded, 0.5 / kMsPerDay) << f << ": " << text;
        }
    }
}

// ---------------------------------------------------------------- string formats

const TStringFormat& fmt(int number) {
    return TStringFormat::byNumber(number);
}

TEST(FormatsStringRegistry, NumbersAndNames) {
    const char* const names[sfCount] = {"Hexadecimal", "Hexadecimal lowercase", "MIME Base 64",
                                        "UU Coding", "XX Coding"};
    for (int n = 0; n < sfCount; ++n) {
        EXPECT_EQ(fmt(n).number(), n);
        EXPECT_STREQ(fmt(n).name(), names[n]);
        EXPECT_EQ(TStringFormat::byName(names[n]), &fmt(n));
    }
    EXPECT_EQ(TStringFormat::byName("Base64"), nullptr);
    EXPECT_EQ(TStringFormat::byName("hexadecimal"), nullptr);

    for (int bad : {-1, int(sfCount), 1000}) {
        std::string message;
        EXPECT_EQ(codeOf([&] { fmt(bad); }, &message), kErrStringFormatUnknown);
        EXPECT_NE(message.find("String Format \"" + std::to_string(bad) + "\" not exists."),
                  std::string::npos)
            << message;
    }
}

struct EncodingCase {
    int format;
    std::string bytes;
    std::string text;
};

TEST(FormatsStringEncode, PublishedForms) {
    using namespace std::string_literals;
    const std::vector<EncodingCase> cases = {
        {sfHEX, "\x00\x7f\xff\x1a"s, "007FFF1A"},
        {sfHEXL, "\x00\x7f\xff\x1a"s, "007fff1a"},
        {sfHEX, "", ""},
        // RFC 4648 section 10.
        {sfMIME64, "", ""},
        {sfMIME64, "f", "Zg=="},
        {sfMIME64, "fo", "Zm8="},
        {sfMIME64, "foo", "Zm9v"},
        {sfMIME64, "foob", "Zm9vYg=="},
        {sfMIME64, "fooba", "Zm9vYmE="},
        {sfMIME64, "foobar", "Zm9vYmFy"},
        {sfMIME64, "\xfb\xff"s, "+/8="},
        // Length character, then 6-bit groups: "Cat" is 43 61 74.
        {sfUU, "Cat", "#0V%T"},
        {sfUU, "\x00\x00\x00"s, "#````"},
        {sfUU, "", ""},
        {sfXX, "Cat", "1Eq3o"},
        {sfXX, "\x00\x00\x00"s, "1++++"},
        {sfUU, "a", "!80``"},
        {sfXX, "a", "-ME++"},
    };
    for (const EncodingCase& c : cases) {
        EXPECT_EQ(fmt(c.format).encode(c.bytes), c.text) << fmt(c.format).name();
        EXPECT_EQ(fmt(c.format).decode(c.text), c.bytes) << fmt(c.format).name() << " " << c.text;
    }
}

TEST(FormatsStringEncode, UuLinesHold45Bytes) {
    const std::string bytes(46, 'x');
    for (int f : {sfUU, sfXX}) {
        const std::string text = fmt(f).encode(bytes);
        const std::size_t lf = text.find('\n');
        ASSERT_NE(lf, std::string::npos);
        EXPECT_EQ(lf, 1u + 60u);  // length character + 15 groups of four
        EXPECT_EQ(text[0], f == sfUU ? 'M' : 'h');
        EXPECT_EQ(text.substr(lf + 1, 1), f == sfUU ? "!" : "-");
        EXPECT_EQ(text.size(), lf + 1 + 5);
        EXPECT_EQ(text.find('\n', lf + 1), std::string::npos);
    }
}

TEST(FormatsStringEncode, EveryFormatRoundTripsEveryLength) {
    std::string bytes;
    for (int i = 0; i < 300; ++i) {
        for (int f = 0; f < sfCount; ++f)
            ASSERT_EQ(fmt(f).decode(fmt(f).encode(bytes)), bytes)
                << fmt(f).name() << " length " << bytes.size();
        bytes += static_cast<char>(i * 151 + 7);  // every byte value by 256
    }
}

TEST(FormatsStringDecode, AcceptsWhatOtherWritersProduce) {
    using namespace std::string_literals;
    const std::vector<EncodingCase> cases = {
        {sfHEX, "\xab\xcd"s, "abCD"},           {sfHEXL, "\xab\xcd"s, "ABcd"},
        {sfMIME64, "foobar", "Zm9v\r\nYmFy\n"}, {sfUU, "\x00\x00\x00"s, "#    "},
        {sfUU, "Cat", "#0V%T\r\n`\r\n"},        {sfXX, "CatCat", "1Eq3o\n1Eq3o\n+\n"},
    };
    for (const EncodingCase& c : cases)
        EXPECT_EQ(fmt(c.format).decode(c.text), c.bytes) << fmt(c.format).name() << " " << c.text;
}

TEST(FormatsStringDecode, RefusesMalformedText) {
    const std::vector<std::pair<int, std::string>> cases = {
        {sfHEX, "ABC"},
        {sfHEX, "0G"},
        {sfHEXL, "0x12"},
        {sfHEX, "12 34"},
        {sfMIME64, "Zg="},       // not a whole group
        {sfMIME64, "Zh=="},      // bits under the padding set
        {sfMIME64, "Zm9="},      // likewise for one pad character
        {sfMIME64, "Z==="},      // three pad characters
        {sfMIME64, "Zg==Zg=="},  // padding before the end
        {sfMIME64, "=AAA"},
        {sfMIME64, "Zm9v!A=="},
        {sfMIME64, "Zm 9v"},
        {sfUU, "#0V%"},       // shorter than its length character says
        {sfUU, "#0V%TT"},     // longer
        {sfUU, "\n#0V%T"},    // empty line
        {sfUU, "`\n#0V%T"},   // data after the end line
        {sfUU, "#0V%~"},      // outside the UU characters
        {sfUU, "a"},          // length character out of range
        {sfUU, "#0V%T\n\n"},  // blank line at the end
        {sfXX, "1Eq3!"},
        {sfXX, "1Eq3"},
        {sfXX, "#0V%T"},  // UU text is not XX
    };
    for (const auto& [f, text] : cases) {
        std::string message;
        EXPECT_EQ(codeOf([&] { fmt(f).decode(text); }, &message), kErrStringFormatInput)
            << fmt(f).name() << " '" << text << "'";
        EXPECT_NE(message.find(std::string("Input is not an valid ") + fmt(f).name() + " Format."),
                  std::string::npos)
            << message;
    }
}

}  // namespace
}  // namespace sqlmem
