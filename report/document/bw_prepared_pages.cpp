#include "document/bw_prepared_pages.h"

#include "base/bw_stream.h"
#include "document/bw_report.h"
#include "objects/bw_object_factory.h"

namespace bwreport {

namespace {

constexpr std::uint8_t kStreamVersion = 24;

std::unique_ptr<TBwPreparedPage> fromTemplate(const TBwPage& from) {
    auto p = std::make_unique<TBwPreparedPage>();
    p->pgSize = static_cast<std::uint16_t>(from.pgSize);
    p->pgWidth = from.pgWidth;
    p->pgHeight = from.pgHeight;
    p->pgOr = from.pgOr;
    p->pgBin = from.pgBin;
    p->UseMargins = from.UseMargins;
    p->LeftMargin = from.LeftMargin;
    p->TopMargin = from.TopMargin;
    p->RightMargin = from.RightMargin;
    p->BottomMargin = from.BottomMargin;
    p->PrnInfo = from.PrnInfo;
    p->Stream = QByteArray(1, static_cast<char>(kStreamVersion));
    return p;
}

}  // namespace

TBwPreparedPage& TBwEMFPages::add(const TBwPage& from) {
    m_pages.push_back(fromTemplate(from));
    return *m_pages.back();
}

TBwPreparedPage& TBwEMFPages::insert(int index, const TBwPage& from) {
    return **m_pages.insert(m_pages.begin() + index, fromTemplate(from));
}

void TBwEMFPages::appendObject(int index, TBwView& view) {
    TBwPreparedPage& p = *m_pages[index];
    // Positions inside a picture's body count from the page stream's start.
    TBwWriter w(p.Stream);
    w.writeByte(view.type());
    if (view.type() == gtAddIn) w.writeString(view.className());
    const bool wasPrepared = view.IsPrepared;
    view.IsPrepared = true;
    try {
        view.save(w);
    } catch (...) {
        view.IsPrepared = wasPrepared;
        throw;
    }
    view.IsPrepared = wasPrepared;
    p.Stream = w.bytes();
    p.Page.reset();
}

TBwPage& TBwEMFPages::page(int index) {
    TBwPreparedPage& p = *m_pages[index];
    if (p.Page) return *p.Page;
    auto page = std::make_unique<TBwPage>(m_report);
    page->pgSize = p.pgSize;
    page->pgWidth = p.pgWidth;
    page->pgHeight = p.pgHeight;
    page->pgOr = p.pgOr;
    page->pgBin = p.pgBin;
    page->UseMargins = p.UseMargins;
    page->LeftMargin = p.LeftMargin;
    page->TopMargin = p.TopMargin;
    page->RightMargin = p.RightMargin;
    page->BottomMargin = p.BottomMargin;
    page->PrnInfo = p.PrnInfo;

    TBwReader r(p.Stream);
    if (!r.atEnd()) {
        int version = r.readByte();
        if (version <= 20) {
            r.seek(0);
            version = 21;
        } else if (version > 24) {
            r.fail(QStringLiteral("prepared page of format version %1").arg(version), 0);
        }
        r.setVersion(version);
    }
    while (!r.atEnd()) {
        const qsizetype at = r.pos();
        const std::uint8_t tag = r.readByte();
        std::unique_ptr<TBwView> view;
        if (tag == gtAddIn) {
            const QString className = r.readString();
            view = createAddIn(className);
            if (!view) r.fail(QStringLiteral("object of unknown class \"%1\"").arg(className), at);
        } else {
            view = createView(tag);
            if (!view) r.fail(QStringLiteral("object of unknown type %1").arg(tag), at);
        }
        view->IsPrepared = true;
        view->load(r);
        page->add(std::move(view), false);
    }
    p.Page = std::move(page);
    return *p.Page;
}

QSize TBwEMFPages::sheetSize(int index) const {
    const TBwPreparedPage& p = *m_pages[index];
    if (p.PrnInfo.sheetWidth > 0 && p.PrnInfo.sheetHeight > 0)
        return {p.PrnInfo.sheetWidth, p.PrnInfo.sheetHeight};
    TBwPage sheet;
    sheet.pgWidth = p.pgWidth;
    sheet.pgHeight = p.pgHeight;
    return {sheet.width(), sheet.height()};
}

QRectF TBwEMFPages::contentRect(int index, const QRectF& sheet) const {
    const TBwPreparedPage& p = *m_pages[index];
    const QSize units = sheetSize(index);
    if (p.UseMargins || units.isEmpty()) return sheet;
    const double sx = sheet.width() / units.width();
    const double sy = sheet.height() / units.height();
    const QRectF inner = sheet.adjusted(p.LeftMargin * sx, p.TopMargin * sy, -p.RightMargin * sx,
                                        -p.BottomMargin * sy);
    // Margins wider than the sheet leave the sheet as it is.
    return inner.isValid() ? inner : sheet;
}

void TBwEMFPages::draw(int index, QPainter& canvas, const QRectF& target) {
    if (target.isEmpty()) {
        freePage(index);
        return;
    }
    TBwPage& page = this->page(index);
    const QSize sheet = sheetSize(index);
    if (sheet.isEmpty()) return;
    const double sx = target.width() / sheet.width();
    const double sy = target.height() / sheet.height();
    QPaintDevice* device = canvas.device();
    const int devType = device ? device->devType() : QInternal::Image;
    const bool screen = devType != QInternal::Printer && devType != QInternal::Picture;
    QRectF visible = target;
    if (screen) {
        QRectF area = device ? QRectF(0, 0, device->width(), device->height()) : target;
        if (canvas.hasClipping()) area &= canvas.clipBoundingRect();
        visible = canvas.transform().inverted().mapRect(area) & target;
    }
    for (const auto& view : page.objects()) {
        view->ScaleX = sx;
        view->ScaleY = sy;
        view->OffsetX = target.left();
        view->OffsetY = target.top();
        if (screen) {
            const QRectF r(target.left() + view->Left * sx, target.top() + view->Top * sy,
                           view->Width * sx, view->Height * sy);
            if (!r.adjusted(-10, -10, 10, 10).intersects(visible)) continue;
        }
        canvas.save();
        view->draw(canvas);
        canvas.restore();
    }
}

}  // namespace bwreport
