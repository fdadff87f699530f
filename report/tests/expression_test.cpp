// Report expressions: the evaluator, the bracket scan, name resolution,
// display formats and fields read from engine datasets.
#include <gtest/gtest.h>

#include <QDateTime>
#include <memory>

#include "base/bw_strings.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "expr/bw_expressions.h"
#include "expr/bw_format.h"
#include "expr/bw_value.h"
#include "objects/bw_memo_view.h"
#include "sqlmem/cp1251.h"
#include "sqlmem/query.h"
#include "sqlmem/sqlmem.h"

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace bwreport {
namespace {

// 11.12.2026 9:05:07
const double kBuildTime = encodeDate(2026, 12, 11) + (9 * 3600 + 5 * 60 + 7) / 86400.0;

std::string cp(const char* utf8) {
    std::string out;
    sqlmem::cp1251::fromUtf8(utf8, out);
    return out;
}

class ExpressionTest : public ::testing::Test {
protected:
    ExpressionTest() {
        globalVariables().clear();
        ctx.buildDateTime = kBuildTime;
    }
    ~ExpressionTest() override { globalVariables().clear(); }

    QString eval(const QString& e) { return valueText(ex.evaluate(e, ctx)); }
    QString expand(const QString& t) { return ex.expandText(t, ctx); }
    QString errorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const std::exception& e) {
            return QString::fromUtf8(e.what());
        }
        return QStringLiteral("<no error>");
    }
    TBwMemoView& addMemo(const QString& name) {
        if (report.pages().count() == 0) report.pages().add();
        auto memo = std::make_unique<TBwMemoView>();
        memo->Name = name;
        return static_cast<TBwMemoView&>(*report.pages()[0].add(std::move(memo), false));
    }

    TBwOwner owner;
    TBwReport report{&owner, QStringLiteral("QuestionsReport")};
    TBwExpressions& ex = report.expressions();
    TBwExpressionContext& ctx = report.expressionContext();
};

struct Case {
    const char* input;
    const char* want;
};

TEST_F(ExpressionTest, OperatorsAndTheirPrecedence) {
    const Case cases[] = {
        {"2 + 3 * 4", "14"},
        {"1 = 1 and 2 = 2", "0"},  // 1 = (1 and 2) = 2
        {"(1 = 1) and (2 = 2)", "1"},
        {"1 = 1 or 2 = 3", "0"},  // (1 = (1 or 2)) = 3
        {"2 - 3 - 4", "-5"},
        {"16 / 4 / 2", "2"},
        {"7 mod 3 + 1", "2"},
        {"-2 * 3", "-6"},
        {"- 2 + 5", "3"},
        {"not 0", "1"},
        {"NOT 3", "0"},
        {"not 1 = 0", "1"},  // (not 1) = 0
        {"5 or 2", "7"},
        {"3 and 4", "12"},
        {"10 / 0", "0"},
        {"7 mod 0", "0"},
        {"INT 2.9999999999999", "3"},
        {"INT(2.9999999999999)", "3"},
        {"INT -2.7", "-2"},
        {"FRAC(-1.5)", "-0,5"},
        {"FRAC 3.00000000000001", "0"},
        {"ROUND 2.5", "2"},
        {"ROUND 3.5", "4"},
        {"INT 7.9 + 1", "8"},  // INT binds tighter than +
        {"STR 5 + 'x'", "5x"},
        {"1,5 + .5", "2"},
        {"0.1 + 0.2", "0,3"},
        {"1 / 3", "0,333333333333333"},
        {"3 > 2", "1"},
        {"2 <> 2", "0"},
        {"2 <= 2", "1"},
        {"2 >= 3", "0"},
        {"'б' > 'а'", "1"},
        {"'ё' < 'ж'", "1"},
        {"'a' + 'b'", "ab"},
        {"'It''s'", "It's"},
        {"'№ ' + 5", "№ 5"},
        {"TRUE", "True"},
        {"false = 0", "1"},
        {"[1 + 2] * 2", "6"},
        {"1 + 2; 5", "3"},  // ";" ends the expression
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eval(QString::fromUtf8(c.input)), QString::fromUtf8(c.want)) << c.input;
}

