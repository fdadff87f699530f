#include "render/bw_preview_layout.h"

#include <algorithm>
#include <cmath>

namespace bwreport {

void TBwPreviewLayout::layout(QSize view, TBwZoomMode mode, double factor, int current) {
    m_rects.assign(m_sheets.size(), QRect());
    m_extent = QSize();
    if (m_sheets.empty()) {
        m_factor = factor;
        return;
    }
    const QSize sheet = m_sheets[std::clamp(current, 0, count() - 1)];
    const auto fit = [](int room, int size) {
        return size > 0 && room > 0 ? double(room) / size : 0.0;
    };
    switch (mode) {
        case zmPageWidth:
            factor = fit(view.width() - 2 * kGap, sheet.width());
            break;
        case zmWholePage:
            factor = fit(view.height() - 2 * kGap, sheet.height());
            break;
        case zmTwoPages:
            factor = fit(view.width() - 3 * kGap, 2 * sheet.width());
            break;
        case zmFactor:
            break;
    }
    // A view too small for anything still shows the pages at some size.
    if (!(factor > 0)) factor = 0.01;
    // Huge sheets, many pages or a huge factor must not overflow the pixel
    // coordinates: the factor shrinks until even one page per row fits. A
    // scaled side may round up by a pixel; that and the gaps do not scale.
    double heights = 0, widest = 0;
    for (const QSize& s : m_sheets) {
        heights += s.height();
        widest = std::max<double>(widest, s.width());
    }
    const double fixedTall = kGap + double(count()) * (1 + kGap);
    const double fixedWide = 1 + 2 * kGap;
    if (heights > 0 && heights * factor + fixedTall > kMaxExtent)
        factor = (kMaxExtent - fixedTall) / heights;
    if (widest > 0 && widest * factor + fixedWide > kMaxExtent)
        factor = (kMaxExtent - fixedWide) / widest;
    m_factor = factor;

    std::vector<QSize> scaled;
    scaled.reserve(m_sheets.size());
    for (const QSize& s : m_sheets)
        scaled.emplace_back(std::max(1, int(std::lround(s.width() * factor))),
                            std::max(1, int(std::lround(s.height() * factor))));

    // Rows first, so that a layout of single pages can be centred.
    std::vector<std::pair<int, int>> rows;  // first page, page count
    for (int i = 0; i < count();) {
        int n = 1;
        if (mode == zmTwoPages) {
            n = std::min(2, count() - i);
        } else if (mode != zmWholePage) {
            int right = kGap + scaled[i].width();
            while (i + n < count() && right + kGap + scaled[i + n].width() + kGap <= view.width()) {
                right += kGap + scaled[i + n].width();
                ++n;
            }
        }
        rows.emplace_back(i, n);
        i += n;
    }
    const bool single = rows.size() == m_sheets.size();

    int y = kGap;
    for (const auto& [first, n] : rows) {
        int x = kGap;
        int height = 0;
        for (int i = first; i < first + n; ++i) {
            if (single) x = std::max(kGap, (view.width() - scaled[i].width()) / 2);
            m_rects[i] = QRect(QPoint(x, y), scaled[i]);
            x += scaled[i].width() + kGap;
            height = std::max(height, scaled[i].height());
            m_extent.setWidth(std::max(m_extent.width(), m_rects[i].right() + 1));
        }
        m_extent.setHeight(y + height);
        y += height + kGap;
    }
}

QSize TBwPreviewLayout::scrollRange(QSize view) const {
    return {std::max(0, m_extent.width() - view.width() + kGap),
            std::max(0, m_extent.height() - view.height() + kGap)};
}

int TBwPreviewLayout::pageAt(QPoint point) const {
    for (int i = 0; i < count(); ++i)
        if (m_rects[i].contains(point)) return i;
    return -1;
}

int TBwPreviewLayout::pageCovering(int y) const {
    int found = -1;
    for (int i = 0; i < count(); ++i) {
        const QRect& r = m_rects[i];
        if (r.top() > y) break;
        // A page whose row reaches the line, or the last one above it when
        // the line falls into a gap.
        found = i;
        if (r.bottom() >= y) return i;
    }
    return std::max(found, 0);
}

}  // namespace bwreport
