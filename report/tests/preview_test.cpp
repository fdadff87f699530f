// The preview window and what it is built on: the page layout at each zoom,
// paging by keys and mouse, text search, prepared-report files, PDF export.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <csignal>

#include "build/bw_builder.h"
#include "document/bw_pdf_export.h"
#include "document/bw_prepared_file.h"
#include "document/bw_report.h"
#include "document/bw_text_search.h"
#include "objects/bw_memo_view.h"
#include "print_fixture.h"
#include "printer/bw_printer.h"
#include "render/bw_preview_layout.h"
#include "render/bw_text_recorder.h"
#include "test_util.h"
#include "ui/bw_preview_form.h"
#include "ui/bw_print_form.h"
#include "ui/bw_progress_form.h"
#include "ui/bw_search_form.h"

namespace bwreport {
namespace {

// One text object per line of `lines`, stacked down the page.
void addTexts(TBwEMFPages& pages, int index, const QStringList& lines) {
    int top = 40;
    for (const QString& line : lines) {
        TBwMemoView memo;
        memo.Left = 40;
        memo.Top = top;
        memo.Width = 500;
        memo.Height = 24;
        memo.Memo1 = QStringList{line};
        pages.appendObject(index, memo);
        top += 300;
    }
}

// A report of `count` A4 pages (the virtual printer's), page n saying
// "Страница n" at its top and whatever `extra` adds below.
void fillReport(TBwReport& report, int count,
                const std::function<QStringList(int page)>& extra = {}) {
    TBwPage& a4 = report.pages().count() ? report.pages()[0] : report.pages().add();
    for (int i = 0; i < count; ++i) {
        report.emfPages().add(a4);
        QStringList lines{QStringLiteral("Страница %1").arg(i + 1)};
        if (extra) lines += extra(i + 1);
        addTexts(report.emfPages(), i, lines);
    }
}

QStringList pageStreams(TBwEMFPages& pages) {
    QStringList out;
    for (int i = 0; i < pages.count(); ++i)
        out << QString::fromLatin1(pages[i].Stream.toHex());
    return out;
}

// Each test starts from the engine's first zoom and an empty settings store.
class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        setLastPreviewZoom({});
    }
    void TearDown() override {
        setLastPreviewZoom({});
        setPrintHandler({});
        setPreviewHandler({});
    }

    // A shown window of a fixed size, not maximised.
    std::unique_ptr<TBwPreviewForm> open(TBwReport& report) {
        auto form = std::make_unique<TBwPreviewForm>(report);
        form->setWindowState(Qt::WindowNoState);
        form->resize(800, 600);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }

    QTemporaryDir settingsDir;
};

// --- layout without a window ---------------------------------------------------

TEST(PreviewLayoutTest, ZoomModesComputeTheirFactorFromTheCurrentPage) {
    TBwPreviewLayout layout;
    layout.setSheets({QSize(758, 1071), QSize(758, 1071), QSize(1071, 758)});
    struct Case {
        const char* name;
        TBwZoomMode mode;
        QSize view;
        double factor;
        int perRow;
    } cases[] = {
        // (778 - 20) / 758: an A4 page is drawn at its own size.
        {"page width", zmPageWidth, QSize(778, 500), 1.0, 1},
        {"whole page", zmWholePage, QSize(2000, 1091), 1.0, 1},
        {"two pages", zmTwoPages, QSize(30 + 2 * 379, 500), 0.5, 2},
        {"explicit 25%", zmFactor, QSize(700, 500), 0.25, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        layout.layout(c.view, c.mode, c.mode == zmFactor ? c.factor : 7.0, 0);
        EXPECT_DOUBLE_EQ(layout.factor(), c.factor);
        EXPECT_EQ(layout.rect(0).width(), std::lround(758 * c.factor));
        // Pages on the first row share its top; the next row starts below the highest.
        const int n = c.perRow;
        for (int i = 1; i < n && i < layout.count(); ++i)
            EXPECT_EQ(layout.rect(i).top(), layout.rect(0).top());
        if (n < layout.count()) {
            EXPECT_EQ(layout.rect(n).top(), layout.rect(0).bottom() + 1 + TBwPreviewLayout::kGap);
        }
    }
}

TEST(PreviewLayoutTest, SinglePagesAreCentredAndScrollRangesLeaveAGap) {
    TBwPreviewLayout layout;
    layout.setSheets({QSize(758, 1071), QSize(758, 1071)});
    layout.layout(QSize(1000, 600), zmFactor, 1.0, 0);
    EXPECT_EQ(layout.rect(0), QRect((1000 - 758) / 2, 10, 758, 1071));
    EXPECT_EQ(layout.rect(1).top(), 10 + 1071 + 10);
    EXPECT_EQ(layout.extent(), QSize(layout.rect(0).right() + 1, 10 + 1071 + 10 + 1071));
    // Vertically the last page ends 10 pixels above the view's bottom;
    // horizontally everything fits.
    EXPECT_EQ(layout.scrollRange(QSize(1000, 600)), QSize(0, 2162 - 600 + 10));
    // Below the line 11 pixels under the top of a view scrolled to page 2.
    EXPECT_EQ(layout.pageCovering(layout.rect(1).top() - 10 + 11), 1);
    EXPECT_EQ(layout.pageCovering(1085), 0);  // in the gap: the page above
    EXPECT_EQ(layout.pageAt(QPoint(500, 1100)), 1);
    EXPECT_EQ(layout.pageAt(QPoint(5, 100)), -1);
}

TEST(PreviewLayoutTest, HugeSheetsOrFactorsStayInsideThePixelRange) {
    // Sheets of 10 m (the longest a file may hold), and a tiny one that
    // page width blows up.
    TBwPreviewLayout layout;
    std::vector<QSize> sheets(4000, QSize(36073, 36073));
    sheets.front() = QSize(1, 1);
    layout.setSheets(sheets);
    const struct {
        const char* name;
        TBwZoomMode mode;
        double factor;
    } cases[] = {{"200%", zmFactor, 2.0},
                 {"a huge factor", zmFactor, 1e12},
                 {"page width of the tiny sheet", zmPageWidth, 1.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        layout.layout(QSize(800, 600), c.mode, c.factor, 0);
        EXPECT_GT(layout.factor(), 0);
        for (int i = 1; i < layout.count(); ++i)
            ASSERT_GT(layout.rect(i).top(), layout.rect(i - 1).top()) << i;
        EXPECT_GT(layout.extent().height(), layout.rect(layout.count() - 1).top());
        EXPECT_LE(layout.extent().height(), TBwPreviewLayout::kMaxExtent);
        EXPECT_GE(layout.scrollRange(QSize(800, 600)).height(), 0);
    }
    // Ordinary sizes keep their factor.
    layout.setSheets({QSize(758, 1071)});
    layout.layout(QSize(800, 600), zmFactor, 2.0, 0);
    EXPECT_DOUBLE_EQ(layout.factor(), 2.0);
}

// --- text capture and search -------------------------------------------------

TEST(TextRecorderTest, RecordsTextRunsInDrawingOrderWithTheirPlace) {
    TBwTextRecorder recorder(QSize(400, 300));
    {
        QPainter p(&recorder);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(20);
        p.setFont(font);
        p.drawText(QPointF(50, 100), QStringLiteral("второй"));
        p.drawLine(0, 0, 10, 10);
        p.translate(100, 100);
        p.drawText(QPointF(10, 50), QStringLiteral("third"));
    }
    const auto& records = recorder.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].text, QStringLiteral("второй"));
    EXPECT_EQ(records[1].text, QStringLiteral("third"));
    // The run's box stands on the baseline and carries the translation.
    EXPECT_NEAR(records[0].rect.left(), 50, 0.5);
    EXPECT_LT(records[0].rect.top(), 100);
    EXPECT_GT(records[0].rect.bottom(), 100);
    EXPECT_GT(records[0].rect.width(), 40);
    EXPECT_NEAR(records[1].rect.left(), 110, 0.5);
    EXPECT_LT(records[1].rect.top(), 150);
}

