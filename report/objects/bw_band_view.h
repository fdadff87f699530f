// A band as placed on a template page (stream tag 2). Its FrameTyp holds the
// band type, its format text the data source or group condition.
#pragma once

#include "objects/bw_view.h"

namespace bwreport {

enum TBwBandFlag : std::uint16_t {
    flBandStretched = 1,
    flBandNewPageAfter = 2,  // FormNewPage
    flBandPrintIfSubsetEmpty = 4,
    flBandBreaked = 8,
    flBandOnFirstPage = 16,
    flBandOnLastPage = 32,
    flBandRepeatHeader = 64,
    flBandPrintChildIfInvisible = 128,
};

// The string-table name of a band type; "Нет" for none.
QString bandTypeName(int type);

class TBwBandView : public TBwView {
public:
    TBwBandView();
    QString className() const override { return QStringLiteral("TBwBandView"); }

    QString ChildBand;
    int Columns = 1;
    int ColumnWidth = 200;
    int ColumnGap = 20;
    int NewColumnAfter = 1;
    QString Master;

    int bandType() const { return FrameTyp; }
    void setBandType(TBwBandType type) { FrameTyp = type; }
    // A data band's source: a data-set component's name, or a record count.
    const QString& dataSource() const { return FormatStr; }
    // A band takes no room of its own: its objects are drawn, not the band.
    void draw(QPainter& /*canvas*/) override {}
    QRegion clipRegion(bool widened) const override;

    void setProperty(const QString& name, const QVariant& value) override;
    QVariant getProperty(const QString& name) const override;

protected:
    void defineProperties() override;
    void loadOwn(TBwReader& reader) override;
    void saveOwn(TBwWriter& writer) const override;
    std::uint8_t writtenLayoutMinor() const override { return 1; }
};

}  // namespace bwreport
