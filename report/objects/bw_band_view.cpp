#include "objects/bw_band_view.h"

#include "base/bw_stream.h"
#include "base/bw_strings.h"

namespace bwreport {

namespace {

struct FlagName {
    const char16_t* upper;
    const char* name;
    std::uint16_t bit;
};
constexpr FlagName kBandFlags[] = {
    {u"FORMNEWPAGE", "FormNewPage", flBandNewPageAfter},
    {u"PRINTIFSUBSETEMPTY", "PrintIfSubsetEmpty", flBandPrintIfSubsetEmpty},
    {u"BREAKED", "Breaked", flBandBreaked},
    {u"ONFIRSTPAGE", "OnFirstPage", flBandOnFirstPage},
    {u"ONLASTPAGE", "OnLastPage", flBandOnLastPage},
    {u"REPEATHEADER", "RepeatHeader", flBandRepeatHeader},
    {u"PRINTCHILDIFINVISIBLE", "PrintChildIfInvisible", flBandPrintChildIfInvisible},
};

}  // namespace

QString bandTypeName(int type) {
    if (type < 0 || type >= kBandTypeCount) type = btNone;
    return TBwLocale::loadStr(sFirstBandName + type);
}

TBwBandView::TBwBandView() : TBwView(gtBand, QStringLiteral("Band")) {
    Flags = flBandOnFirstPage | flBandOnLastPage;
    Format = 0;
    LayoutMinor = 1;
    FrameTyp = btMasterData;
}

void TBwBandView::loadOwn(TBwReader& r) {
    if (r.version() < 24) return;
    ChildBand = r.readString();
    Columns = r.readInt();
    ColumnWidth = r.readInt();
    ColumnGap = r.readInt();
    NewColumnAfter = r.readInt();
    if (LayoutMajor * 10 + LayoutMinor > 20) Master = r.readString();
}

void TBwBandView::saveOwn(TBwWriter& w) const {
    w.writeString(ChildBand);
    w.writeInt(Columns);
    w.writeInt(ColumnWidth);
    w.writeInt(ColumnGap);
    w.writeInt(NewColumnAfter);
    w.writeString(Master);
}

QRegion TBwBandView::clipRegion(bool widened) const {
    return regionAround(widened ? 10 : 0);
}

void TBwBandView::defineProperties() {
    TBwView::defineProperties();
    addProperty(QStringLiteral("ChildBand"), TBwPropKind::Text);
    addProperty(QStringLiteral("Master"), TBwPropKind::Text);
    for (const FlagName& f : kBandFlags)
        addProperty(QString::fromLatin1(f.name), TBwPropKind::Boolean);
    addProperty(QStringLiteral("Condition"), TBwPropKind::Text);
    addProperty(QStringLiteral("DataSource"), TBwPropKind::Text);
    addProperty(QStringLiteral("Columns"), TBwPropKind::Integer);
    addProperty(QStringLiteral("ColumnGap"), TBwPropKind::Integer);
    addProperty(QStringLiteral("ColumnWidth"), TBwPropKind::Integer);
    addProperty(QStringLiteral("NewColumnAfter"), TBwPropKind::Integer);
}

QVariant TBwBandView::getProperty(const QString& name) const {
    const QString n = name.toUpper();
    if (n == u"CHILDBAND") return ChildBand;
    if (n == u"MASTER") return Master;
    if (n == u"CONDITION" || n == u"DATASOURCE") return FormatStr;
    if (n == u"COLUMNS") return Columns;
    if (n == u"COLUMNGAP") return ColumnGap;
    if (n == u"COLUMNWIDTH") return ColumnWidth;
    if (n == u"NEWCOLUMNAFTER") return NewColumnAfter;
    for (const FlagName& f : kBandFlags)
        if (n == f.upper) return (Flags & f.bit) != 0;
    return TBwView::getProperty(name);
}

void TBwBandView::setProperty(const QString& name, const QVariant& value) {
    const QString n = name.toUpper();
    if (n == u"CHILDBAND")
        ChildBand = value.toString();
    else if (n == u"MASTER")
        Master = value.toString();
    else if (n == u"CONDITION" || n == u"DATASOURCE")
        FormatStr = value.toString();
    else if (n == u"COLUMNS")
        Columns = value.toInt();
    else if (n == u"COLUMNGAP")
        ColumnGap = value.toInt();
    else if (n == u"COLUMNWIDTH")
        ColumnWidth = value.toInt();
    else if (n == u"NEWCOLUMNAFTER")
        NewColumnAfter = value.toInt();
    else {
        for (const FlagName& f : kBandFlags)
            if (n == f.upper) {
                Flags = value.toBool() ? (Flags | f.bit) : (Flags & ~f.bit);
                return;
            }
        TBwView::setProperty(name, value);
    }
}

}  // namespace bwreport
