#include "build/bw_report_expander.h"

#include "document/bw_report.h"
#include "expr/bw_expressions.h"
#include "objects/bw_view.h"

namespace bwreport {

void TBwReportExpander::runScript(TBwView& view) {
    if (view.Script.isEmpty()) return;
    TBwExpressionContext& ctx = m_report.expressionContext();
    ctx.view = &view;
    m_report.expressions().runScript(view.Script, ctx);
}

QStringList TBwReportExpander::expandLines(TBwView& view, const QStringList& lines) {
    TBwExpressionContext& ctx = m_report.expressionContext();
    ctx.view = &view;
    return m_report.expressions().expandMemo(view, lines, ctx);
}

QString TBwReportExpander::expandText(TBwView& view, const QString& text) {
    TBwExpressionContext& ctx = m_report.expressionContext();
    ctx.view = &view;
    return m_report.expressions().expandText(text, ctx, false);
}

bool TBwReportExpander::isTrue(TBwView& view, const QString& condition) {
    TBwExpressionContext& ctx = m_report.expressionContext();
    ctx.view = &view;
    const QVariant v = m_report.expressions().evaluate(condition, ctx);
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    bool number = false;
    const double d = v.toDouble(&number);
    return number ? d != 0 : v.toBool();
}

}  // namespace bwreport