TEST(TextSearchTest, FindsAcrossPagesInOrderAndFoldsCyrillicCase) {
    TBwReport report;
    fillReport(report, 3, [](int page) {
        return page == 1 ? QStringList{} : QStringList{QStringLiteral("Программа %1").arg(page)};
    });
    TBwEMFPages& pages = report.emfPages();

    const std::vector<TBwTextRecord> texts = pageTextRecords(pages, 1);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, QStringLiteral("Страница 2"));
    EXPECT_EQ(texts[1].text, QStringLiteral("Программа 2"));
    // In sheet units, inside the object at (40, 340).
    EXPECT_GE(texts[1].rect.left(), 40);
    EXPECT_GE(texts[1].rect.top(), 340);
    EXPECT_LE(texts[1].rect.bottom(), 364);

    TBwTextMatch m = findText(pages, QStringLiteral("ПРОГРАММА"), Qt::CaseInsensitive, 0);
    EXPECT_EQ(m.page, 1);
    EXPECT_EQ(m.record, 1);
    m = findText(pages, QStringLiteral("ПРОГРАММА"), Qt::CaseInsensitive, m.page, m.record);
    EXPECT_EQ(m.page, 2);
    m = findText(pages, QStringLiteral("ПРОГРАММА"), Qt::CaseInsensitive, m.page, m.record);
    EXPECT_EQ(m.page, -1);
    EXPECT_EQ(findText(pages, QStringLiteral("ПРОГРАММА"), Qt::CaseSensitive, 0).page, -1);
    EXPECT_EQ(findText(pages, QStringLiteral("рамма 3"), Qt::CaseSensitive, 0).page, 2);
    EXPECT_EQ(findText(pages, QString(), Qt::CaseInsensitive, 0).page, -1);
    // Runs are the unit: one holding the text twice is one match, and a text
    // split over two runs is none.
    TBwReport twice;
    fillReport(twice, 1, [](int) {
        return QStringList{QStringLiteral("да, да"), QStringLiteral("да")};
    });
    m = findText(twice.emfPages(), QStringLiteral("да"), Qt::CaseSensitive, 0);
    EXPECT_EQ(m.record, 1);
    m = findText(twice.emfPages(), QStringLiteral("да"), Qt::CaseSensitive, 0, m.record);
    EXPECT_EQ(m.record, 2);
    EXPECT_EQ(findText(twice.emfPages(), QStringLiteral("да"), Qt::CaseSensitive, 0, 2).page, -1);
    EXPECT_EQ(findText(twice.emfPages(), QStringLiteral("1да"), Qt::CaseSensitive, 0).page, -1);
    // The search decodes pages for itself only.
    EXPECT_FALSE(pages[2].Page);

    // A page drawn within its margins has its text there too.
    TBwPreparedPage& inset = pages[0];
    inset.UseMargins = false;
    inset.LeftMargin = 100;
    inset.TopMargin = 50;
    inset.RightMargin = 100;
    inset.BottomMargin = 50;
    const QSize sheet = pages.sheetSize(0);
    const double sx = (sheet.width() - 200.0) / sheet.width();
    const std::vector<TBwTextRecord> insetTexts = pageTextRecords(pages, 0);
    ASSERT_EQ(insetTexts.size(), 1u);
    EXPECT_NEAR(insetTexts[0].rect.left(), 100 + 40 * sx, 1.5);
    EXPECT_GT(insetTexts[0].rect.top(), 50 + 40 * sx);
}

