// Bracketed expressions in report text, resolved against a report: the
// application's OnGetValue first, then the dictionary and dataset fields,
// the built-in variables, global variables, page variables, object
// properties and constants, and finally the text as an expression.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>

#include "base/bw_types.h"
#include "data/bw_dictionary.h"
#include "expr/bw_parser.h"

namespace sqlmem {
class TDataSet;
}

namespace bwreport {

class TBwReport;
class TBwPage;
class TBwView;
class TBwDataset;
class TBwAggregates;

// The state of a build that names read and functions change. The builder
// owns one per build and updates it as it moves through pages, bands and
// objects; outside a build a default context serves.
struct TBwExpressionContext {
    // Per build.
    double buildDateTime = 0;  // taken at the start: DATE is its date, TIME its time
    int totalPages = 0;        // TOTALPAGES: the first pass's page count; 0 in one pass
    bool finalPass = false;    // FINALPASS
    TBwAggregates* aggregates = nullptr;

    // Per page.
    int pageIndex = 0;  // the prepared page being filled, from 0; PAGE# is one more
    TBwPage* page = nullptr;
    int curY = 0;                       // CURY
    int pageBottom = 0, pageRight = 0;  // PAGEHEIGHT, PAGEWIDTH; FREESPACE runs to pageBottom
    int column = 1;                     // COLUMN#
    int current = 1;                    // CURRENT#

    // Per band.
    TBwDataset* bandDataSet = nullptr;  // the data set whose fields bare names read
    // Totals: the band whose accumulators an aggregate reads, the data band
    // it counts when the call names none, and the data band of a name.
    const void* aggregateUser = nullptr;
    const void* aggregateSource = nullptr;
    std::function<const void*(const QString& bandName)> findAggregateSource;
    int lineNo = 1;       // LINE#
    int lineThrough = 1;  // LINETHROUGH#

    // Per object.
    TBwView* view = nullptr;         // its display format and HideZeros apply
    std::function<int()> calcWidth;  // CALCWIDTH; without it, the object's width
    QVariant value;                  // VALUE: the value being formatted

    // Requests made by functions and scripts, for the builder to act on.
    bool stopReport = false;
    bool newPage = false;
    bool newColumn = false;
    bool curYSet = false;
    QVariant modalResult;
    std::function<void(const QString& bandName)> showBand;
    std::function<void(const QString& text)> progress;
};

// The engine-wide variables scripts write and expressions read; they
// outlive a build. Arrays are "Arr_" + name + "_" + index.
TBwVariables& globalVariables();
// Colour names, modal results, font styles, frame and alignment bits, band
// alignments, pen styles, message-box flags, blob types, CRLF and Null.
const TBwVariables& constants();

class TBwExpressions {
public:
    explicit TBwExpressions(TBwReport& report);
    TBwExpressions(const TBwExpressions&) = delete;
    TBwExpressions& operator=(const TBwExpressions&) = delete;

    TBwReport& report() const { return m_report; }
    TBwParser& parser() { return m_parser; }

    // Replaces every bracket of one line with the text of its value, in the
    // display format of ctx.view with its HideZeros (or, without a view or
    // `objectFormat`, as plain text: an object's Tag). A "[" that is never
    // closed stays as it is. Throws the underlying error.
    QString expandText(const QString& text, TBwExpressionContext& ctx, bool objectFormat = true);
    // The computed lines of a text object: each template line expanded and
    // split where its value holds line breaks. An error becomes the build's
    // message (the object's lines, the report's and the object's names).
    QStringList expandMemo(const TBwView& view, const QStringList& lines,
                           TBwExpressionContext& ctx);
    // The message a failed object shows, around the underlying error.
    QString objectErrorMessage(const TBwView& view, const QString& error) const;

    QVariant getValue(const QString& name, TBwExpressionContext& ctx);
    QVariant callFunction(const QString& name, const QString& p1, const QString& p2,
                          const QString& p3, TBwExpressionContext& ctx);
    QVariant evaluate(const QString& expression, TBwExpressionContext& ctx);
    // Script assignment: an existing global variable, else a dictionary
    // variable, MODALRESULT, CURY, PROGRESS, an object property, else a new
    // global variable.
    void assign(const QString& name, const QVariant& value, TBwExpressionContext& ctx);

    // Compiles and runs a script. Throws EBwExpressionError with
    // "Line <l>:<p>: ..." for a script that does not compile.
    void runScript(const QStringList& lines, TBwExpressionContext& ctx);

    // Resolved fields are cached by name for a build; a new build clears them.
    void clearFieldCache();

private:
    friend class TBwContextScope;
    bool readField(const QString& name, QVariant& value, TBwExpressionContext& ctx);
    bool findField(const QString& name, sqlmem::TDataSet*& dataSet, QString& fieldName,
                   TBwExpressionContext& ctx);
    bool readBuiltIn(const QString& name, QVariant& value, TBwExpressionContext& ctx) const;
    bool readObjectProperty(const QString& name, QVariant& value) const;
    QString expandBracket(const QString& inner, TBwExpressionContext& ctx, bool objectFormat);
    QVariant reportFunction(const QString& name, const QString& p1, const QString& p2,
                            const QString& p3, bool& handled, TBwExpressionContext& ctx);
    [[noreturn]] void undefined(const QString& name) const;

    TBwReport& m_report;
    TBwParser m_parser;
    TBwExpressionContext* m_ctx = nullptr;  // the context of the call in progress
    QStringList m_resolving;                // texts being evaluated as a last resort
    QStringList m_variables;                // dictionary variables being evaluated
    int m_depth = 0;
};

}  // namespace bwreport
