// Object scripts and per-band totals.
#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "base/bw_strings.h"
#include "document/bw_report.h"
#include "expr/bw_aggregates.h"
#include "expr/bw_expressions.h"
#include "expr/bw_interpreter.h"
#include "expr/bw_value.h"
#include "objects/bw_memo_view.h"

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace bwreport {
namespace {

class ScriptTest : public ::testing::Test {
protected:
    ScriptTest() {
        globalVariables().clear();
        report.pages().add();
        auto memo = std::make_unique<TBwMemoView>();
        memo->Name = QStringLiteral("Memo1");
        memo->Memo = QStringList{QStringLiteral("a"), QStringLiteral("b")};
        memo1 = static_cast<TBwMemoView*>(report.pages()[0].add(std::move(memo), false));
    }
    ~ScriptTest() override { globalVariables().clear(); }

    QString run(const QString& script) {
        ex.runScript(script.split(u'\n'), ctx);
        return valueText(globalVariables().value(QStringLiteral("r")));
    }
    QString compileError(const QStringList& lines) {
        try {
            TBwInterpretator::compile(lines);
        } catch (const std::exception& e) {
            return QString::fromUtf8(e.what());
        }
        return QStringLiteral("<compiled>");
    }

    TBwOwner owner;
    TBwReport report{&owner, QStringLiteral("R")};
    TBwExpressions ex{report};
    TBwExpressionContext ctx;
    TBwMemoView* memo1 = nullptr;
};

TEST_F(ScriptTest, Statements) {
    const struct {
        const char* script;
        const char* r;
    } cases[] = {
        {"a := 1; r := a + 2", "3"},
        {"r := 0; for i := 1 to 4 do r := r + i", "10"},
        {"r := 0; FOR i := 3 TO 1 DO r := 99", "0"},
        {"r := 0; while r < 3 do r := r + 1", "3"},
        {"r := 0; repeat r := r + 2 until r >= 5", "6"},
        {"r := 0; repeat r := r + 2; r := r + 1 until r > 5", "6"},
        {"if 1 = 2 then r := 'a' else r := 'b'", "b"},
        {"if (1 = 1) and (2 = 2) then r := 'a' else r := 'b'", "a"},
        {"if 'True' then r := 'yes'", "yes"},
        {"begin r := 1; EXIT(0); r := 2 end", "1"},
        {"r := 0; goto 1; r := 5;\n1: r := r + 1", "1"},
        {"r := 0;\n2: r := r + 1;\nif r < 4 then goto 2", "4"},
        {"begin\n  r := 'x';\n  if r = 'x' then begin r := r + 'y'; r := r + 'z' end\nend", "xyz"},
        {"arr[2] := 'x'; r := arr[2] + GETARRAY(arr, 1 + 1)", "xx"},
        // Indexes past any whole number type are elements of their own.
        {"a[10000000000000000000] := 'x'; r := 'y' + a[20000000000000000000]", "y"},
        {"c := 5; INC(c); INC(c); DEC(c); r := c", "6"},
        {"r := 1;;; ", "1"},
    };
    for (const auto& c : cases) {
        globalVariables().clear();
        EXPECT_EQ(run(QString::fromUtf8(c.script)), QString::fromUtf8(c.r)) << c.script;
    }
}

TEST_F(ScriptTest, AssignmentsReachObjectsDictionaryAndBuildState) {
    report.dictionary().Variables.set(QStringLiteral("Title"), QStringLiteral("'old'"));
    int shown = 0;
    QString progress;
    ctx.progress = [&](const QString& t) {
        progress = t;
        ++shown;
    };
    run(
        QStringLiteral("Memo1.Left := 50; Memo1.Memo.Add('c'); Memo1.Lines[0] := 'A';\n"
                       "Title := 'new'; CURY := 120; PROGRESS := 'step'; MODALRESULT := mrOk;\n"
                       "Memo1.Hide; if Memo1.Memo.IndexOf('b') = 1 then r := 'found'"));
    EXPECT_EQ(memo1->Left, 50);
    EXPECT_EQ(memo1->Memo,
              (QStringList{QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("c")}));
    EXPECT_FALSE(memo1->Visible);
    EXPECT_EQ(valueText(ex.evaluate(QStringLiteral("Title"), ctx)), QStringLiteral("new"));
    EXPECT_FALSE(globalVariables().contains(QStringLiteral("Title")));
    EXPECT_EQ(ctx.curY, 120);
    EXPECT_TRUE(ctx.curYSet);
    EXPECT_EQ(progress, QStringLiteral("step"));
    EXPECT_EQ(ctx.modalResult.toLongLong(), 1);
    run(QStringLiteral("CURY := 100000000000000000000"));
    EXPECT_EQ(ctx.curY, std::numeric_limits<int>::max())
        << "a position past the page stays past it";
    EXPECT_EQ(valueText(globalVariables().value(QStringLiteral("r"))), QStringLiteral("found"));
}

TEST_F(ScriptTest, ReportFunctionsRaiseRequestsAndTheUserFunctionAlwaysHears) {
    QStringList heard;
    report.OnUserFunction = [&](const QString& name, const QVariant& p1, const QVariant&,
                                const QVariant&, QVariant& result) {
        heard << name + u':' + p1.toString() + u'=' + valueText(result);
        if (name == u"DOUBLE") result = valueNumber(ex.evaluate(p1.toString(), ctx)) * 2;
    };
    QString band;
    ctx.showBand = [&](const QString& b) { band = b; };
    run(QStringLiteral(
        "NEWPAGE; NEWCOLUMN; SHOWBAND(Child1); r := DOUBLE(2 + 1) + LENGTH('ab'); STOPREPORT"));
    EXPECT_TRUE(ctx.newPage);
    EXPECT_TRUE(ctx.newColumn);
    EXPECT_TRUE(ctx.stopReport);
    EXPECT_EQ(band, QStringLiteral("Child1"));
    EXPECT_EQ(valueText(globalVariables().value(QStringLiteral("r"))), QStringLiteral("8"));
    // A function nobody knows yields "0"; the library's result is passed on too.
    EXPECT_TRUE(heard.contains(QStringLiteral("DOUBLE:2 + 1=0")));
    EXPECT_TRUE(heard.contains(QStringLiteral("LENGTH:'ab'=2")));
}

TEST_F(ScriptTest, ALoopThatNeverEndsIsStopped) {
    const std::size_t saved = TBwInterpretator::MaxSteps;
    TBwInterpretator::MaxSteps = 1000;
    QString error;
    try {
        run(QStringLiteral("r := 0; while 1 do r := r + 1"));
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    EXPECT_EQ(error, kScriptTooLong);
    EXPECT_EQ(run(QStringLiteral("r := 0; for i := 1 to 200 do r := r + i")),
              QStringLiteral("20100"))
        << "a loop within the bound runs to its end";
    TBwInterpretator::MaxSteps = saved;
}

TEST_F(ScriptTest, CompileErrors) {
    const struct {
        QStringList lines;
        const char* want;
    } cases[] = {
        {{"if 1 r := 2"}, "Line 1:12: Need \"then\" here"},
        {{"while 1 r := 2"}, "Line 1:15: Need \"do\" here"},
        {{"for i = 1 to 2 do x := 1"}, "Line 1:7: Need \":=\" here"},
        {{"for i := 1 do x := 1"}, "Line 1:12: Need \"to\" here"},
        {{"repeat x := 1"}, "Line 1:14: Need \";\" or \"until\" here"},
        {{"begin x := 1"}, "Line 1:13: Need \";\" or \"end\" here"},
        {{"x := 1;", "goto abc"}, "Line 2:6: \"goto\" label must be a number"},
        {{"x := (1 + 2"}, "Line 1:12: Need \")\" here"},
        {{"x := 1;", "  y := [abc"}, "Line 2:8: Need \"]\" here"},
        {{"x := 1 end"}, "Line 1:8: Need \";\" or \"end\" here"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(compileError(c.lines), QString::fromUtf8(c.want))
            << c.lines.join(u'|').toStdString();
}

TEST(AggregatesTest, TotalsPerBand) {
    TBwAggregates totals;
    // Keys are band identities: a data band, and two bands showing its totals.
    const int data = 0, other = 0, footer = 0, groupFooter = 0;
    for (TBwAggregateKind k : {TBwAggregateKind::Sum, TBwAggregateKind::Avg, TBwAggregateKind::Min,
                               TBwAggregateKind::Max})
        totals.add(&footer, &data, k, QStringLiteral("[v]"), false);
    totals.add(&footer, &data, TBwAggregateKind::Count, QString(), true);
    totals.add(&footer, &other, TBwAggregateKind::Sum, QStringLiteral("[v]"), false);
    totals.add(&groupFooter, &data, TBwAggregateKind::Sum, QStringLiteral("[v]"), false);

    const QVariant values[] = {qint64(3), nullValue(), 5.5};
    int evaluations = 0;
    for (const QVariant& v : values)
        totals.accumulate(&data, true, [&](const QString&) {
            ++evaluations;
            return v;
        });
    totals.accumulate(&data, false, [&](const QString&) { return QVariant(100); });  // invisible
    EXPECT_EQ(evaluations, 3);  // the accumulators of "[v]" share one evaluation
    auto value = [&](TBwAggregateKind k, const void* user = nullptr,
                     const QString& e = QStringLiteral("[v]")) {
        return valueNumber(totals.value(user ? user : &footer, &data, k, e));
    };
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Sum), 8.5);
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Min), 0);  // null counts as 0
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Max), 5.5);
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Count, nullptr, QString()),
                     4);  // flag "1" counts invisible ones
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Avg), 8.5 / 4);
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Sum, &groupFooter), 8.5);
    EXPECT_DOUBLE_EQ(
        valueNumber(totals.value(&footer, &other, TBwAggregateKind::Sum, QStringLiteral("[v]"))),
        0);

    // Restarting one band's totals leaves the other's over the same data.
    totals.reset(&groupFooter);
    totals.accumulate(&data, true, [](const QString&) { return QVariant(7); });
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Sum, &groupFooter), 7);
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Sum), 15.5);
    totals.reset(&footer);
    totals.accumulate(&data, true, [](const QString&) { return QVariant(7); });
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Min), 7);
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Sum), 7);
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Avg), 7);
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Sum, &groupFooter), 14);

    // MIN and MAX start from the first value, and give 0 for none.
    totals.reset(&footer);
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Min), 0);
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Max), 0);
    for (int v : {-5, -3})
        totals.accumulate(&data, true, [v](const QString&) { return QVariant(v); });
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Max), -3);
    EXPECT_DOUBLE_EQ(value(TBwAggregateKind::Min), -5);
}

