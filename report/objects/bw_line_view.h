// A line (stream tag 4): no own part; it is drawn along its rectangle with
// the frame's colour, width and style.
#pragma once

#include "objects/bw_view.h"

namespace bwreport {

class TBwLineView : public TBwStretcheable {
public:
    TBwLineView();
    QString className() const override { return QStringLiteral("TBwLineView"); }

    void draw(QPainter& canvas) override;
    QRegion clipRegion(bool widened) const override;
    int calcHeight() override { return Height; }
    int minHeight() override { return 1; }
    int remainHeight() override { return 0; }
};

class TBwSubReportView : public TBwView {
public:
    TBwSubReportView();
    QString className() const override { return QStringLiteral("TBwSubReportView"); }

    int SubPage = 0;  // index of the page holding the sub-report's bands

    // Only a template shows where a sub-report goes; its bands print there.
    void draw(QPainter& canvas) override;

protected:
    void loadOwn(TBwReader& reader) override;
    void saveOwn(TBwWriter& writer) const override;
};

// The base of dialog-page controls; the system registers none.
class TBwControl : public TBwStretcheable {
public:
    void draw(QPainter& canvas) override;
    int calcHeight() override { return Height; }
    int minHeight() override { return Height; }
    int remainHeight() override { return 0; }

protected:
    explicit TBwControl(QString baseName);
};

}  // namespace bwreport
