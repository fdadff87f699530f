// The prepared (built) pages of a report: each a paper record and a compact
// object stream, decoded into a page object only when the page is drawn.
//
// Object stream: the byte 24 (the format version), then per object its type
// byte, for an add-in its class-name string, and its body in prepared form
// (no display format, script or Visible; the Memo list holds the computed
// text; no page index, no end offset).
#pragma once

#include <QByteArray>
#include <QPainter>
#include <QRectF>
#include <QSize>
#include <memory>
#include <vector>

#include "document/bw_page.h"

namespace bwreport {

struct TBwPreparedPage {
    std::uint16_t pgSize = 9;
    int pgWidth = 2100, pgHeight = 2970;  // tenths of a millimetre
    TBwOrientation pgOr = poPortrait;
    int pgBin = kDefaultBin;
    bool UseMargins = true;
    int LeftMargin = 0, TopMargin = 0, RightMargin = 0, BottomMargin = 0;
    TBwPageGeometry PrnInfo;
    bool Visible = true;
    QByteArray Stream;
    std::unique_ptr<TBwPage> Page;  // decoded on demand
};

class TBwEMFPages {
public:
    explicit TBwEMFPages(TBwReport* report = nullptr) : m_report(report) {}
    TBwEMFPages(const TBwEMFPages&) = delete;
    TBwEMFPages& operator=(const TBwEMFPages&) = delete;

    int count() const { return static_cast<int>(m_pages.size()); }
    TBwPreparedPage& operator[](int index) { return *m_pages[index]; }
    const TBwPreparedPage& operator[](int index) const { return *m_pages[index]; }
    void clear() { m_pages.clear(); }
    TBwPreparedPage& append(std::unique_ptr<TBwPreparedPage> page) {
        m_pages.push_back(std::move(page));
        return *m_pages.back();
    }
    // Exchanges the pages only; each list stays with its report.
    void swapPages(TBwEMFPages& other) noexcept { m_pages.swap(other.m_pages); }
    // A new page with the paper, margins and geometry of template page `from`.
    TBwPreparedPage& add(const TBwPage& from);
    TBwPreparedPage& insert(int index, const TBwPage& from);
    void remove(int index) { m_pages.erase(m_pages.begin() + index); }

    // Appends `view` in prepared form to page `index`'s object stream.
    void appendObject(int index, TBwView& view);
    // The page object of `index`, decoded from its stream the first time.
    // Throws EBwStreamError for a stream that cannot be read.
    TBwPage& page(int index);
    void freePage(int index) { m_pages[index]->Page.reset(); }
    // Draws page `index` scaled to `target` (the sheet fills it). On a
    // screen, objects more than 10 pixels outside the painter's visible area
    // are left out. An empty target only frees the decoded page.
    void draw(int index, QPainter& canvas, const QRectF& target);
    // The sheet of page `index` in report units.
    QSize sheetSize(int index) const;
    // Where page `index` is drawn when its sheet is shown as `sheet`: the
    // whole sheet with use-margins, else the sheet inset by its margins.
    QRectF contentRect(int index, const QRectF& sheet) const;

private:
    TBwReport* m_report;
    std::vector<std::unique_ptr<TBwPreparedPage>> m_pages;
};

}  // namespace bwreport