TEST(AggregatesTest, CallsFoundInTextAndAnsweredThroughExpressions) {
    const auto calls = TBwAggregates::findCalls(QStringLiteral(
        "Итого: [SUM([Q.\"x\"], MasterData1)] 'SUM(1)' [count(DetailData1, 1)] [MAX(a)]"));
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, TBwAggregateKind::Sum);
    EXPECT_EQ(calls[0].expression, QStringLiteral("[Q.\"x\"]"));
    EXPECT_EQ(calls[0].band, QStringLiteral("MasterData1"));
    EXPECT_EQ(calls[1].kind, TBwAggregateKind::Count);
    EXPECT_EQ(calls[1].band, QStringLiteral("DetailData1"));
    EXPECT_EQ(calls[1].flag, QStringLiteral("1"));
    EXPECT_EQ(calls[2].kind, TBwAggregateKind::Max);
    EXPECT_TRUE(calls[2].band.isEmpty());

    TBwOwner owner;
    TBwReport report(&owner, QStringLiteral("R"));
    TBwExpressions ex(report);
    TBwAggregates totals;
    TBwExpressionContext ctx;
    const int data = 0, footer = 0;
    ctx.aggregates = &totals;
    ctx.aggregateUser = &footer;
    ctx.aggregateSource = &data;
    ctx.findAggregateSource = [&](const QString& name) -> const void* {
        return name == u"MasterData1" ? &data : nullptr;
    };
    totals.add(&footer, &data, TBwAggregateKind::Sum, QStringLiteral("a"), false);
    totals.accumulate(&data, true, [](const QString&) { return QVariant(4); });
    EXPECT_EQ(ex.expandText(QStringLiteral("[SUM(a)] [SUM(a, MasterData1)] [COUNT()]"), ctx),
              QStringLiteral("4 4 0"));
}

}  // namespace
}  // namespace bwreport