// --- the window ----------------------------------------------------------------

TEST_F(PreviewTest, HoldsThePagesWhileOpenAndShowsTheStatusLine) {
    TBwReport report;
    fillReport(report, 4);
    const QStringList before = pageStreams(report.emfPages());
    {
        auto form = open(report);
        EXPECT_EQ(report.emfPages().count(), 0);
        EXPECT_EQ(form->statusLabel()->text(), QStringLiteral("Стр. 1/4"));
        EXPECT_EQ(form->pageView()->accessibleDescription(), QStringLiteral("Стр. 1/4"));
        EXPECT_EQ(form->button(TBwPreviewForm::Zoom)->text(), QStringLiteral("100%"));
        // Painting decodes the pages in view and frees those far below it.
        form->pages().page(3);
        form->pageView()->viewport()->repaint();
        EXPECT_TRUE(form->pages()[0].Page);
        EXPECT_FALSE(form->pages()[3].Page);
        QTest::keyClick(form->pageView(), Qt::Key_Escape);
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(form->result(), QDialog::Rejected);
        EXPECT_EQ(pageStreams(report.emfPages()), before);
    }
    EXPECT_EQ(pageStreams(report.emfPages()), before);
}

TEST_F(PreviewTest, PageWidthFitsTheViewAndTheChosenZoomCarriesOver) {
    TBwReport report;
    fillReport(report, 2);
    {
        auto form = open(report);
        QAbstractScrollArea* view = form->pageView();
        // A window whose view is 778 pixels wide shows an A4 sheet at 100 %.
        form->resize(form->width() + 778 - view->viewport()->width(), form->height());
        QCoreApplication::processEvents();
        ASSERT_EQ(view->viewport()->width(), 778);
        form->chooseZoom(zmPageWidth);
        EXPECT_DOUBLE_EQ(form->zoomFactor(), 1.0);
        EXPECT_EQ(form->pageRectInView(0).width(), 758);

        // 75 % from the zoom menu, as a user picks it.
        QAction* item = nullptr;
        for (QAction* a : form->zoomMenu()->actions())
            if (a->text() == QStringLiteral("75%")) item = a;
        ASSERT_TRUE(item);
        item->trigger();
        EXPECT_EQ(form->button(TBwPreviewForm::Zoom)->text(), QStringLiteral("75%"));
        EXPECT_TRUE(item->isChecked());
        form->reject();
    }
    auto next = open(report);
    EXPECT_EQ(next->zoomMode(), zmFactor);
    EXPECT_DOUBLE_EQ(next->zoomFactor(), 0.75);
    EXPECT_EQ(next->pageRectInView(0).width(), std::lround(758 * 0.75));
    next->reject();

    // A report's own initial zoom wins over the remembered one.
    report.InitialZoom = pzOnePage;
    auto whole = open(report);
    EXPECT_EQ(whole->zoomMode(), zmWholePage);
    EXPECT_EQ(whole->pageRectInView(0).height(), whole->pageView()->viewport()->height() - 20);
}

