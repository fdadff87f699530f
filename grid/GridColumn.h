// One column of a data grid, as a window declares it.
#pragma once

#include <QString>
#include <Qt>

namespace orvalen {

struct TGridColumn {
    QString fieldName;
    // Empty: the field's display name.
    QString title;
    // Designed width in pixels; 0: from the field's type and size. Widths are
    // scaled together to fill the grid, so they count as proportions.
    int width = 0;
    Qt::Alignment titleAlignment = Qt::AlignLeft | Qt::AlignVCenter;
};

}  // namespace orvalen
