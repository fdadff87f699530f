#include "base/bw_types.h"

namespace bwreport {

namespace {

// The system colours a report may name (0xFF0000nn), in the light look the
// reports were designed against.
QColor systemColor(int index) {
    switch (index) {
        case 0x05:  // window
            return QColor(0xFF, 0xFF, 0xFF);
        case 0x08:  // window text
        case 0x12:  // button text
            return QColor(0, 0, 0);
        case 0x0F:  // button face
            return QColor(0xF0, 0xF0, 0xF0);
        case 0x10:  // button shadow
            return QColor(0xA0, 0xA0, 0xA0);
        case 0x14:  // button highlight
            return QColor(0xFF, 0xFF, 0xFF);
        case 0x0D:  // highlight
            return QColor(0x00, 0x78, 0xD7);
        default:
            return QColor(0xC0, 0xC0, 0xC0);
    }
}

}  // namespace

QColor toQColor(TColor color) {
    if (color == clNone) return {};
    const auto u = static_cast<std::uint32_t>(color);
    if ((u & 0xFF000000u) == 0xFF000000u) return systemColor(static_cast<int>(u & 0xFF));
    return QColor(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF),
                  static_cast<int>((u >> 16) & 0xFF));
}

TColor fromQColor(const QColor& color) {
    if (!color.isValid() || color.alpha() == 0) return clNone;
    return static_cast<TColor>(color.red() | (color.green() << 8) | (color.blue() << 16));
}

}  // namespace bwreport