TEST_F(PreviewTest, KeysMoveThroughThePages) {
    TBwReport report;
    fillReport(report, 4);
    auto form = open(report);
    QWidget* view = form->pageView();
    QScrollBar* v = form->pageView()->verticalScrollBar();
    QScrollBar* h = form->pageView()->horizontalScrollBar();
    form->chooseZoom(zmFactor, 1.0);

    QTest::keyClick(view, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(form->currentPage(), 2);
    EXPECT_EQ(form->pageRectInView(1).top(), 10);
    EXPECT_EQ(form->statusLabel()->text(), QStringLiteral("Стр. 2/4"));
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(form->currentPage(), 4);
    QTest::keyClick(view, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(form->currentPage(), 3);
    QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(v->value(), 0);
    EXPECT_EQ(form->currentPage(), 1);

    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(v->value(), 10);
    QTest::keyClick(view, Qt::Key_PageDown);
    EXPECT_EQ(v->value(), 210);
    QTest::keyClick(view, Qt::Key_PageUp);
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(v->value(), 0);
    // Scrolling past a page's end makes the next one current.
    v->setValue(form->layout().rect(1).top() - 11);
    EXPECT_EQ(form->currentPage(), 2);

    // Narrow the view at 200 % so the page is wider than it.
    form->chooseZoom(zmFactor, 2.0);
    h->setValue(0);
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(h->value(), 10);
    QTest::keyClick(view, Qt::Key_Left);
    EXPECT_EQ(h->value(), 0);

    // Space opens the zoom menu.
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_TRUE(form->zoomMenu()->isVisible());
    form->zoomMenu()->hide();

    // All pages in one row: nothing scrolls, yet the keys still change pages
    // and stop at either end.
    form->chooseZoom(zmFactor, 0.1);
    ASSERT_EQ(v->maximum(), 0);
    const std::pair<Qt::Key, int> steps[] = {{Qt::Key_End, 4},
                                             {Qt::Key_PageDown, 4},
                                             {Qt::Key_Home, 1},
                                             {Qt::Key_PageUp, 1},
                                             {Qt::Key_PageDown, 2}};
    for (const auto& [key, page] : steps) {
        QTest::keyClick(view, key, Qt::ControlModifier);
        EXPECT_EQ(form->currentPage(), page) << int(key);
    }
}

TEST_F(PreviewTest, MouseMakesPagesCurrentScrollsAndPans) {
    TBwReport report;
    fillReport(report, 4);
    auto form = open(report);
    form->chooseZoom(zmFactor, 0.25);  // several pages side by side
    QWidget* viewport = form->pageView()->viewport();
    QScrollBar* v = form->pageView()->verticalScrollBar();
    ASSERT_EQ(form->pageRectInView(2).top(), form->pageRectInView(0).top());

    QTest::mouseClick(viewport, Qt::LeftButton, {}, form->pageRectInView(2).center());
    EXPECT_EQ(form->currentPage(), 3);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(2, 2));  // the grey around the pages
    EXPECT_EQ(form->currentPage(), 3);

    form->chooseZoom(zmFactor, 1.0);
    v->setValue(100);
    QWheelEvent down(QPointF(50, 50), viewport->mapToGlobal(QPointF(50, 50)), QPoint(),
                     QPoint(0, -240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &down);
    EXPECT_EQ(v->value(), 120);

    // Dragging up by 50 pixels moves the pages up with the pointer.
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(300, 300));
    QMouseEvent move(QEvent::MouseMove, QPointF(300, 250), viewport->mapToGlobal(QPointF(300, 250)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(300, 250));
    EXPECT_EQ(v->value(), 170);

    // The right button opens the zoom menu.
    QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(300, 300));
    EXPECT_TRUE(form->zoomMenu()->isVisible());
    form->zoomMenu()->hide();

    // A handler for object clicks receives the object instead.
    QString clicked;
    report.OnObjectClick = [&](TBwView* view) { clicked = view->Memo1.join(u' '); };
    form->goToPage(2);
    const QRect page = form->pageRectInView(1);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, page.topLeft() + QPoint(60, 50));
    EXPECT_EQ(clicked, QStringLiteral("Страница 2"));

    // The pointer over an object takes the cursor the handler chooses.
    report.OnMouseOverObject = [](TBwView*, Qt::CursorShape& cursor) {
        cursor = Qt::PointingHandCursor;
    };
    QTest::mouseMove(viewport, page.topLeft() + QPoint(60, 50));
    EXPECT_EQ(viewport->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(viewport, page.topLeft() + QPoint(60, 150));
    EXPECT_EQ(viewport->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PreviewTest, SearchFindsTextOnLaterPagesAndF3GoesOn) {
    TBwReport report;
    fillReport(report, 4, [](int page) {
        return page == 2 || page == 4 ? QStringList{QStringLiteral("программа здоровья")}
                                      : QStringList{};
    });
    auto form = open(report);
    form->chooseZoom(zmFactor, 1.0);

    ASSERT_TRUE(form->find(QStringLiteral("ПРОГРАММА"), false, true));
    EXPECT_EQ(form->currentPage(), 2);
    EXPECT_EQ(form->matchPage(), 1);
    // The match is in view.
    const QRect page = form->pageRectInView(1);
    const QRectF m = form->matchRect();
    const QPoint inView = page.topLeft() + m.center().toPoint();
    EXPECT_TRUE(form->pageView()->viewport()->rect().contains(inView));

    QTest::keyClick(form->pageView(), Qt::Key_F3);
    EXPECT_EQ(form->currentPage(), 4);
    // Nothing after the last match: the view stays where it is.
    const int scrolled = form->pageView()->verticalScrollBar()->value();
    QTest::keyClick(form->pageView(), Qt::Key_F3);
    EXPECT_EQ(form->currentPage(), 4);
    EXPECT_EQ(form->pageView()->verticalScrollBar()->value(), scrolled);

    EXPECT_FALSE(form->find(QStringLiteral("ПРОГРАММА"), true, true));
    // Going on from the current page skips the match before it.
    form->goToPage(3);
    ASSERT_TRUE(form->find(QStringLiteral("программа"), true, false));
    EXPECT_EQ(form->currentPage(), 4);
}

// Counts the modal dialogs that open meanwhile, and closes each.
class ModalCounter {
public:
    ModalCounter() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++count;
                modal->close();
            }
        });
        m_timer.start(20);
    }
    int count = 0;

private:
    QTimer m_timer;
};

TEST_F(PreviewTest, AFailedOrEmptySearchLeavesNoMatchAndAsksNothing) {
    TBwReport report;
    fillReport(report, 3);
    auto form = open(report);
    form->chooseZoom(zmFactor, 1.0);
    ModalCounter modals;

    EXPECT_FALSE(form->find(QString(), false, true));
    EXPECT_FALSE(form->findNext());
    QTest::qWait(60);
    EXPECT_EQ(modals.count, 0) << "a caller's search must not open a dialog";
    // F3 before any search asks for the text.
    QTest::keyClick(form->pageView(), Qt::Key_F3);
    EXPECT_EQ(modals.count, 1);

    ASSERT_TRUE(form->find(QStringLiteral("страница 2"), false, true));
    EXPECT_EQ(form->matchPage(), 1);
    const int scrolled = form->pageView()->verticalScrollBar()->value();
    EXPECT_FALSE(form->find(QStringLiteral("нет такого текста"), false, true));
    EXPECT_EQ(form->matchPage(), -1);
    EXPECT_TRUE(form->matchRect().isEmpty());
    EXPECT_EQ(form->currentPage(), 2);
    EXPECT_EQ(form->pageView()->verticalScrollBar()->value(), scrolled);
    EXPECT_FALSE(form->findNext());
    EXPECT_EQ(form->matchPage(), -1);
}

