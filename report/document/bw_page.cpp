#include "document/bw_page.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/bw_stream.h"
#include "base/bw_strings.h"
#include "document/bw_report.h"
#include "printer/bw_paper_table.h"

namespace bwreport {

TBwPage::TBwPage(TBwReport* report) : Caption(kDefaultDialogCaption), m_report(report) {}

TBwPage::~TBwPage() = default;

TBwView* TBwPage::add(std::unique_ptr<TBwView> view, bool giveName) {
    view->ParentPage = this;
    if (giveName && view->Name.isEmpty() && m_report)
        view->Name = m_report->uniqueName(view->baseName());
    m_objects.push_back(std::move(view));
    return m_objects.back().get();
}

std::unique_ptr<TBwView> TBwPage::take(TBwView* view) {
    const auto it = std::find_if(m_objects.begin(), m_objects.end(),
                                 [view](const auto& p) { return p.get() == view; });
    if (it == m_objects.end()) return nullptr;
    std::unique_ptr<TBwView> out = std::move(*it);
    m_objects.erase(it);
    out->ParentPage = nullptr;
    return out;
}

void TBwPage::clear() {
    m_objects.clear();
}

void TBwPage::changePaper(int code, int width, int height, int bin, TBwOrientation orientation) {
    TBwPrinter& printer = TBwPrinter::instance();
    bool defaultBin = bin == -1 || bin == kDefaultBin;
    if (!printer.setPaper(code, width, height, orientation, defaultBin ? -1 : bin)) {
        printer.setPaper(kUserPaper, width, height, orientation, -1);
        defaultBin = true;
    }
    pgSize = printer.paperSize();
    pgWidth = printer.paperWidth();
    pgHeight = printer.paperHeight();
    pgOr = printer.orientation();
    pgBin = defaultBin ? kDefaultBin : printer.bin();
    PrnInfo = printer.geometry();
}

namespace {

// Edges of a page with arbitrary stored margins stay in range.
int clampToInt(qint64 v) {
    return static_cast<int>(
        std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

int TBwPage::leftEdge() const {
    if (!UseMargins) return 0;
    return LeftMargin ? LeftMargin : PrnInfo.offsetX;
}

int TBwPage::topEdge() const {
    if (!UseMargins) return 0;
    return TopMargin ? TopMargin : PrnInfo.offsetY;
}

int TBwPage::rightEdge() const {
    if (!UseMargins) return PrnInfo.sheetWidth;
    return RightMargin ? PrnInfo.sheetWidth - RightMargin
                       : PrnInfo.offsetX + PrnInfo.printableWidth;
}

int TBwPage::bottomEdge() const {
    if (!UseMargins) return PrnInfo.sheetHeight;
    return clampToInt(BottomMargin ? qint64(PrnInfo.sheetHeight) - BottomMargin
                                   : qint64(PrnInfo.offsetY) + PrnInfo.printableHeight);
}

int TBwPage::computedColumnWidth() const {
    const qint64 n = columnCount();
    return clampToInt((qint64(rightEdge()) - leftEdge() - (n - 1) * ColumnGap) / n);
}

int TBwPage::width() const {
    if (PageType == ptDialog) return DialogWidth;
    return clampToInt(std::llround(pgWidth * 18.0 / 50));
}

int TBwPage::height() const {
    if (PageType == ptDialog) return DialogHeight;
    return clampToInt(std::llround(pgHeight * 18.0 / 50));
}

void TBwPage::load(TBwReader& r) {
    const int v = r.version();
    const std::int32_t first = r.readInt();
    const bool current = first == -1;
    const int size = current ? r.readInt() : first;
    const int width = r.readInt();
    const int height = r.readInt();
    LeftMargin = r.readInt();
    TopMargin = r.readInt();
    RightMargin = r.readInt();
    BottomMargin = r.readInt();
    const TBwOrientation orientation = r.readByte() ? poLandscape : poPortrait;
    if (v <= 22) r.readBytes(6);
    const int bin = v >= 24 ? r.readInt() : -1;
    PrintToPrevPage = r.readBool16();
    UseMargins = r.readBool16();
    Columns = r.readInt();
    ColumnGap = r.readInt();
    PageType = r.readByte();
    if (v >= 24) {
        Name = r.readString();
        const std::uint8_t border = r.readByte();
        BorderStyle = border == 0   ? std::uint8_t(bsDialog)
                      : border == 1 ? std::uint8_t(bsSizeable)
                                    : border;
        Caption = r.readString();
        Color = r.readInt();
        DialogLeft = r.readInt();
        DialogTop = r.readInt();
        DialogWidth = r.readInt();
        DialogHeight = r.readInt();
        Position = r.readByte() == 0 ? poDesigned : poScreenCenter;
    }
    if (current) Script = r.readStringList();
    changePaper(size, width, height, bin, orientation);
}

void TBwPage::save(TBwWriter& w) const {
    w.writeInt(-1);
    w.writeInt(pgSize);
    w.writeInt(pgWidth);
    w.writeInt(pgHeight);
    w.writeInt(LeftMargin);
    w.writeInt(TopMargin);
    w.writeInt(RightMargin);
    w.writeInt(BottomMargin);
    w.writeByte(pgOr);
    w.writeInt(pgBin);
    w.writeBool16(PrintToPrevPage);
    w.writeBool16(UseMargins);
    w.writeInt(Columns);
    w.writeInt(ColumnGap);
    w.writeByte(PageType);
    w.writeString(Name);
    w.writeByte(BorderStyle);
    w.writeString(Caption);
    w.writeInt(Color);
    w.writeInt(DialogLeft);
    w.writeInt(DialogTop);
    w.writeInt(DialogWidth);
    w.writeInt(DialogHeight);
    w.writeByte(Position == poDesigned ? poDesigned : poScreenCenter);
    w.writeStringList(Script);
}

void TBwPage::defineProperties() {
    for (const char* name : {"Left", "Top", "Width", "Height", "Size", "LeftMargin", "TopMargin",
                             "RightMargin", "BottomMargin", "Columns", "ColumnGap", "ColumnWidth"})
        addProperty(QString::fromLatin1(name), TBwPropKind::Integer);
    addEnumProperty(QStringLiteral("Type"), QStringLiteral("ptReport;ptDialog"),
                    {ptReport, ptDialog});
    addEnumProperty(
        QStringLiteral("BorderStyle"),
        QStringLiteral("bsNone;bsSingle;bsSizeable;bsDialog;bsToolWindow;bsSizeToolWin"),
        {bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin});
    addEnumProperty(QStringLiteral("Position"), QStringLiteral("poDesigned;poScreenCenter"),
                    {poDesigned, poScreenCenter});
    addEnumProperty(QStringLiteral("Orientation"), QStringLiteral("poPortrait;poLandscape"),
                    {poPortrait, poLandscape});
    addProperty(QStringLiteral("Name"), TBwPropKind::Text);
    addProperty(QStringLiteral("Caption"), TBwPropKind::Text);
    addProperty(QStringLiteral("Color"), TBwPropKind::Color);
    addProperty(QStringLiteral("PrintToPrevPage"), TBwPropKind::Boolean);
    addProperty(QStringLiteral("StretchToPrintable"), TBwPropKind::Boolean);
    addProperty(QStringLiteral("Visible"), TBwPropKind::Boolean);
}

QVariant TBwPage::getProperty(const QString& name) const {
    const QString n = name.toUpper();
    if (n == u"LEFT") return DialogLeft;
    if (n == u"TOP") return DialogTop;
    if (n == u"WIDTH") return width();
    if (n == u"HEIGHT") return height();
    if (n == u"TYPE") return int(PageType);
    if (n == u"BORDERSTYLE") return int(BorderStyle);
    if (n == u"NAME") return Name;
    if (n == u"CAPTION") return Caption;
    if (n == u"COLOR") return Color;
    if (n == u"POSITION") return int(Position);
    if (n == u"SIZE") return pgSize;
    if (n == u"LEFTMARGIN") return LeftMargin;
    if (n == u"TOPMARGIN") return TopMargin;
    if (n == u"RIGHTMARGIN") return RightMargin;
    if (n == u"BOTTOMMARGIN") return BottomMargin;
    if (n == u"ORIENTATION") return int(pgOr);
    if (n == u"PRINTTOPREVPAGE") return PrintToPrevPage;
    if (n == u"STRETCHTOPRINTABLE") return !UseMargins;
    if (n == u"COLUMNS") return Columns;
    if (n == u"COLUMNGAP") return ColumnGap;
    if (n == u"COLUMNWIDTH") return ColumnWidth;
    if (n == u"VISIBLE") return Visible;
    return {};
}

void TBwPage::setProperty(const QString& name, const QVariant& value) {
    const QString n = name.toUpper();
    if (n == u"LEFT")
        DialogLeft = value.toInt();
    else if (n == u"TOP")
        DialogTop = value.toInt();
    else if (n == u"WIDTH" && PageType == ptDialog)
        DialogWidth = value.toInt();
    else if (n == u"HEIGHT" && PageType == ptDialog)
        DialogHeight = value.toInt();
    else if (n == u"TYPE")
        PageType = static_cast<std::uint8_t>(value.toInt());
    else if (n == u"BORDERSTYLE")
        BorderStyle = static_cast<std::uint8_t>(value.toInt());
    else if (n == u"NAME")
        Name = value.toString();
    else if (n == u"CAPTION")
        Caption = value.toString();
    else if (n == u"COLOR")
        Color = value.toInt();
    else if (n == u"POSITION")
        Position = value.toInt() == poDesigned ? poDesigned : poScreenCenter;
    else if (n == u"SIZE")
        changePaper(value.toInt(), pgWidth, pgHeight, pgBin, pgOr);
    else if (n == u"LEFTMARGIN")
        LeftMargin = value.toInt();
    else if (n == u"TOPMARGIN")
        TopMargin = value.toInt();
    else if (n == u"RIGHTMARGIN")
        RightMargin = value.toInt();
    else if (n == u"BOTTOMMARGIN")
        BottomMargin = value.toInt();
    else if (n == u"ORIENTATION")
        changePaper(pgSize, pgWidth, pgHeight, pgBin, value.toInt() ? poLandscape : poPortrait);
    else if (n == u"PRINTTOPREVPAGE")
        PrintToPrevPage = value.toBool();
    else if (n == u"STRETCHTOPRINTABLE")
        UseMargins = !value.toBool();
    else if (n == u"COLUMNS")
        Columns = value.toInt();
    else if (n == u"COLUMNGAP")
        ColumnGap = value.toInt();
    else if (n == u"COLUMNWIDTH")
        ColumnWidth = value.toInt();
    else if (n == u"VISIBLE")
        Visible = value.toBool();
}

TBwPage& TBwPages::add() {
    auto page = std::make_unique<TBwPage>(m_report);
    const TBwPaperRequest paper = TBwPrinter::instance().defaultPaper();
    page->changePaper(paper.code, paper.width, paper.height, kDefaultBin, poPortrait);
    return append(std::move(page));
}

TBwPage& TBwPages::append(std::unique_ptr<TBwPage> page) {
    m_pages.push_back(std::move(page));
    return *m_pages.back();
}

}  // namespace bwreport
