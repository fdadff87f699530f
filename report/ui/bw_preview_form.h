// The preview window: a report's prepared pages on screen at a chosen zoom,
// with paging, text search, prepared-report files, PDF export and a hook for
// printing. While it is open it holds the report's prepared pages.
#pragma once

#include <QDialog>
#include <QRectF>
#include <functional>
#include <memory>
#include <vector>

#include "document/bw_prepared_pages.h"
#include "render/bw_preview_layout.h"

class QAbstractScrollArea;
class QAction;
class QLabel;
class QMenu;
class QToolBar;
class QToolButton;

namespace bwreport {

class TBwReport;
class TBwPreviewView;

// Prints the report (its prepared pages are back in it while this runs);
// true when something was printed. Without one the window cannot print.
using TBwPrintHandler = std::function<bool(TBwReport& report, QWidget* parent)>;
TBwPrintHandler setPrintHandler(TBwPrintHandler handler);

// The zoom the last zoom-menu choice left, for the next preview.
struct TBwPreviewZoomChoice {
    TBwZoomMode mode = zmFactor;
    double factor = 1.0;
};
TBwPreviewZoomChoice lastPreviewZoom();
void setLastPreviewZoom(TBwPreviewZoomChoice zoom);

class TBwPreviewForm : public QDialog {
public:
    enum Tool { Zoom, Load, Save, Pdf, Print, PageSetup, Find, Help, Exit, ToolCount };

    explicit TBwPreviewForm(TBwReport& report, QWidget* parent = nullptr);
    ~TBwPreviewForm() override;

    TBwReport& report() const { return m_report; }
    // The pages shown: the report's own until the window closes.
    TBwEMFPages& pages() { return m_pages; }

    // --- pages -----------------------------------------------------------
    int pageCount() const { return m_pages.count(); }
    // From 1; 0 when there are no pages.
    int currentPage() const;
    // Scrolls page `number` (from 1) to 10 pixels below the view's top.
    void goToPage(int number);
    QString statusText() const;

    // --- zoom ------------------------------------------------------------
    // As chosen from the zoom menu: shown and remembered for the next preview.
    void chooseZoom(TBwZoomMode mode, double factor = 1.0);
    TBwZoomMode zoomMode() const { return m_mode; }
    double zoomFactor() const { return m_layout.factor(); }
    QString zoomCaption() const;
    const TBwPreviewLayout& layout() const { return m_layout; }
    QMenu* zoomMenu() const { return m_zoomMenu; }

    // --- files (the buttons ask for the name, then call these) -----------
    // Replaces the pages with the file's; a file that cannot be read is
    // reported in an error box and leaves the pages as they were.
    bool loadFile(const QString& fileName);
    // Returns the name written (always ending in ".bwp"), or empty after an
    // error box.
    QString saveFile(const QString& fileName);
    bool exportPdfFile(const QString& fileName);

    // --- search ------------------------------------------------------------
    // Starts a search from the first page or the current one; an empty
    // text finds nothing.
    bool find(const QString& text, bool caseSensitive, bool fromStart);
    // Goes on after the last match; false (the view unchanged) when there is
    // none or nothing was searched yet.
    bool findNext();
    // The last match's page (from 0) and rectangle in sheet units; page -1 when none.
    int matchPage() const { return m_matchPage; }
    QRectF matchRect() const { return m_matchRect; }

    // --- widgets -------------------------------------------------------------
    QAbstractScrollArea* pageView() const;
    QAction* action(Tool tool) const { return m_actions[tool]; }
    QToolButton* button(Tool tool) const;
    QLabel* statusLabel() const { return m_status; }
    // The buttons of the report's PreviewTools, in their order.
    QAction* addedTool(int index) const { return m_addedTools.at(std::size_t(index)); }

    // A page's rectangle in the view (scrolled), and where its sheet is drawn.
    QRect pageRectInView(int index) const;

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TBwPreviewView;

    void init();
    void buildToolBar();
    void buildZoomMenu();
    void updateZoomMenu();
    void readBounds();
    void writeBounds();
    void relayout();
    void resetSheets();
    void updateScrollBars();
    void updateStatus();
    void setCurrent(int index);
    void takePagesBack();
    void giveTheReportItsPages();
    void reportDestroyed();
    void showMatch();
    bool handleKey(QKeyEvent* event);
    bool runAddedTool(QKeyEvent* event);
    void scrollBy(int dx, int dy);

    // Tool actions.
    void openFile();
    void saveAs();
    void exportPdfAs();
    void print();
    void pageSetup();
    void openFindDialog();
    void showHelp();
    void popupZoomMenu(const QPoint& globalPos);

    // View events.
    void paintPages(QPainter& painter, const QRect& area);
    void pressAt(const QPoint& pos);
    void hoverAt(const QPoint& pos);
    TBwView* objectAt(const QPoint& pos, int* pageIndex = nullptr);

    TBwReport& m_report;
    TBwEMFPages m_pages;
    bool m_pagesReturned = false;
    // Hears when the report goes: a window that is not modal can outlive it.
    struct ReportWatch;
    std::unique_ptr<ReportWatch> m_watch;

    TBwPreviewView* m_view = nullptr;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_status = nullptr;
    QMenu* m_zoomMenu = nullptr;
    QAction* m_actions[ToolCount] = {};
    std::vector<QAction*> m_addedTools;
    QIcon m_icons[ToolCount];
    QIcon m_grayIcons[ToolCount];

    TBwPreviewLayout m_layout;
    TBwZoomMode m_mode = zmFactor;
    double m_factor = 1.0;
    int m_current = 0;

    QString m_searchText;
    bool m_caseSensitive = false;
    // Where the next match is looked for: on this page after this text run.
    int m_searchPage = 0;
    int m_searchRecord = -1;
    int m_matchPage = -1;
    QRectF m_matchRect;
};

// Makes show-report open the preview window (modal per ModalPreview) while
// a QApplication exists.
void installPreviewWindow();
// Shows the engine's error messages in message boxes.
void installMessageBoxes();
// Everything a program with windows wants from the engine: the preview,
// the progress window, dialog pages with the scripts' input and message
// boxes, error boxes, and the preview's print button going to the print
// dialog (its "current page" being the preview's).
void installReportWindows();

}  // namespace bwreport
