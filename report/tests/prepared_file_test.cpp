// Prepared-report files: what is saved loads as the same pages, every
// defined layout loads, and damaged files are refused where they go wrong.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "base/bw_stream.h"
#include "document/bw_prepared_file.h"
#include "document/bw_report.h"
#include "objects/bw_line_view.h"
#include "objects/bw_memo_view.h"
#include "objects/bw_picture_view.h"
#include "printer/bw_printer.h"
#include "test_util.h"

namespace bwreport {
namespace {

using test::bytes;
using test::le16;
using test::le32;

// Two pages on different papers: text, a line and a picture on the first.
void fill(TBwEMFPages& prepared) {
    TBwPages pages;
    TBwPage& a4 = pages.add();
    a4.LeftMargin = 30;
    a4.TopMargin = 40;
    TBwPage& other = pages.add();
    other.changePaper(11, 1480, 2100, 15, poLandscape);
    other.UseMargins = false;
    other.BottomMargin = 12;

    prepared.add(a4);
    TBwMemoView memo;
    memo.Name = QStringLiteral("Memo1");
    memo.Left = 20;
    memo.Top = 30;
    memo.Width = 300;
    memo.Height = 40;
    memo.FrameTyp = 15;
    memo.Memo1 = QStringList{QStringLiteral("Раздел 1"), QStringLiteral("second line")};
    prepared.appendObject(0, memo);
    TBwLineView line;
    line.Name = QStringLiteral("Line1");
    line.Left = 20;
    line.Top = 100;
    line.Width = 400;
    prepared.appendObject(0, line);
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    TBwPictureView picture;
    picture.Name = QStringLiteral("Picture1");
    picture.Left = 50;
    picture.Top = 150;
    picture.Width = 60;
    picture.Height = 60;
    picture.Picture.setImage(image);
    prepared.appendObject(0, picture);

    prepared.add(other);
    memo.Name = QStringLiteral("Memo2");
    memo.Memo1 = QStringList{QStringLiteral("page 2")};
    prepared.appendObject(1, memo);
}

QImage render(TBwEMFPages& pages, int index) {
    const QSize sheet = pages.sheetSize(index);
    QImage image(sheet, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    pages.draw(index, painter, QRectF(QPointF(0, 0), QSizeF(sheet)));
    return image;
}

// The header of a version-24 file on the current printer.
QByteArray header24(int pages) {
    TBwWriter w;
    w.writeByte(24);
    w.writeByte(0);
    w.writeString(TBwPrinter::instance().printerName());
    w.writeInt(pages);
    return w.bytes();
}

// One page record: end offset counted from `at`, the file position it starts at.
QByteArray page24(qsizetype at, const QByteArray& stream, int orientation = 0) {
    QByteArray fields = le16(9) + le32(2100) + le32(2970) + bytes({orientation}) + le32(0xFFFF) +
                        bytes({1}) + le32(1) + le32(2) + le32(3) + le32(4);
    return le32(static_cast<std::int32_t>(at + 4 + fields.size() + stream.size())) + fields +
           stream;
}

const QByteArray kOneLine = [] {
    TBwEMFPages p;
    TBwPage source;
    p.add(source);
    TBwLineView line;
    line.Name = QStringLiteral("Line1");
    p.appendObject(0, line);
    return p[0].Stream;
}();

TEST(PreparedFile, SavedPagesLoadAsTheSamePages) {
    TBwEMFPages saved;
    fill(saved);
    const QByteArray file = savePreparedReport(saved);
    EXPECT_EQ(file.left(header24(2).size()), header24(2));

    TBwEMFPages loaded;
    loadPreparedReport(loaded, file);
    ASSERT_EQ(loaded.count(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const TBwPreparedPage& a = saved[i];
        const TBwPreparedPage& b = loaded[i];
        EXPECT_EQ(std::tuple(a.pgSize, a.pgWidth, a.pgHeight, a.pgOr, a.pgBin, a.UseMargins),
                  std::tuple(b.pgSize, b.pgWidth, b.pgHeight, b.pgOr, b.pgBin, b.UseMargins));
        EXPECT_EQ(std::tuple(a.LeftMargin, a.TopMargin, a.RightMargin, a.BottomMargin),
                  std::tuple(b.LeftMargin, b.TopMargin, b.RightMargin, b.BottomMargin));
        EXPECT_EQ(a.PrnInfo, b.PrnInfo) << "geometry asked of the printer again";
        EXPECT_EQ(a.Stream, b.Stream);
        EXPECT_EQ(render(saved, i), render(loaded, i));
    }
    EXPECT_EQ(saved[1].pgOr, poLandscape);
    const TBwPage& page = loaded.page(0);
    ASSERT_EQ(page.count(), 3);
    const auto* memo = dynamic_cast<const TBwMemoView*>(page.object(0));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->Memo, (QStringList{QStringLiteral("Раздел 1"), QStringLiteral("second line")}));
    EXPECT_EQ(page.object(1)->Name, QStringLiteral("Line1"));
    const auto* picture = dynamic_cast<const TBwPictureView*>(page.object(2));
    ASSERT_NE(picture, nullptr);
    const auto* original = dynamic_cast<const TBwPictureView*>(saved.page(0).object(2));
    ASSERT_NE(original, nullptr);
    EXPECT_EQ(picture->Picture.image(), original->Picture.image());
    EXPECT_GE(picture->Picture.image().pixelColor(1, 1).red(), 250);
    EXPECT_EQ(savePreparedReport(loaded), file);
}

TEST(PreparedFile, EveryTruncationIsRefusedAndLeavesThePages) {
    TBwEMFPages source;
    fill(source);
    const QByteArray file = savePreparedReport(source);
    TBwEMFPages current;
    fill(current);
    current.freePage(0);
    const QByteArray before = savePreparedReport(current);
    for (qsizetype cut = 0; cut < file.size(); ++cut) {
        try {
            loadPreparedReport(current, file.left(cut));
            ADD_FAILURE() << "loaded a file cut at " << cut;
        } catch (const EBwStreamError& e) {
            EXPECT_LE(e.offset(), cut);
        }
    }
    EXPECT_EQ(savePreparedReport(current), before);
}

TEST(PreparedFile, DamagedFilesAreRefusedAtTheirOffset) {
    const QByteArray head = header24(1);
    const qsizetype at = head.size();
    const QByteArray good = head + page24(at, kOneLine);
    TBwEMFPages check;
    ASSERT_NO_THROW(loadPreparedReport(check, good));
    ASSERT_EQ(check.count(), 1);

    QByteArray backwards = good;
    backwards.replace(at, 4, le32(static_cast<std::int32_t>(at)));
    QByteArray beyond = good;
    beyond.replace(at, 4, le32(static_cast<std::int32_t>(good.size() + 1)));
    QByteArray unknownType = head + page24(at, kOneLine + bytes({77}));
    const qsizetype streamAt = at + 4 + 2 + 8 + 1 + 4 + 1 + 16;
    QByteArray metafile = good;
    metafile[1] = 7;
    // A paper side the preview could not lay out: pixel rows would overflow.
    const auto paper = [&](std::int32_t width, std::int32_t height) {
        QByteArray file = good;
        file.replace(at + 4 + 2, 8, le32(width) + le32(height));
        return file;
    };

    struct Case {
        const char* name;
        QByteArray file;
        qsizetype offset;
    };
    const Case cases[] = {
        {"end offset before the page's data", backwards, at},
        {"end offset past the file", beyond, at},
        {"negative page count", header24(-1), at - 4},
        {"orientation 2", head + page24(at, kOneLine, 2), at + 4 + 2 + 8},
        {"older metafile layout", metafile, 1},
        {"unknown object type", unknownType, streamAt + kOneLine.size()},
        {"empty file", QByteArray(), 0},
        {"paper of no width", paper(0, 2970), at + 4 + 2},
        {"paper of negative height", paper(2100, -1), at + 4 + 2},
        {"paper 200 km long", paper(2100, 2000000000), at + 4 + 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBwEMFPages pages;
        fill(pages);
        try {
            loadPreparedReport(pages, c.file);
            ADD_FAILURE() << "loaded";
        } catch (const EBwStreamError& e) {
            EXPECT_EQ(e.offset(), c.offset) << e.text().toStdString();
        }
        EXPECT_EQ(pages.count(), 2);
    }
}

TEST(PreparedFile, EveryDefinedLayoutLoads) {
    // Before the version byte: zero-terminated name, no bin and no margins.
    QByteArray v0 = bytes({0}) + QByteArray("Any printer", 12) + le32(1);
    const QByteArray fields0 = le16(11) + le32(1480) + le32(2100) + bytes({1}) + bytes({0});
    v0 += le32(static_cast<std::int32_t>(v0.size() + 4 + fields0.size() + kOneLine.size())) +
          fields0 + kOneLine;
    TBwEMFPages pages;
    loadPreparedReport(pages, v0);
    ASSERT_EQ(pages.count(), 1);
    EXPECT_EQ(pages[0].pgSize, 11);
    EXPECT_EQ(pages[0].pgOr, poLandscape);
    EXPECT_EQ(pages[0].pgBin, -1);
    EXPECT_FALSE(pages[0].UseMargins);
    EXPECT_EQ(pages[0].LeftMargin, 0);
    EXPECT_EQ(pages.page(0).object(0)->Name, QStringLiteral("Line1"));

    const QByteArray head = header24(1);
    const QByteArray v24 = head + page24(head.size(), kOneLine);
    for (int version : {24, 25, 31}) {
        for (int flag : {0, 1, 255}) {
            SCOPED_TRACE(testing::Message() << version << " " << flag);
            QByteArray file = v24;
            file[0] = static_cast<char>(version);
            file[1] = static_cast<char>(flag);
            TBwEMFPages loaded;
            loadPreparedReport(loaded, file);
            ASSERT_EQ(loaded.count(), 1);
            EXPECT_EQ(loaded[0].pgBin, 0xFFFF);
            EXPECT_EQ(loaded[0].BottomMargin, 4);
            EXPECT_EQ(loaded[0].Stream, kOneLine);
            EXPECT_EQ(savePreparedReport(loaded), v24);
        }
    }
    TBwEMFPages none;
    loadPreparedReport(none, header24(0));
    EXPECT_EQ(none.count(), 0);
}

TEST(PreparedFile, SavedFilesAlwaysEndInBwp) {
    const std::pair<const char*, const char*> names[] = {
        {"out", "out.bwp"},  {"out.txt", "out.bwp"},         {"out.bwp", "out.bwp"},
        {"out.", "out.bwp"}, {"dir.x/out", "dir.x/out.bwp"}, {"a.b.BWP", "a.b.bwp"},
    };
    for (const auto& [in, out] : names)
        EXPECT_EQ(preparedReportFileName(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TBwEMFPages saved;
    fill(saved);
    const QString name = savePreparedReportFile(saved, dir.filePath(QStringLiteral("report.pdf")));
    EXPECT_EQ(name, dir.filePath(QStringLiteral("report.bwp")));
    TBwEMFPages loaded;
    loadPreparedReportFile(loaded, name);
    EXPECT_EQ(loaded.count(), 2);
    EXPECT_THROW(loadPreparedReportFile(loaded, dir.filePath(QStringLiteral("missing.bwp"))),
                 EBwError);
    EXPECT_EQ(loaded.count(), 2);
}

}  // namespace
}  // namespace bwreport