TEST_F(PreviewTest, AddedToolsShowTheirHintAndAnswerTheirShortcut) {
    TBwReport report;
    fillReport(report, 2);
    std::vector<QWidget*> called;
    report.PreviewTools.push_back(
        {QStringLiteral("Обоснование"), QStringLiteral("Обоснование рекомендаций (F6)"),
         QKeySequence(Qt::Key_F6), [&](QWidget* preview) { called.push_back(preview); }});
    // Taken by the engine's own key, so this one never runs from the keyboard.
    report.PreviewTools.push_back({QStringLiteral("Другое"), QStringLiteral("Другое"),
                                   QKeySequence(Qt::CTRL | Qt::Key_F),
                                   [&](QWidget*) { ADD_FAILURE() << "Ctrl+F is the search's"; }});
    auto form = open(report);
    QWidget* button = form->findChild<QToolBar*>()->widgetForAction(form->addedTool(0));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(button->accessibleName(), QStringLiteral("Обоснование рекомендаций (F6)"));
    EXPECT_EQ(form->addedTool(0)->toolTip(), QStringLiteral("Обоснование рекомендаций (F6)"));
    EXPECT_EQ(form->addedTool(0)->text(), QStringLiteral("Обоснование"));

    QTest::keyClick(form->pageView(), Qt::Key_F6);
    ASSERT_EQ(called.size(), 1u);
    EXPECT_EQ(called[0], form.get());
    QTest::keyClick(form->pageView(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(called.size(), 1u);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(called.size(), 2u);
    EXPECT_TRUE(form->isVisible());

    bool searched = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        searched = dynamic_cast<TBwSearchForm*>(modal) != nullptr;
        if (modal) modal->close();
    });
    QTest::keyClick(form->pageView(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(searched);
}

TEST_F(PreviewTest, AReportWithoutPagesHasNoCurrentPage) {
    TBwReport report;
    auto form = open(report);
    EXPECT_EQ(form->currentPage(), 0);
    EXPECT_EQ(form->statusLabel()->text(), QStringLiteral("Стр. 0/0"));
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_End, Qt::ControlModifier},
                                         {Qt::Key_PageDown, Qt::ControlModifier},
                                         {Qt::Key_PageUp, Qt::ControlModifier},
                                         {Qt::Key_Down, Qt::NoModifier}})
        QTest::keyClick(form->pageView(), key, modifiers);
    for (const TBwZoomMode mode : {zmPageWidth, zmWholePage, zmTwoPages})
        form->chooseZoom(mode);
    form->pageView()->viewport()->repaint();
    EXPECT_EQ(form->statusLabel()->text(), QStringLiteral("Стр. 0/0"));
    EXPECT_FALSE(form->find(QStringLiteral("что-то"), false, true));
}

TEST_F(PreviewTest, SearchDialogCarriesTheTextsAndChoices) {
    TBwSearchForm dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Поиск"));
    EXPECT_EQ(dialog.caseBox()->text(), QStringLiteral("Различать &регистр"));
    EXPECT_EQ(dialog.fromStartButton()->text(), QStringLiteral("С &начала"));
    EXPECT_EQ(dialog.continueButton()->text(), QStringLiteral("&Продолжить"));
    EXPECT_TRUE(dialog.fromStart());
    EXPECT_EQ(dialog.textEdit()->accessibleName(), QStringLiteral("Искать текст"));

    // Through the window: Ctrl+F opens it, and what is typed is searched.
    TBwReport report;
    fillReport(report, 3);
    auto form = open(report);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* d = dynamic_cast<TBwSearchForm*>(modal);
        if (!d) {
            if (modal) modal->close();
            return;
        }
        seen = true;
        d->textEdit()->setText(QStringLiteral("страница 3"));
        d->accept();
    });
    QTest::keyClick(form->pageView(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(seen);
    EXPECT_EQ(form->currentPage(), 3);
}

TEST_F(PreviewTest, SavesAndLoadsPreparedReports) {
    QTemporaryDir dir;
    TBwReport report;
    fillReport(report, 3);
    const QStringList streams = pageStreams(report.emfPages());
    QString saved;
    {
        auto form = open(report);
        saved = form->saveFile(dir.filePath(QStringLiteral("отчет.txt")));
        form->reject();
    }
    EXPECT_EQ(saved, dir.filePath(QStringLiteral("отчет.bwp")));

    TBwReport other;
    fillReport(other, 1);
    auto form = open(other);
    ASSERT_TRUE(form->loadFile(saved));
    EXPECT_EQ(pageStreams(form->pages()), streams);
    EXPECT_EQ(form->statusLabel()->text(), QStringLiteral("Стр. 1/3"));

    // A damaged file is refused in an error box; the pages stay.
    QFile bad(dir.filePath(QStringLiteral("bad.bwp")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray::fromHex("180000") + test::le32(5));
    bad.close();
    test::MessageCapture messages;
    EXPECT_FALSE(form->loadFile(bad.fileName()));
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.titles[0], QStringLiteral("Ошибка"));
    EXPECT_TRUE(messages.texts[0].contains(bad.fileName()));
    EXPECT_EQ(pageStreams(form->pages()), streams);
    EXPECT_FALSE(form->loadFile(dir.filePath(QStringLiteral("missing.bwp"))));
    EXPECT_EQ(messages.texts.size(), 2);
}

// Files cannot grow past `bytes` while it lives, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_previous{};
    void (*m_handler)(int) = nullptr;
};

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(PreviewTest, AFailedWriteLeavesTheFileItReplacesWhole) {
    TBwReport report;
    fillReport(report, 3);
    auto form = open(report);
    const struct {
        const char* name;
        std::function<bool(const QString&)> write;
    } cases[] = {
        {"old.bwp", [&](const QString& f) { return !form->saveFile(f).isEmpty(); }},
        {"old.pdf", [&](const QString& f) { return form->exportPdfFile(f); }},
    };
    const QByteArray old(20, 'x');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
        file.close();
        test::MessageCapture messages;
        {
            const FileSizeLimit full(40);
            EXPECT_FALSE(c.write(path));
        }
        EXPECT_EQ(messages.texts.size(), 1);
        EXPECT_TRUE(messages.texts.value(0).contains(path));
        EXPECT_EQ(fileBytes(path), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{c.name});
        // With room the same call replaces it.
        EXPECT_TRUE(c.write(path));
        EXPECT_NE(fileBytes(path), old);
    }
}

