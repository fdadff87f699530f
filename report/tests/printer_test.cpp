// The printer layer: the virtual printer and its papers, and page geometry
// taken from a printer's device.
#include <gtest/gtest.h>

#include <QPrinterInfo>
#include <cmath>
#include <set>

#include "base/bw_strings.h"
#include "document/bw_page.h"
#include "printer/bw_paper_table.h"
#include "printer/bw_printer.h"

namespace bwreport {
namespace {

const QString kVirtual = QStringLiteral("Виртуальный принтер");

// Installed printers whose device has a few papers, a resolution and 100
// unprintable pixels on every side.
class FakePlatform : public TBwPrinterPlatform {
public:
    QStringList names{QStringLiteral("Office"), QStringLiteral("Label")};
    QString defaultName = QStringLiteral("Label");
    QList<int> papers{9, 1};
    double dpi = 600;
    bool broken = false;
    TBwPaperRequest current{9, 2100, 2970, poPortrait, -1};

    QStringList printerNames() override { return names; }
    QString defaultPrinterName() override { return defaultName; }
    bool apply(const QString&, const TBwPaperRequest& r, TBwDeviceState& out) override {
        if (broken) return false;
        if (r.code == kUserPaper) {
            current = r;
        } else if (papers.contains(r.code)) {
            const TBwPaperInfo* p = findPaper(r.code);
            current = {r.code, p->width, p->height, r.orientation, r.bin};
            if (r.orientation == poLandscape) std::swap(current.width, current.height);
        }
        out = {};
        out.paperCode = current.code;
        out.paperWidth = current.width;
        out.paperHeight = current.height;
        out.orientation = current.orientation;
        out.bin = current.bin;
        out.dpiX = out.dpiY = dpi;
        out.sheetWidthPx = static_cast<int>(std::lround(current.width * dpi / 254));
        out.sheetHeightPx = static_cast<int>(std::lround(current.height * dpi / 254));
        out.offsetXPx = out.offsetYPx = 100;
        out.printableWidthPx = out.sheetWidthPx - 200;
        out.printableHeightPx = out.sheetHeightPx - 200;
        out.paperCodes = papers;
        return true;
    }
};

class PrinterTest : public ::testing::Test {
protected:
    void TearDown() override { TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform()); }
};

TEST_F(PrinterTest, WithoutPrintersTheVirtualPrinterGivesA4In758By1071Units) {
    TBwPrinter p(makeNoPrinterPlatform());
    EXPECT_EQ(p.printers(), QStringList{kVirtual});
    EXPECT_TRUE(p.isVirtual());
    EXPECT_FALSE(p.hasInstalledPrinters());
    EXPECT_EQ(p.paperSize(), kA4Paper);
    const TBwPageGeometry g = p.geometry();
    EXPECT_EQ(g.sheetWidth, 758);
    EXPECT_EQ(g.sheetHeight, 1071);
    EXPECT_EQ(g.offsetX, 18);
    EXPECT_EQ(g.offsetY, 18);
    EXPECT_EQ(g.printableWidth, 722);
    EXPECT_EQ(g.printableHeight, 1035);
}

TEST_F(PrinterTest, PaperTableHasTheStandardCodesWithNamedSizes) {
    std::set<int> codes;
    for (const TBwPaperInfo& p : paperTable()) {
        codes.insert(p.code);
        EXPECT_FALSE(TBwLocale::loadStr(p.nameId).isEmpty()) << p.code;
        if (p.code != kUserPaper) {
            EXPECT_GT(p.width * p.height, 0) << p.code;
        }
    }
    std::set<int> expected{kUserPaper};
    for (int c = 1; c <= 68; ++c)
        if (c != 48 && c != 49) expected.insert(c);
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(paperTable().front().nameId, 55008);
    EXPECT_EQ(paperTable().back().nameId, 55074);
    struct Size {
        int code, width, height;
    };
    for (const Size s :
         {Size{1, 2159, 2794}, Size{8, 2970, 4200}, Size{9, 2100, 2970}, Size{11, 1480, 2100}}) {
        ASSERT_NE(findPaper(s.code), nullptr);
        EXPECT_EQ(findPaper(s.code)->width, s.width) << s.code;
        EXPECT_EQ(findPaper(s.code)->height, s.height) << s.code;
    }
}

TEST_F(PrinterTest, VirtualPaperSelection) {
    struct Case {
        const char* name;
        int code, width, height;
        TBwOrientation orientation;
        bool accepted;
        int wantWidth, wantHeight, sheetWidth, sheetHeight;
    };
    const Case cases[] = {
        {"A4 by code", 9, 0, 0, poPortrait, true, 2100, 2970, 758, 1071},
        {"landscape exchanges the sides", 9, 0, 0, poLandscape, true, 2970, 2100, 1071, 758},
        {"A5", 11, 0, 0, poPortrait, true, 1480, 2100, 534, 758},
        {"user size keeps what it is given", 256, 1000, 500, poLandscape, true, 1000, 500, 361,
         180},
        {"code 48 is no paper: refused, A4 kept", 48, 100, 100, poPortrait, false, 2100, 2970, 758,
         1071},
        {"nor is code 0", 0, 100, 100, poLandscape, false, 2100, 2970, 758, 1071},
    };
    for (const Case& c : cases) {
        TBwPrinter p(makeNoPrinterPlatform());
        EXPECT_EQ(p.setPaper(c.code, c.width, c.height, c.orientation, -1), c.accepted) << c.name;
        EXPECT_EQ(p.paperWidth(), c.wantWidth) << c.name;
        EXPECT_EQ(p.paperHeight(), c.wantHeight) << c.name;
        EXPECT_EQ(p.geometry().sheetWidth, c.sheetWidth) << c.name;
        EXPECT_EQ(p.geometry().sheetHeight, c.sheetHeight) << c.name;
    }
}

TEST_F(PrinterTest, SamePaperRules) {
    TBwPrinter p(makeNoPrinterPlatform());
    ASSERT_TRUE(p.setPaper(9, 0, 0, poPortrait, 3));
    EXPECT_TRUE(p.samePaper(9, 1, 1, poPortrait, 3));
    EXPECT_TRUE(p.samePaper(9, 1, 1, poPortrait, -1)) << "the default bin matches any";
    EXPECT_FALSE(p.samePaper(9, 0, 0, poPortrait, 2));
    EXPECT_FALSE(p.samePaper(9, 0, 0, poLandscape, 3));
    EXPECT_FALSE(p.samePaper(11, 0, 0, poPortrait, 3));
    ASSERT_TRUE(p.setPaper(256, 1000, 2000, poPortrait, 3));
    EXPECT_TRUE(p.samePaper(256, 1001, 1999, poPortrait, 7)) << "user sizes ignore the bin";
    EXPECT_FALSE(p.samePaper(256, 1002, 2000, poPortrait, 3));
    EXPECT_FALSE(p.samePaper(256, 1000, 2000, poLandscape, 3));
}

TEST_F(PrinterTest, NothingChangesWhilePrinting) {
    TBwPrinter p(makeNoPrinterPlatform());
    p.setPrinting(true);
    EXPECT_TRUE(p.setPaper(11, 0, 0, poLandscape, -1));
    EXPECT_EQ(p.paperSize(), kA4Paper);
    p.setPrinting(false);
    EXPECT_TRUE(p.setPaper(11, 0, 0, poLandscape, -1));
    EXPECT_EQ(p.paperSize(), 11);
}

TEST_F(PrinterTest, InstalledPrintersComeFirstAndGiveTheirDeviceGeometry) {
    TBwPrinter p(std::make_unique<FakePlatform>());
    EXPECT_EQ(p.printers(),
              (QStringList{QStringLiteral("Office"), QStringLiteral("Label"), kVirtual}));
    EXPECT_EQ(p.virtualIndex(), 2);
    EXPECT_EQ(p.printerName(), QStringLiteral("Label")) << "the system's current printer";
    // A4 at 600 dpi: 4961 x 7016 pixels, 100 of them unprintable on each side.
    const TBwPageGeometry g = p.geometry();
    EXPECT_EQ(g.sheetWidthPx, 4961);
    EXPECT_EQ(g.sheetHeightPx, 7016);
    EXPECT_EQ(g.sheetWidth, 758);
    EXPECT_EQ(g.sheetHeight, 1071);
    EXPECT_EQ(g.offsetX, 15);
    EXPECT_EQ(g.printableWidth, 727);
    EXPECT_EQ(g.printableHeight, 1041);
    EXPECT_EQ(p.paperCodes(), (QList<int>{9, 1}));
    p.selectPrinter(p.virtualIndex());
    EXPECT_TRUE(p.isVirtual());
    EXPECT_EQ(p.geometry().offsetX, 18);
    EXPECT_EQ(p.paperCodes().size(), kPaperCount);
}

TEST_F(PrinterTest, PaperThePrinterLacksFallsBackToAUserSizeWithTheDefaultBin) {
    TBwPrinter::TEST_setPlatform(std::make_unique<FakePlatform>());
    TBwPage page;
    page.changePaper(8, 2970, 4200, 2, poPortrait);  // A3 from bin 2
    EXPECT_EQ(page.pgSize, kUserPaper);
    EXPECT_EQ(page.pgWidth, 2970);
    EXPECT_EQ(page.pgHeight, 4200);
    EXPECT_EQ(page.pgBin, kDefaultBin);
    EXPECT_EQ(page.PrnInfo.sheetHeight, 1515);
    page.changePaper(1, 0, 0, 2, poLandscape);  // Letter, which it has
    EXPECT_EQ(page.pgSize, 1);
    EXPECT_EQ(page.pgWidth, 2794);
    EXPECT_EQ(page.pgBin, 2);
}

TEST_F(PrinterTest, UnreadableDeviceMakesTheVirtualPrinterCurrent) {
    auto fake = std::make_unique<FakePlatform>();
    FakePlatform* device = fake.get();
    TBwPrinter p(std::move(fake));
    ASSERT_FALSE(p.isVirtual());
    device->broken = true;
    p.selectPrinter(0);
    EXPECT_TRUE(p.isVirtual());
    EXPECT_EQ(p.geometry().sheetWidth, 758);
}

// With a CUPS printer installed (cups-pdf will do), the list and the
// geometry are the system's.
TEST_F(PrinterTest, SystemPrintersWhenInstalled) {
    const QStringList installed = QPrinterInfo::availablePrinterNames();
    if (installed.isEmpty()) GTEST_SKIP() << "no printer installed";
    TBwPrinter p(makeSystemPrinterPlatform());
    EXPECT_EQ(p.printers(), installed + QStringList{kVirtual});
    ASSERT_FALSE(p.isVirtual());
    EXPECT_EQ(p.printerName(), QPrinterInfo::defaultPrinterName().isEmpty()
                                   ? installed.first()
                                   : QPrinterInfo::defaultPrinterName());
    ASSERT_TRUE(p.setPaper(kA4Paper, 0, 0, poPortrait, -1, true));
    const TBwPageGeometry g = p.geometry();
    EXPECT_NEAR(p.paperWidth(), 2100, 2);
    EXPECT_NEAR(p.paperHeight(), 2970, 2);
    EXPECT_NEAR(g.sheetWidth, 758, 1);
    EXPECT_NEAR(g.sheetHeight, 1071, 1);
    EXPECT_GT(g.sheetWidthPx, g.sheetWidth) << "device pixels, not units";
    EXPECT_LE(g.offsetX + g.printableWidth, g.sheetWidth + 1);
    ASSERT_TRUE(p.setPaper(kA4Paper, 0, 0, poLandscape, -1));
    EXPECT_NEAR(p.geometry().sheetWidth, 1071, 1);
}

}  // namespace
}  // namespace bwreport