TEST_F(ExpressionTest, Functions) {
    const Case cases[] = {
        {"COPY('Привет', 2, 3)", "рив"},
        {"COPY('abc', 0, 2)", "ab"},
        {"COPY('abc', 5, 2)", ""},
        {"COPY('abc', 2, 100000000000000000000)", "bc"},  // past any whole number type
        {"COPY('abc', 100000000000000000000, 1)", ""},
        {"IF(1 = 1, 'да', 'нет')", "да"},
        {"IF(0.5, 'да', 'нет')", "нет"},       // the whole part decides
        {"IF(0, Undefined + 1, 'ok')", "ok"},  // the other branch is never evaluated
        {"IF(TRUE, 1, 2)", "1"},
        {"STRTODATE('11.12.2026')", "11.12.2026"},
        {"STRTOTIME('9:05:07')", "9:05:07"},
        {"DAYOF(STRTODATE('11.12.2026'))", "11"},
        {"STRTODATE('11.12.2026') + 1", "12.12.2026"},
        {"1 + STRTODATE('11.12.2026')", "12.12.2026"},  // a date whichever side it is on
        {"MONTHOF(STRTODATE('11.12.2026'))", "12"},
        {"YEAROF(STRTODATE('11.12.2026'))", "2026"},
        {"LENGTH('абв')", "3"},
        {"UPPERCASE('ёж')", "ЁЖ"},
        {"LOWERCASE('ЁЖ')", "ёж"},
        {"UPPERCASE('µ-ў')", "µ-Ў"},  // the code page's own case: µ has no capital in it
        {"NAMECASE('µЖ')", "µж"},
        {"LENGTH(LOWERCASE('İ'))", "1"},
        {"NAMECASE('иВАНОВ')", "Иванов"},
        {"NAMECASE('')", ""},
        {"POS('ан', 'Иванов')", "3"},
        {"POS('x', 'Иванов')", "0"},
        {"POS('', 'Иванов')", "0"},  // nothing is found nowhere
        {"TRIM('  a b  ')", "a b"},
        {"MAXNUM(2, 5)", "5"},
        {"MINNUM(2, 5)", "2"},
        {"FORMATFLOAT('#,##0.00', 1234.5)", "1 234,50"},
        {"FORMATDATETIME('d mmmm yyyy', STRTODATE('01.05.2008'))", "1 мая 2008"},
        {"FORMATDATETIME('mmmm', STRTODATE('01.05.2008'))", "Май"},
        {"FORMATDATETIME('', STRTODATE('01.05.2008') + 0.5)", "01.05.2008 12:00:00"},
        {"FORMATTEXT('(000) 000-00', '12345')", "(123) 45 -  "},
        {"INPUT('Имя?', 'Пётр')", "Пётр"},
        {"MESSAGEBOX('a', 'b', mb_YesNo)", "1"},
        {"clRed", "255"},
        {"clBtnFace", "-16777201"},
        {"mrYes", "6"},
        {"fsBold", "2"},
        {"LENGTH(CRLF)", "2"},
        {"STR Null", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eval(QString::fromUtf8(c.input)), QString::fromUtf8(c.want)) << c.input;
}

TEST_F(ExpressionTest, ErrorsCarryTheirTexts) {
    const QString undefined = TBwLocale::loadStr(sUndefinedVariable);
    EXPECT_EQ(undefined, QString::fromUtf8("Переменная не определена:"));
    const struct {
        const char* input;
        QString want;
    } cases[] = {
        {"Foo", undefined + QStringLiteral(" \"FOO\"")},
        {"1 + Foo", undefined + QStringLiteral(" \"FOO\"")},
        {"[Foo]", undefined + QStringLiteral(" \"FOO\"")},
        {"Q.\"no such\"", undefined + QStringLiteral(" \"Q.\"NO SUCH\"\"")},
        {"COPY('a', 1", kUnbalancedParentheses + QStringLiteral(": COPY('a', 1")},
        {"COPY('a)', 1", kUnbalancedParentheses + QStringLiteral(": COPY('a)', 1")},
        {"1 +", kBadExpression + QStringLiteral(": 1 +")},
        {"(1 + 2", kBadExpression + QStringLiteral(": (1 + 2")},
        {"1 2", kBadExpression + QStringLiteral(": 1 2")},
        {"'open", kBadExpression + QStringLiteral(": 'open")},
        {"1.2.3", kBadExpression + QStringLiteral(": 1.2.3")},
        {"STRTODATE('32.01.2020')", kNotADate + QStringLiteral(": 32.01.2020")},
        {"'x' * 2", kNotANumber + QStringLiteral(": x")},
        {"MAXNUM(1, 2, 3, 4)", kTooManyArguments + QStringLiteral(": MAXNUM(1, 2, 3, 4)")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorOf([&] { ex.evaluate(QString::fromUtf8(c.input), ctx); }), c.want)
            << c.input;
}

TEST_F(ExpressionTest, NamesThatNameThemselvesEndInTheUndefinedError) {
    // A dictionary variable defined through itself, and two defined through
    // each other, must not recurse without end.
    report.dictionary().Variables.set(QStringLiteral("A"), QStringLiteral("A + 1"));
    report.dictionary().Variables.set(QStringLiteral("B"), QStringLiteral("C"));
    report.dictionary().Variables.set(QStringLiteral("C"), QStringLiteral("B"));
    const QString undefined = TBwLocale::loadStr(sUndefinedVariable);
    EXPECT_EQ(errorOf([&] { ex.evaluate(QStringLiteral("A"), ctx); }),
              undefined + QStringLiteral(" \"A\""));
    EXPECT_EQ(errorOf([&] { ex.evaluate(QStringLiteral("B"), ctx); }),
              undefined + QStringLiteral(" \"B\""));
    // Brackets nested past any sensible depth are refused, not followed.
    const QString deep = QString(500, u'[') + u'1' + QString(500, u']');
    EXPECT_TRUE(errorOf([&] { ex.expandText(deep, ctx); }).startsWith(kBadExpression));
}

TEST_F(ExpressionTest, BracketScan) {
    report.OnGetValue = [](const QString& name, QVariant& v) {
        if (name == u"X.\"a]b\"" || name == u"Y.\"[\"") v = QStringLiteral("ok");
    };
    ctx.pageIndex = 2;
    const Case cases[] = {
        {"Раздел [PAGE#]", "Раздел 3"},
        {"[PAGE#][PAGE#]", "33"},
        {"<[X.\"a]b\"]>", "<ok>"},           // "]" inside double quotes
        {"<[Y.\"[\"]>", "<ok>"},             // "[" inside double quotes
        {"<[COPY('a]b', 1, 3)]>", "<a]b>"},  // "]" inside single quotes
        {"<[LENGTH('\"]')]>", "<2>"},        // a double quote inside single quotes is text
        {"[[1 + 1] * 2]", "4"},              // brackets nest
        {"[abc", "[abc"},                    // never closed: left as it is
        {"a ] b", "a ] b"},
        {"['[PAGE#]']", "[PAGE#]"},  // a value is not scanned again
        {"[]", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expand(QString::fromUtf8(c.input)), QString::fromUtf8(c.want)) << c.input;
    ctx.pageIndex = 0;
    EXPECT_EQ(expand(QStringLiteral("[PAGE#]")), QStringLiteral("1"));
}

TEST_F(ExpressionTest, BuiltInVariables) {
    ctx.lineNo = 4;
    ctx.lineThrough = 9;
    ctx.column = 2;
    ctx.current = 17;
    ctx.totalPages = 0;
    ctx.curY = 100;
    ctx.pageBottom = 1000;
    ctx.pageRight = 700;
    ctx.finalPass = true;
    TBwMemoView& memo = addMemo(QStringLiteral("Memo1"));
    memo.Width = 321;
    ctx.view = &memo;
    const Case cases[] = {
        {"[DATE] [TIME]", "11.12.2026 9:05:07"},
        {"[LINE#]. [LINETHROUGH#] [COLUMN#] [CURRENT#]", "4. 9 2 17"},
        {"[TOTALPAGES]", "0"},
        {"[CURY] [FREESPACE] [PAGEHEIGHT] [PAGEWIDTH] [FINALPASS]", "100 900 1000 700 True"},
        {"[CALCWIDTH]", "321"},
        {"[Memo1.Width] [MEMO1.width]", "321 321"},
        {"[Page1.Columns]", "1"},
        {"[page#]", "1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expand(QString::fromUtf8(c.input)), QString::fromUtf8(c.want)) << c.input;
    ctx.totalPages = 12;
    EXPECT_EQ(expand(QStringLiteral("[PAGE#] из [TOTALPAGES]")), QString::fromUtf8("1 из 12"));
}

TEST_F(ExpressionTest, TheApplicationHandlerIsAskedFirst) {
    QStringList asked;
    report.OnGetValue = [&](const QString& name, QVariant& v) {
        asked << name;
        if (name == u"ContactInfo") v = QString::fromUtf8("тел. 123");
        if (name == u"TestTime") v = QDateTime(QDate(2026, 12, 11), QTime(9, 5, 7));
    };
    globalVariables().set(QStringLiteral("ContactInfo"), QStringLiteral("global"));
    globalVariables().set(QStringLiteral("Other"), QStringLiteral("global"));
    EXPECT_EQ(expand(QStringLiteral("[ContactInfo]")), QString::fromUtf8("тел. 123"));
    EXPECT_EQ(asked, QStringList{QStringLiteral("ContactInfo")});  // exactly as written
    EXPECT_EQ(expand(QStringLiteral("от [TestTime]")), QString::fromUtf8("от 11.12.2026 9:05:07"));

    // A handler that assigns nothing lets the rest be tried.
    asked.clear();
    EXPECT_EQ(expand(QStringLiteral("[Other] [PAGE#]")), QStringLiteral("global 1"));
    EXPECT_EQ(asked, (QStringList{QStringLiteral("Other"), QStringLiteral("PAGE#")}));
    // Names inside an expression are offered upper-cased, so a case-exact
    // handler does not see them.
    EXPECT_EQ(expand(QStringLiteral("[ContactInfo + '!']")), QStringLiteral("global!"));
}

TEST_F(ExpressionTest, DictionaryVariablesAreExpressionsGlobalsWin) {
    report.dictionary().Variables.set(QStringLiteral("Total"), QStringLiteral("2 + 3"));
    EXPECT_EQ(expand(QStringLiteral("[Total] [Total * 2]")), QStringLiteral("5 10"));
    globalVariables().set(QStringLiteral("TOTAL"), 7);
    EXPECT_EQ(expand(QStringLiteral("[Total]")), QStringLiteral("7"));
}

TEST_F(ExpressionTest, DisplayFormats) {
    const double date = encodeDate(2026, 12, 11);
    const double time = (9 * 3600 + 5 * 60 + 7) / 86400.0;
    const struct {
        std::int32_t format;
        const char* text;
        QVariant value;
        const char* want;
    } cases[] = {
        {packFormat(0, 0, 2, ','), "", 1234.5, "1234,5"},
        {packFormat(0, 0, 2, ','), "", dateTimeValue(date), "11.12.2026"},
        {packFormat(0, 0, 2, ','), "", true, "True"},
        {packFormat(1, 0, 1, ','), "", 1234.5, "1234,5"},
        {packFormat(1, 0, 0, ','), "", 1234.5, "1235"},  // halves away from zero
        {packFormat(1, 1, 2, ','), "", 1234.5, "1234,50"},
        {packFormat(1, 1, 2, '.'), "", 1234.5, "1234.50"},
        {packFormat(1, 1, 2, ','), "", -0.001, "0,00"},
        {packFormat(1, 2, 1, ','), "", 1234.5, "1 234,5"},
        {packFormat(1, 3, 2, ','), "", 1234567.5, "1 234 567,50"},
        {packFormat(1, 3, 2, ','), "", -1234.5, "-1 234,50"},
        {packFormat(1, 4, 0, ','), "000.000", 1.5, "001,500"},
        {packFormat(1, 4, 0, ','), "0.00;(0.00);'ноль'", -2.5, "(2,50)"},
        {packFormat(1, 4, 0, ','), "0.00;(0.00);'ноль'", 0, "ноль"},
        {packFormat(1, 4, 0, ','), "0.0E+00", 12345.0, "1,2E+04"},
        {packFormat(1, 4, 0, ','), "0.0E-0 0#", 12345.0,
         "1,2E4 0#"},  // after the exponent: literal
        {packFormat(1, 1, 2, ','), "", QStringLiteral("12,5"), "12,50"},  // a number in text
        {packFormat(1, 1, 2, ','), "", QStringLiteral("abc"), "abc"},     // cannot: plain text
        {packFormat(2, 0, 0, ','), "", dateTimeValue(date), "11.12.26"},
        {packFormat(2, 1, 0, ','), "", dateTimeValue(date), "11.12.2026"},
        {packFormat(2, 2, 0, ','), "", dateTimeValue(date), "11 дек 2026"},
        {packFormat(2, 3, 0, ','), "", dateTimeValue(date), "11 декабря 2026 г."},
        {packFormat(2, 4, 0, ','), "dddd, d mmmm yyyy", dateTimeValue(date),
         "пятница, 11 декабря 2026"},
        {packFormat(3, 0, 0, ','), "", dateTimeValue(time), "09:05:07"},
        {packFormat(3, 1, 0, ','), "", dateTimeValue(time), "9:05:07"},
        {packFormat(3, 2, 0, ','), "", dateTimeValue(time), "09:05"},
        {packFormat(3, 3, 0, ','), "", dateTimeValue(time), "9:05"},
        {packFormat(3, 4, 0, ','), "hh:mm", dateTimeValue(time), "09:05"},  // minutes after hours
        {packFormat(3, 4, 0, ','), "h:nn am/pm", dateTimeValue(0.75), "6:00 pm"},
        {packFormat(4, 0, 0, ','), "", true, "1"},
        {packFormat(4, 1, 0, ','), "", true, "Да"},
        {packFormat(4, 1, 0, ','), "", false, "Нет"},
        {packFormat(4, 1, 0, ','), "", qint64(5), "Да"},
        {packFormat(4, 2, 0, ','), "", false, "_"},
        {packFormat(4, 3, 0, ','), "", true, "True"},
        {packFormat(4, 4, 0, ','), "нет;есть", true, "есть"},
        {packFormat(1, 1, 2, ','), "", QVariant(), ""},
        {packFormat(1, 1, 2, ','), "", nullValue(), ""},
        {packFormat(1, 1, 2, ','), "", QStringLiteral("   "), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatValue(c.value, c.format, QString::fromUtf8(c.text)),
                  QString::fromUtf8(c.want))
            << std::hex << c.format << " " << c.text << " " << c.want;
    // More integer places before an exponent than a double can scale to.
    EXPECT_EQ(formatFloat(QString(320, u'0') + QStringLiteral("E+0"), 123),
              QStringLiteral("123") + QString(317, u'0') + QStringLiteral("E-317"));
    EXPECT_EQ(formatFloat(QStringLiteral("0.00E+0"), 4.9e-324), QStringLiteral("4,94E-324"));
}

TEST_F(ExpressionTest, FormatSuffixOverridesTheObjectsFormat) {
    TBwMemoView& memo = addMemo(QStringLiteral("Memo1"));
    memo.Format = packFormat(4, 1, 0, ',');  // boolean: would show "Да"
    ctx.view = &memo;
    const Case cases[] = {
        {"[1234.5 #N0,00]", "1234,50"},
        {"[1234.5 #n0.000]", "1234.500"},  // the separator written is the output's
        {"[1234.5 #2.0]", "1234.5"},       // a digit reads as "N2.0": fixed, one decimal, "."
        {"[1234.5 #N#,##0.0]", "1 234.5"},
        {"[1234.5 #N#,##0-0]", "1 234-5"},
        {"[1 = 1 #Bнет;да]", "да"},
        {"[STRTODATE('11.12.2026') #Ddd mmm yyyy]", "11 дек 2026"},
        {"[STRTOTIME('9:05:07') #Th.nn]", "9.05"},
        {"[STRTODATE('11.12.2026') #D]", "11.12.2026"},  // no pattern: date, and time if any
        {"[1]", "Да"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expand(QString::fromUtf8(c.input)), QString::fromUtf8(c.want)) << c.input;
}

TEST_F(ExpressionTest, HideZerosHidesZeroValuesButNotTexts) {
    TBwMemoView& memo = addMemo(QStringLiteral("Memo1"));
    memo.Format = packFormat(1, 1, 2, ',');
    ctx.view = &memo;
    EXPECT_EQ(expand(QStringLiteral("[0]|[5]")), QString::fromUtf8("0,00|5,00"));
    memo.Flags |= flHideZeros;
    const Case cases[] = {
        {"[0]|[5]", "|5,00"}, {"[1 - 1]", ""},
        {"[FALSE]", ""},      {"['0']", "0,00"},  // a text is never hidden
        {"[0 #N0.0]", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(expand(QString::fromUtf8(c.input)), QString::fromUtf8(c.want)) << c.input;
    // A Tag is expanded as plain text, whatever the object's format.
    EXPECT_EQ(ex.expandText(QStringLiteral("[0]|[1.5]"), ctx, false), QStringLiteral("0|1,5"));
}

TEST_F(ExpressionTest, AnObjectsErrorNamesTheObjectAndTheReport) {
    TBwMemoView& memo = addMemo(QStringLiteral("Memo4"));
    memo.Memo = QStringList{QStringLiteral("Строка"), QStringLiteral("[Nope]")};
    const QString error = errorOf([&] { ex.expandMemo(memo, memo.Memo, ctx); });
    EXPECT_EQ(error, QString::fromUtf8("Возникла ошибка при обработке выражения\rСтрока\r[Nope]\r\r"
                                       "Документ: QuestionsReport\rОбъект: Memo4\r"
                                       "Переменная не определена: \"NOPE\""));
}

TEST_F(ExpressionTest, MemoLinesSplitAtLineBreaksAndTextOnlyIsNotScanned) {
    TBwMemoView& memo = addMemo(QStringLiteral("Memo1"));
    globalVariables().set(QStringLiteral("Two"), QStringLiteral("a\r\nb"));
    const QStringList lines{QStringLiteral("[Two]!"), QString(), QStringLiteral("[PAGE#]")};
    EXPECT_EQ(
        ex.expandMemo(memo, lines, ctx),
        (QStringList{QStringLiteral("a"), QStringLiteral("b!"), QString(), QStringLiteral("1")}));
    memo.Flags |= flTextOnly;
    EXPECT_EQ(ex.expandMemo(memo, lines, ctx), lines);
}

// ----------------------------------------------------------------- datasets

class ExpressionDataTest : public ExpressionTest {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        table.Name = "AllQuestionsQuery";
        table.TableName = std::string("bw_expr_") + info->name();
        table.addField("id", sqlmem::TFieldType::ftInteger);
        table.addField("text", sqlmem::TFieldType::ftString, 60);
        table.addField("weight", sqlmem::TFieldType::ftFloat);
        table.addField("asked", sqlmem::TFieldType::ftDate);
        table.open();
        add(1, "Головная боль", 1.5);
        add(2, "Усталость", 0);
        table.append();
        table.fieldByName("id").setAsInteger(3);
        table.post();  // text, weight and date stay null
        table.first();
        adapter.setDataSet(&table);
    }
    void TearDown() override {
        table.close();
        if (table.exists()) table.deleteTable();
    }
    void add(int id, const char* text, double weight) {
        table.append();
        table.fieldByName("id").setAsInteger(id);
        table.fieldByName("text").setAsString(cp(text));
        table.fieldByName("weight").setAsFloat(weight);
        table.fieldByName("asked").setAsDateTime(encodeDate(2026, 12, 10 + id));
        table.post();
    }

    sqlmem::TSQLMemTable table;
    TBwDBDataSet adapter{&owner, QStringLiteral("QuestionsBwDBDataSet")};
};

TEST_F(ExpressionDataTest, FieldsOfTheCurrentRecord) {
    ctx.lineNo = 1;
    const QString line = QStringLiteral("[LINE#] [AllQuestionsQuery.\"text\"]");
    EXPECT_EQ(expand(line), QString::fromUtf8("1 Головная боль"));
    table.next();
    ctx.lineNo = 2;
    EXPECT_EQ(expand(line), QString::fromUtf8("2 Усталость"));  // the cached field, a new record
    EXPECT_EQ(expand(QStringLiteral("[allquestionsquery.\"ID\" * 10] [AllQuestionsQuery.asked]")),
              QStringLiteral("20 12.12.2026"));
    // Null values: empty text, 0 for numbers and dates.
    table.next();
    EXPECT_EQ(expand(QStringLiteral("<[AllQuestionsQuery.\"text\"]> [AllQuestionsQuery.\"weight\"] "
                                    "[AllQuestionsQuery.\"asked\"]")),
              QStringLiteral("<> 0 0"));
    // Field aliases: for a whole field, or for the dataset alone.
    table.first();
    report.dictionary().FieldAliases.set(QString::fromUtf8("Вопрос"),
                                         QStringLiteral("AllQuestionsQuery.\"text\""));
    report.dictionary().FieldAliases.set(QString::fromUtf8("Вопросы"),
                                         QStringLiteral("AllQuestionsQuery"));
    EXPECT_EQ(expand(QString::fromUtf8("[Вопрос] / [Вопросы.\"id\"]")),
              QString::fromUtf8("Головная боль / 1"));
}

TEST_F(ExpressionDataTest, BareNamesReadTheBandsDataSet) {
    ctx.bandDataSet = &adapter;
    EXPECT_EQ(expand(QStringLiteral("[id]: [text] [weight #N0,00]")),
              QString::fromUtf8("1: Головная боль 1,50"));
    ctx.bandDataSet = nullptr;
    EXPECT_TRUE(errorOf([&] {
                    expand(QStringLiteral("[text]"));
                }).startsWith(TBwLocale::loadStr(sUndefinedVariable)));
}

TEST_F(ExpressionDataTest, AClosedDataSetOpensOnFirstRead) {
    table.close();
    EXPECT_EQ(expand(QStringLiteral("[AllQuestionsQuery.\"id\"]")), QStringLiteral("1"));
    EXPECT_TRUE(table.active());
}

TEST_F(ExpressionDataTest, AQueryWithoutAnAdapterIsFoundByItsName) {
    sqlmem::TSQLMemQuery query("QPartsQuery");
    query.setSQL("SELECT text FROM " + table.TableName + " WHERE id = 2");
    query.open();
    EXPECT_EQ(expand(QStringLiteral("Часть: [QPartsQuery.\"text\"]")),
              QString::fromUtf8("Часть: Усталость"));
}

}  // namespace
}  // namespace bwreport