TEST_F(PreviewTest, PrintingFollowsPrintersInstalledWhileRunning) {
    auto platform = std::make_unique<test::FakePrinters>();
    test::FakePrinters& printers = *platform;
    printers.names.clear();
    TBwPrinter::TEST_setPlatform(std::move(platform));
    struct Restore {
        ~Restore() { TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform()); }
    } restore;
    setPrintHandler([](TBwReport&, QWidget*) { return true; });
    TBwReport report;
    fillReport(report, 1);
    {
        auto form = open(report);
        EXPECT_FALSE(form->action(TBwPreviewForm::Print)->isEnabled());
        form->reject();
    }
    printers.names = {QStringLiteral("Office")};
    auto form = open(report);
    EXPECT_TRUE(form->action(TBwPreviewForm::Print)->isEnabled());
    EXPECT_EQ(TBwPrinter::instance().printerName(), QStringLiteral("Office"));
}

// A page built in memory whose object stream was damaged afterwards: export
// and printing report it, leave no half-written file or running job, and
// the window keeps its pages.
TEST_F(PreviewTest, APageThatCannotBeDrawnIsReportedAndLeavesNothingHalfDone) {
    TBwPrinter::TEST_setPlatform(std::make_unique<test::FakePrinters>());
    const TBwProgressRunner runner = progressRunner();
    installProgressWindow();
    struct Restore {
        TBwProgressRunner runner;
        ~Restore() {
            TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform());
            setProgressRunner(runner);
        }
    } restore{runner};
    test::RecordingTarget target;
    setPrintHandler([&target](TBwReport& r, QWidget* parent) {
        return printPreparedReportDlg(r, parent, 0, &target);
    });
    TBwReport report;
    report.ShowPrintDialog = false;
    report.ShowProgress = true;
    fillReport(report, 3);
    auto form = open(report);
    form->pages().freePage(1);
    form->pages()[1].Stream.truncate(3);
    ASSERT_ANY_THROW(form->pages().page(1));
    form->pages().freePage(1);

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("old.pdf"));
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old");
    file.close();
    test::MessageCapture messages;
    EXPECT_FALSE(form->exportPdfFile(pdf));
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.titles[0], QStringLiteral("Ошибка"));
    EXPECT_TRUE(messages.texts[0].contains(pdf));
    EXPECT_EQ(fileBytes(pdf), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.pdf")});

    QTest::keyClick(form->pageView(), Qt::Key_P, Qt::ControlModifier);
    ASSERT_EQ(messages.texts.size(), 2);
    EXPECT_EQ(messages.titles[1], QStringLiteral("Ошибка"));
    EXPECT_TRUE(messages.texts[1].startsWith(QStringLiteral("Не удалось напечатать отчет")));
    ASSERT_EQ(target.jobs.size(), 1u);
    EXPECT_TRUE(target.jobs[0].aborted);
    EXPECT_FALSE(target.jobs[0].ended);
    EXPECT_FALSE(TBwPrinter::instance().printing());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the progress window closed";
    EXPECT_EQ(form->pageCount(), 3);
    EXPECT_EQ(report.emfPages().count(), 0);
    EXPECT_EQ(form->statusText(), QStringLiteral("Стр. 1/3"));
}

TEST_F(PreviewTest, ButtonsFollowPreviewButtonsAndCarryTheirHints) {
    TBwReport report;
    fillReport(report, 1);
    report.PreviewButtons = pbZoom | pbFind | pbExit;
    auto form = open(report);
    using F = TBwPreviewForm;
    const std::pair<F::Tool, bool> visible[] = {
        {F::Zoom, true}, {F::Load, false},  {F::Save, false},
        {F::Pdf, false}, {F::Print, false}, {F::PageSetup, false},
        {F::Find, true}, {F::Help, false},  {F::Exit, true}};
    for (const auto& [tool, shown] : visible)
        EXPECT_EQ(form->button(tool)->isVisible(), shown) << tool;
    EXPECT_EQ(form->button(F::Find)->toolTip(), QStringLiteral("Поиск"));
    EXPECT_EQ(form->button(F::Exit)->accessibleName(), QStringLiteral("Выход"));
    EXPECT_EQ(form->button(F::Zoom)->accessibleName(), QStringLiteral("Масштаб"));
    // Hidden buttons take no keys either: no file dialog comes up.
    bool dialog = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            dialog = true;
            modal->close();
        }
    });
    QTest::keyClick(form->pageView(), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(form->pageView(), Qt::Key_O, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialog);
}

TEST_F(PreviewTest, GrayedButtonsTakeColourUnderThePointerAndHelpShowsTheKeys) {
    TBwReport report;
    fillReport(report, 1);
    report.GrayedButtons = true;
    auto form = open(report);
    QAction* find = form->action(TBwPreviewForm::Find);
    const qint64 grey = find->icon().cacheKey();
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(form->button(TBwPreviewForm::Find), &enter);
    EXPECT_NE(find->icon().cacheKey(), grey);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(form->button(TBwPreviewForm::Find), &leave);
    EXPECT_EQ(find->icon().cacheKey(), grey);

    QString help;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (auto* text = modal->findChild<QTextBrowser*>()) help = text->toPlainText();
        modal->close();
    });
    form->action(TBwPreviewForm::Help)->trigger();
    EXPECT_TRUE(help.contains(QStringLiteral("Ctrl+F"))) << help.toStdString();
    EXPECT_TRUE(help.contains(QStringLiteral("Esc")));
}

