// Where a preview puts its pages: the zoom factor for a zoom mode and each
// page's rectangle in the scroll area. Pure geometry, so the window's layout
// can be checked without a window.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

namespace bwreport {

enum TBwZoomMode { zmFactor = 0, zmPageWidth = 1, zmWholePage = 2, zmTwoPages = 3 };

class TBwPreviewLayout {
public:
    // Pixels between pages, and between the pages and the view's edges.
    static constexpr int kGap = 10;
    // The farthest a laid-out page may reach, in pixels.
    static constexpr int kMaxExtent = 1 << 30;

    // The sheets of the pages in report units.
    void setSheets(std::vector<QSize> sheets) { m_sheets = std::move(sheets); }
    int count() const { return static_cast<int>(m_sheets.size()); }

    // Lays the pages out for a view of `view` pixels. A mode other than
    // zmFactor computes the factor from page `current`'s sheet; zmFactor
    // uses `factor` as it is.
    void layout(QSize view, TBwZoomMode mode, double factor, int current);

    double factor() const { return m_factor; }
    const QRect& rect(int index) const { return m_rects[index]; }
    // The far edges of the laid-out pages.
    QSize extent() const { return m_extent; }
    // How far each scroll bar goes for `view`: 0 when everything fits.
    QSize scrollRange(QSize view) const;
    // The page whose rectangle contains `point`, or -1.
    int pageAt(QPoint point) const;
    // The first page whose rows span the line `y`, else the last page above it.
    int pageCovering(int y) const;

private:
    std::vector<QSize> m_sheets;
    std::vector<QRect> m_rects;
    QSize m_extent;
    double m_factor = 1.0;
};

}  // namespace bwreport
