// Any bytes as report text (Windows-1251, as templates store it): expanded
// as a text object's line, run as a script, read as number and date
// patterns and scanned for totals. Each ends with a value or an error,
// never a crash, a hang or a stack exhausted by nesting.
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/bw_codec.h"
#include "document/bw_report.h"
#include "expr/bw_aggregates.h"
#include "expr/bw_expressions.h"
#include "expr/bw_format.h"
#include "expr/bw_interpreter.h"
#include "expr/bw_value.h"

using namespace bwreport;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = fromCp1251(std::string_view(reinterpret_cast<const char*>(data), size));

    TBwOwner owner;
    TBwReport report(&owner, QStringLiteral("R"));
    TBwExpressions expressions(report);
    TBwExpressionContext ctx;
    ctx.buildDateTime = 46367.378;
    try {
        (void)expressions.expandText(text, ctx);
    } catch (const std::exception&) {
    }
    // Scripts run under a small step limit: a loop may be meant never to end.
    TBwInterpretator::MaxSteps = 2000;
    try {
        expressions.runScript(text.split(u'\n'), ctx);
    } catch (const std::exception&) {
    }
    (void)formatFloat(text, -1234.5678);
    (void)formatDateTime(text, 46367.378);
    (void)formatValue(QStringLiteral("12,5"), packFormat(1, 4, 0, ','), text);
    (void)formatValue(dateTimeValue(46367.378), packFormat(2, 4, 0, ','), text);
    (void)TBwAggregates::findCalls(text);
    globalVariables().clear();  // SETARRAY and INC may have written some
    return 0;
}