// Answers the next file dialog with `path`.
void answerFileDialog(const QString& path, QString* offered = nullptr) {
    QTimer::singleShot(0, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = dynamic_cast<QFileDialog*>(modal);
        if (!dialog) {
            if (modal) modal->close();
            return;
        }
        if (offered && !dialog->selectedFiles().isEmpty())
            *offered = QFileInfo(dialog->selectedFiles().constFirst()).fileName();
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
    });
}

TEST_F(PreviewTest, FileButtonsGoThroughTheirDialogs) {
    QTemporaryDir dir;
    TBwReport report;
    report.Title = QStringLiteral("Рекомендации");
    fillReport(report, 2);
    auto form = open(report);

    answerFileDialog(dir.filePath(QStringLiteral("saved")));
    QTest::keyClick(form->pageView(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("saved.bwp"))));

    QString offered;
    answerFileDialog(dir.filePath(QStringLiteral("report.pdf")), &offered);
    QTest::keyClick(form->pageView(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(offered, suggestedPdfName(report.Title, QDate::currentDate()));
    QFile pdf(dir.filePath(QStringLiteral("report.pdf")));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");

    TBwReport other;
    fillReport(other, 1);
    auto second = open(other);
    answerFileDialog(dir.filePath(QStringLiteral("saved.bwp")));
    QTest::keyClick(second->pageView(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(second->statusText(), QStringLiteral("Стр. 1/2"));
}

// One installed printer that takes any paper at 300 dpi.
class OnePrinter : public TBwPrinterPlatform {
public:
    QStringList printerNames() override { return {QStringLiteral("Office")}; }
    QString defaultPrinterName() override { return QStringLiteral("Office"); }
    bool apply(const QString&, const TBwPaperRequest& r, TBwDeviceState& out) override {
        out = {};
        out.paperCode = r.code ? r.code : 9;
        out.paperWidth = r.width ? r.width : 2100;
        out.paperHeight = r.height ? r.height : 2970;
        out.orientation = r.orientation;
        out.dpiX = out.dpiY = 300;
        out.sheetWidthPx = out.printableWidthPx = out.paperWidth * 300 / 254;
        out.sheetHeightPx = out.printableHeightPx = out.paperHeight * 300 / 254;
        out.paperCodes = {9};
        return true;
    }
    QPrinter* device(const QString&) override { return &printer; }
    QPrinter printer;
};

TEST_F(PreviewTest, PrintGoesThroughTheHookWithThePagesHandedBack) {
    TBwReport report;
    fillReport(report, 2);
    {
        // No printer installed: nothing to print on, hook or not.
        setPrintHandler([](TBwReport&, QWidget*) { return true; });
        auto form = open(report);
        EXPECT_FALSE(form->action(TBwPreviewForm::Print)->isEnabled());
        form->reject();
    }
    TBwPrinter::TEST_setPlatform(std::make_unique<OnePrinter>());
    struct Restore {
        ~Restore() { TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform()); }
    } restore;
    setPrintHandler({});
    {
        auto form = open(report);
        EXPECT_FALSE(form->action(TBwPreviewForm::Print)->isEnabled());
        form->reject();
    }
    int printedPages = -1;
    setPrintHandler([&](TBwReport& r, QWidget* parent) {
        printedPages = r.emfPages().count();
        return parent != nullptr;
    });
    auto form = open(report);
    EXPECT_TRUE(form->action(TBwPreviewForm::Print)->isEnabled());
    QTest::keyClick(form->pageView(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(printedPages, 2);
    EXPECT_EQ(form->pageCount(), 2);
    EXPECT_EQ(report.emfPages().count(), 0);
}

TEST_F(PreviewTest, PageSetupGivesEveryPageTheChosenPaperAndMargins) {
    auto platform = std::make_unique<OnePrinter>();
    QPrinter& device = platform->printer;
    device.setOutputFormat(QPrinter::PdfFormat);
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A5), QPageLayout::Landscape,
                                     QMarginsF(10, 20, 10, 20), QPageLayout::Millimeter));
    TBwPrinter::TEST_setPlatform(std::move(platform));
    struct Restore {
        ~Restore() { TBwPrinter::TEST_setPlatform(makeNoPrinterPlatform()); }
    } restore;

    TBwReport report;
    report.PreviewButtons |= pbPageSetup;
    fillReport(report, 2);
    auto form = open(report);
    ASSERT_TRUE(form->action(TBwPreviewForm::PageSetup)->isEnabled());
    bool accepted = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            accepted = true;
            static_cast<QDialog*>(modal)->accept();
        }
    });
    form->action(TBwPreviewForm::PageSetup)->trigger();
    ASSERT_TRUE(accepted);
    for (int i = 0; i < 2; ++i) {
        const TBwPreparedPage& p = form->pages()[i];
        EXPECT_EQ(p.pgOr, poLandscape);
        EXPECT_EQ(p.pgWidth, 2100);
        EXPECT_EQ(p.pgHeight, 1480);
        EXPECT_NEAR(p.LeftMargin, 10 * 18600.0 / 203 / 25.4, 1);
        EXPECT_NEAR(p.TopMargin, 20 * 18600.0 / 203 / 25.4, 1);
    }
    // The view lays the pages out on their new sheets.
    EXPECT_GT(form->layout().rect(0).width(), form->layout().rect(0).height());
}

