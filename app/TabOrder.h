// Keyboard order by on-screen position: within every container, controls
// come top to bottom, and those sharing a row left to right, each followed
// by the controls inside it.
#pragma once

#include <vector>

class QWidget;

namespace orvalen {

struct TControlsInfo {
    QWidget* Control = nullptr;
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// Coordinates are compared in 5-pixel steps (rounded toward zero). One
// control is above another only when both its top and its bottom edge are;
// otherwise left of it only when both its left and its right edge are.
// -1 when `a` comes first, 1 when `b` does, 0 when neither: nested or
// identical extents. Not a total order.
int CompareControlsByPosition(const TControlsInfo& a, const TControlsInfo& b);

// The framework list's in-place quicksort (middle pivot, Hoare partition,
// recursion on the left part, loop on the right). It is not stable, and the
// order it leaves equal entries in is part of the result.
void QuickSortControls(std::vector<TControlsInfo>& items);

// The controls of one container that take part in the tab order.
class TRuntimeAdapter {
public:
    // Gathers the children that are windowed controls, in the container's
    // own child order, with their bounds in its coordinates.
    explicit TRuntimeAdapter(QWidget* container);

    const std::vector<TControlsInfo>& Controls() const { return m_controls; }
    void SortByPosition() { QuickSortControls(m_controls); }
    // Appends the controls in their present order, each followed by what
    // its own adapter appends when it is a container.
    void AppendTabOrder(std::vector<QWidget*>& order) const;

private:
    std::vector<TControlsInfo> m_controls;
};

// The order SetTabOrderByPosition gives every control of `window`.
std::vector<QWidget*> TabOrderByPosition(QWidget* window);

// Renumbers the keyboard order of every container level of `window`.
void SetTabOrderByPosition(QWidget* window);

// The first control of that order that Tab can stop at now, or null.
QWidget* FirstTabStop(QWidget* window);

}  // namespace orvalen
