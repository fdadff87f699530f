// Values shared by the report's objects, pages and printer layer.
#pragma once

#include <QColor>
#include <cstdint>

namespace bwreport {

// Report units: 18600/203 to the inch (one unit is about 0.2772 mm).
constexpr int kUnitsPerInchNum = 18600;
constexpr int kUnitsPerInchDen = 203;

// A colour as stored: 0x00BBGGRR, 0xFF0000nn for system colour nn, or clNone.
using TColor = std::int32_t;
constexpr TColor clNone = 0x1FFFFFFF;  // transparent
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000Fu);

// Null QColor for clNone; system colours take the fixed light palette.
QColor toQColor(TColor color);
TColor fromQColor(const QColor& color);

enum TBwOrientation : std::uint8_t { poPortrait = 0, poLandscape = 1 };

// Frame sides (FrameTyp bits).
enum TBwFrameSide : std::uint16_t {
    frftNone = 0,
    frftRight = 1,
    frftBottom = 2,
    frftLeft = 4,
    frftTop = 8,
};

enum TBwFrameStyle : std::uint16_t {
    psSolid = 0,
    psDash = 1,
    psDot = 2,
    psDashDot = 3,
    psDashDotDot = 4,
    psDouble = 5,
};

enum TBwBandAlign : std::uint8_t {
    baNone = 0,
    baLeft = 1,
    baRight = 2,
    baCenter = 3,
    baWidth = 4,
    baBottom = 5,
    baTop = 6,
    baRest = 7,
};

enum TBwBandType : std::uint16_t {
    btReportTitle = 0,
    btReportSummary = 1,
    btPageHeader = 2,
    btPageFooter = 3,
    btMasterHeader = 4,
    btMasterData = 5,
    btMasterFooter = 6,
    btDetailHeader = 7,
    btDetailData = 8,
    btDetailFooter = 9,
    btSubDetailHeader = 10,
    btSubDetailData = 11,
    btSubDetailFooter = 12,
    btOverlay = 13,
    btColumnHeader = 14,
    btColumnFooter = 15,
    btGroupHeader = 16,
    btGroupFooter = 17,
    btCrossHeader = 18,
    btCrossData = 19,
    btCrossFooter = 20,
    btChild = 21,
    btNone = 22,
};
constexpr int kBandTypeCount = 23;

// Object type codes: the stream tags of the built-in classes, 10 for add-ins.
enum TBwObjectType : std::uint8_t {
    gtMemo = 0,
    gtPicture = 1,
    gtBand = 2,
    gtSubReport = 3,
    gtLine = 4,
    gtAddIn = 10,
};

// The packed display format: category, variant, decimals, separator.
constexpr std::int32_t packFormat(int category, int variant, int decimals, char separator) {
    return (category << 24) | (variant << 16) | (decimals << 8) |
           static_cast<std::uint8_t>(separator);
}
// Text category, 2 decimal places, the fixed profile's decimal comma: 556.
constexpr std::int32_t kDefaultFormat = packFormat(0, 0, 2, ',');

}  // namespace bwreport