TEST_F(PreviewTest, BoundsAreKeptPerUserAndTheFirstOpeningIsMaximised) {
    TBwReport report;
    fillReport(report, 1);
    {
        TBwPreviewForm first(report);
        EXPECT_TRUE(first.windowState() & Qt::WindowMaximized);
    }
    {
        auto form = open(report);
        form->setGeometry(40, 50, 640, 480);
        QCoreApplication::processEvents();
        form->reject();
    }
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Bandwright"),
                       QStringLiteral("Form"));
    settings.beginGroup(QStringLiteral("TBwPreviewForm"));
    EXPECT_EQ(settings.value(QStringLiteral("Width")).toInt(), 640);
    EXPECT_EQ(settings.value(QStringLiteral("Height")).toInt(), 480);
    EXPECT_FALSE(settings.value(QStringLiteral("Maximized")).toBool());
    TBwPreviewForm again(report);
    EXPECT_FALSE(again.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(again.geometry().size(), QSize(640, 480));
}

TEST_F(PreviewTest, ShowReportOpensTheWindowModally) {
    TBwReport report;
    fillReport(report, 3);
    installPreviewWindow();
    QString status;
    int heldByReport = -1;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* form = dynamic_cast<TBwPreviewForm*>(modal);
        if (!form) {
            if (modal) modal->close();
            return;
        }
        status = form->statusText();
        heldByReport = report.emfPages().count();
        QTest::keyClick(form->pageView(), Qt::Key_Escape);
    });
    EXPECT_TRUE(report.showPreparedReport());
    EXPECT_EQ(status, QStringLiteral("Стр. 1/3"));
    EXPECT_EQ(heldByReport, 0);
    EXPECT_EQ(report.emfPages().count(), 3);

    // Without ModalPreview the call returns with the window up.
    report.ModalPreview = false;
    EXPECT_TRUE(report.showPreparedReport());
    TBwPreviewForm* open = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = dynamic_cast<TBwPreviewForm*>(w); f && f->isVisible()) open = f;
    ASSERT_TRUE(open);
    EXPECT_EQ(report.emfPages().count(), 0);
    QPointer<TBwPreviewForm> watch(open);
    open->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(report.emfPages().count(), 3);

    // A report that goes first takes the window with it.
    auto owned = std::make_unique<TBwReport>();
    fillReport(*owned, 2);
    owned->ModalPreview = false;
    owned->showPreparedReport();
    watch = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = dynamic_cast<TBwPreviewForm*>(w); f && f->isVisible()) watch = f;
    ASSERT_TRUE(watch);
    owned.reset();
    EXPECT_FALSE(watch->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
}

// --- PDF -------------------------------------------------------------------------

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

TEST(PdfExportTest, WritesEachPageOnItsOwnPaperWithSearchableText) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        GTEST_SKIP() << "poppler-utils not installed";
    TBwReport report;
    report.Title = QStringLiteral("Рекомендации");
    fillReport(report, 3, [](int page) {
        return QStringList{QStringLiteral("Программа здоровья %1").arg(page)};
    });
    // The second page on landscape A5.
    TBwPage a5;
    a5.changePaper(11, 1480, 2100, kDefaultBin, poLandscape);
    auto& second = report.emfPages()[1];
    second.pgWidth = a5.pgWidth;
    second.pgHeight = a5.pgHeight;
    second.pgOr = a5.pgOr;
    second.PrnInfo = a5.PrnInfo;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.pdf"));
    QString error;
    ASSERT_TRUE(exportPdf(report, path, &error)) << error.toStdString();

    const QString info =
        run(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"),
                                        QStringLiteral("-l"), QStringLiteral("3"), path});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Title:\\s+Рекомендации\\n"))));
    const auto pageSize = [&](int n) {
        const QRegularExpression re(
            QStringLiteral("Page\\s+%1 size:\\s+([\\d.]+) x ([\\d.]+)").arg(n));
        const auto m = re.match(info);
        return QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    };
    EXPECT_NEAR(pageSize(1).width(), 595, 2);  // A4 portrait, in points
    EXPECT_NEAR(pageSize(1).height(), 842, 2);
    EXPECT_NEAR(pageSize(2).width(), 595, 2);  // A5 landscape
    EXPECT_NEAR(pageSize(2).height(), 420, 2);
    EXPECT_NEAR(pageSize(3).height(), 842, 2);

    for (int n = 1; n <= 3; ++n) {
        const QString text = run(QStringLiteral("pdftotext"),
                                 {QStringLiteral("-f"), QString::number(n), QStringLiteral("-l"),
                                  QString::number(n), path, QStringLiteral("-")});
        EXPECT_TRUE(text.contains(QStringLiteral("Страница %1").arg(n))) << n;
        EXPECT_TRUE(text.contains(QStringLiteral("Программа здоровья %1").arg(n))) << n;
    }
}

TEST(PdfExportTest, RefusesAnEmptyReportAndAnUnwritablePath) {
    TBwReport report;
    QString error;
    EXPECT_FALSE(exportPdf(report, QStringLiteral("/tmp/never.pdf"), &error));
    EXPECT_EQ(error, QStringLiteral("В отчете нет страниц"));
    fillReport(report, 1);
    EXPECT_FALSE(exportPdf(report, QStringLiteral("/nonexistent-dir/x.pdf"), &error));
    EXPECT_TRUE(
        error.startsWith(QStringLiteral("Не удалось записать файл /nonexistent-dir/x.pdf")));
}

TEST(PdfExportTest, SuggestsTheTitleAndTheDate) {
    const QDate day(2026, 12, 11);
    EXPECT_EQ(suggestedPdfName(QStringLiteral("Рекомендации"), day),
              QStringLiteral("Рекомендации 2026-12-11.pdf"));
    EXPECT_EQ(suggestedPdfName(QString(), day), QStringLiteral("Отчёт 2026-12-11.pdf"));
    EXPECT_EQ(suggestedPdfName(QStringLiteral("a/b: c?"), day),
              QStringLiteral("a_b_ c_ 2026-12-11.pdf"));
}

}  // namespace
}  // namespace bwreport
