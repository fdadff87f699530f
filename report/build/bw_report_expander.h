// Printing through the report's own expressions: object scripts, bracketed
// text and highlight conditions, evaluated in the build's context.
#pragma once

#include "objects/bw_text_expander.h"

namespace bwreport {

class TBwReport;

class TBwReportExpander : public TBwTextExpander {
public:
    explicit TBwReportExpander(TBwReport& report) : m_report(report) {}
    void runScript(TBwView& view) override;
    QStringList expandLines(TBwView& view, const QStringList& lines) override;
    QString expandText(TBwView& view, const QString& text) override;
    bool isTrue(TBwView& view, const QString& condition) override;

private:
    TBwReport& m_report;
};

}  // namespace bwreport
