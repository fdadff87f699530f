#include "TabOrder.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>
#include <cassert>
#include <utility>

namespace orvalen {
namespace {

// Remainder with the sign of x, as the framework's mod.
int r(int x) {
    return x - x % 5;
}

// A control that can hold the focus and own children. Labels and splitter
// handles are drawn on their parent and take no part, except a label made
// focusable (a link one can reach by keyboard).
bool isWindowedControl(const QWidget* w) {
    if (w->isWindow()) return false;
    if (qobject_cast<const QSplitterHandle*>(w)) return false;
    if (qobject_cast<const QLabel*>(w)) return (w->focusPolicy() & Qt::TabFocus) != 0;
    return true;
}

// Controls whose children are the form's own. The children of other
// controls (a spin box's editor, a scroll area's bars) are their inner
// workings, ordered by the control itself.
bool isContainer(const QWidget* w) {
    const QMetaObject* m = w->metaObject();
    return m == &QWidget::staticMetaObject || m == &QFrame::staticMetaObject ||
           qobject_cast<const QGroupBox*>(w) || qobject_cast<const QSplitter*>(w) ||
           qobject_cast<const QStackedWidget*>(w) || qobject_cast<const QTabWidget*>(w);
}

void quickSort(std::vector<TControlsInfo>& items, int L, int R) {
    int I;
    do {
        I = L;
        int J = R;
        const TControlsInfo P = items[static_cast<std::size_t>((L + R) / 2)];
        do {
            // The pivot entry, or one swapped past it, stops each scan.
            while (CompareControlsByPosition(items[static_cast<std::size_t>(I)], P) < 0)
                ++I;
            while (CompareControlsByPosition(items[static_cast<std::size_t>(J)], P) > 0)
                --J;
            assert(I >= L && J <= R);
            if (I <= J) {
                std::swap(items[static_cast<std::size_t>(I)], items[static_cast<std::size_t>(J)]);
                ++I;
                --J;
            }
        } while (I <= J);
        if (L < J) quickSort(items, L, J);
        L = I;
    } while (I < R);
}

}  // namespace

int CompareControlsByPosition(const TControlsInfo& a, const TControlsInfo& b) {
    if (r(a.Top) < r(b.Top) && r(a.Bottom) < r(b.Bottom)) return -1;
    if (r(a.Top) > r(b.Top) && r(a.Bottom) > r(b.Bottom)) return 1;
    if (r(a.Left) < r(b.Left) && r(a.Right) < r(b.Right)) return -1;
    if (r(a.Left) > r(b.Left) && r(a.Right) > r(b.Right)) return 1;
    return 0;
}

void QuickSortControls(std::vector<TControlsInfo>& items) {
    if (!items.empty()) quickSort(items, 0, static_cast<int>(items.size()) - 1);
}

TRuntimeAdapter::TRuntimeAdapter(QWidget* container) {
    // Positions as the layout will leave them, also before the first showing.
    if (QLayout* layout = container->layout()) layout->activate();
    for (QObject* child : container->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || !isWindowedControl(w)) continue;
        const QRect g = w->geometry();
        m_controls.push_back({w, g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
    }
}

void TRuntimeAdapter::AppendTabOrder(std::vector<QWidget*>& order) const {
    for (const TControlsInfo& info : m_controls) {
        order.push_back(info.Control);
        if (!isContainer(info.Control)) continue;
        TRuntimeAdapter inner(info.Control);
        inner.SortByPosition();
        inner.AppendTabOrder(order);
    }
}

std::vector<QWidget*> TabOrderByPosition(QWidget* window) {
    std::vector<QWidget*> order;
    TRuntimeAdapter adapter(window);
    adapter.SortByPosition();
    adapter.AppendTabOrder(order);
    return order;
}

void SetTabOrderByPosition(QWidget* window) {
    // Qt keeps one focus chain per window: the numbering of every level is
    // that chain walked depth first. Controls that never take the focus
    // (group boxes, panels) have no place in it. The chain is a ring, and
    // where the window itself ends up in it is Qt's affair: FirstTabStop
    // says where the order begins.
    QWidget* previous = nullptr;
    for (QWidget* w : TabOrderByPosition(window)) {
        if (w->focusPolicy() == Qt::NoFocus) continue;
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

QWidget* FirstTabStop(QWidget* window) {
    for (QWidget* w : TabOrderByPosition(window))
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(window)) return w;
    return nullptr;
}

}  // namespace orvalen
