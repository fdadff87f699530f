// Report tests run inside a QApplication (offscreen) with no printer
// installed, unless a test binds the printer layer to another platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "printer/bw_printer.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    bwreport::TBwPrinter::TEST_setPlatform(bwreport::makeNoPrinterPlatform());
    return RUN_ALL_TESTS();
}
