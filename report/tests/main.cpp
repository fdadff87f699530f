// Report tests run inside a QGuiApplication (offscreen) with no printer
// installed, unless a test binds the printer layer to another platform.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "printer/bw_printer.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    bwreport::TBwPrinter::TEST_setPlatform(bwreport::makeNoPrinterPlatform());
    return RUN_ALL_TESTS();
}
