#include "ui/bw_preview_form.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "base/bw_messages.h"
#include "base/bw_stream.h"
#include "base/bw_strings.h"
#include "build/bw_builder.h"
#include "document/bw_pdf_export.h"
#include "document/bw_prepared_file.h"
#include "document/bw_report.h"
#include "document/bw_text_search.h"
#include "objects/bw_view.h"
#include "printer/bw_paper_table.h"
#include "printer/bw_printer.h"
#include "ui/bw_dialog_form.h"
#include "ui/bw_print_form.h"
#include "ui/bw_progress_form.h"
#include "ui/bw_search_form.h"

namespace bwreport {

namespace {

TBwPrintHandler& printSlot() {
    static TBwPrintHandler handler;
    return handler;
}

TBwPreviewZoomChoice& zoomSlot() {
    static TBwPreviewZoomChoice zoom;
    return zoom;
}

constexpr int kLineStep = 10;   // arrows and the wheel
constexpr int kPageStep = 200;  // Page Up and Page Down
// Decoded pages further below the view than this are freed.
constexpr int kKeepBelow = 2000;

const QColor kBackground(0x80, 0x80, 0x80);

// Where the window keeps its bounds, per user, under the engine's key and
// then "Form\" and the window's class name.
constexpr auto kSettingsOrganization = "Bandwright";
constexpr auto kSettingsForms = "Form";
constexpr auto kFormClass = "TBwPreviewForm";

QString reportFileFilter() {
    return TBwLocale::loadStr(sReportFile) + QStringLiteral(" (*.bwp)");
}

// A glyph of our own where the style has none that fits.
QIcon glyph(const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return QIcon(pixmap);
}

QIcon grayed(const QIcon& icon) {
    QIcon out;
    for (const QSize size : {QSize(16, 16), QSize(24, 24), QSize(32, 32)}) {
        QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int g = qGray(line[x]) / 2 + 96;
                line[x] = qRgba(g, g, g, qAlpha(line[x]));
            }
        }
        out.addPixmap(QPixmap::fromImage(image));
    }
    return out;
}

}  // namespace

TBwPrintHandler setPrintHandler(TBwPrintHandler handler) {
    std::swap(handler, printSlot());
    return handler;
}

TBwPreviewZoomChoice lastPreviewZoom() {
    return zoomSlot();
}

void setLastPreviewZoom(TBwPreviewZoomChoice zoom) {
    zoomSlot() = zoom;
}

struct TBwPreviewForm::ReportWatch : TBwComponent {
    std::function<void()> gone;
    void componentRemoved(TBwComponent*) override { gone(); }
};

// The scroll area the pages are drawn in; the window does the work.
class TBwPreviewView : public QAbstractScrollArea {
public:
    explicit TBwPreviewView(TBwPreviewForm& form) : QAbstractScrollArea(&form), m_form(form) {
        setFocusPolicy(Qt::StrongFocus);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        viewport()->setMouseTracking(true);
        viewport()->setAutoFillBackground(false);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(viewport());
        m_form.paintPages(painter, event->rect());
    }
    void resizeEvent(QResizeEvent*) override { m_form.relayout(); }
    void scrollContentsBy(int, int) override { viewport()->update(); }
    void keyPressEvent(QKeyEvent* event) override {
        if (!m_form.handleKey(event)) QAbstractScrollArea::keyPressEvent(event);
    }
    void wheelEvent(QWheelEvent* event) override {
        // Fine-grained wheels send parts of a notch; each part scrolls its share.
        const int dy = -event->angleDelta().y() * kLineStep / 120;
        const int dx = -event->angleDelta().x() * kLineStep / 120;
        if (event->modifiers() & Qt::ShiftModifier)
            m_form.scrollBy(dy, dx);
        else
            m_form.scrollBy(dx, dy);
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            m_dragFrom = event->position().toPoint();
            m_dragScroll = {horizontalScrollBar()->value(), verticalScrollBar()->value()};
            m_dragging = true;
            m_form.pressAt(m_dragFrom);
        } else if (event->button() == Qt::RightButton) {
            m_form.popupZoomMenu(event->globalPosition().toPoint());
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint pos = event->position().toPoint();
        if (m_dragging && (event->buttons() & Qt::LeftButton)) {
            const QPoint moved = pos - m_dragFrom;
            horizontalScrollBar()->setValue(m_dragScroll.x() - moved.x());
            verticalScrollBar()->setValue(m_dragScroll.y() - moved.y());
            return;
        }
        m_form.hoverAt(pos);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) m_dragging = false;
    }

private:
    TBwPreviewForm& m_form;
    QPoint m_dragFrom;
    QPoint m_dragScroll;
    bool m_dragging = false;
};

TBwPreviewForm::TBwPreviewForm(TBwReport& report, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_report(report),
      m_pages(&report) {
    // While the window is open the pages are its own; the report holds none.
    m_pages.swapPages(report.emfPages());
    m_watch = std::make_unique<ReportWatch>();
    m_watch->gone = [this] { reportDestroyed(); };
    m_watch->freeNotification(&report);
    init();
}

TBwPreviewForm::~TBwPreviewForm() {
    giveTheReportItsPages();
}

void TBwPreviewForm::reportDestroyed() {
    // The report is half destroyed already: touch nothing of it. Its pages
    // go with it, and so does the window.
    m_pagesReturned = true;
    m_layout.setSheets({});
    m_pages.clear();
    m_matchPage = -1;
    close();
}

QAbstractScrollArea* TBwPreviewForm::pageView() const {
    return m_view;
}

QToolButton* TBwPreviewForm::button(Tool tool) const {
    return qobject_cast<QToolButton*>(m_toolBar->widgetForAction(m_actions[tool]));
}

void TBwPreviewForm::init() {
    setWindowTitle(m_report.Title.isEmpty() ? TBwLocale::loadStr(sPreview) : m_report.Title);
    setSizeGripEnabled(false);

    m_view = new TBwPreviewView(*this);
    m_view->setAccessibleName(TBwLocale::loadStr(sPreview));
    m_view->verticalScrollBar()->setSingleStep(kLineStep);
    m_view->horizontalScrollBar()->setSingleStep(kLineStep);
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        // The page under the line just below the view's top becomes current.
        if (m_layout.count() == 0) return;
        setCurrent(m_layout.pageCovering(value + TBwPreviewLayout::kGap + 1));
    });

    buildZoomMenu();
    buildToolBar();
    m_status = new QLabel(this);
    auto* statusBar = new QStatusBar(this);
    statusBar->setSizeGripEnabled(false);
    statusBar->addWidget(m_status, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_view, 1);
    layout->addWidget(statusBar);

    switch (m_report.InitialZoom) {
        case pzPageWidth:
            m_mode = zmPageWidth;
            break;
        case pzOnePage:
            m_mode = zmWholePage;
            break;
        case pzTwoPages:
            m_mode = zmTwoPages;
            break;
        case pzDefault:
            m_mode = lastPreviewZoom().mode;
            m_factor = lastPreviewZoom().factor;
            break;
    }
    resize(800, 600);
    readBounds();
    resetSheets();
    m_view->setFocus();
}

void TBwPreviewForm::buildZoomMenu() {
    m_zoomMenu = new QMenu(this);
    auto* group = new QActionGroup(m_zoomMenu);
    const auto add = [&](const QString& text, TBwZoomMode mode, double factor) {
        QAction* a = m_zoomMenu->addAction(text);
        a->setCheckable(true);
        a->setData(QVariant::fromValue(int(mode)));
        a->setProperty("factor", factor);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, mode, factor] { chooseZoom(mode, factor); });
    };
    for (int percent : {200, 150, 100, 75, 50, 25, 10})
        add(QString::number(percent) + u'%', zmFactor, percent / 100.0);
    m_zoomMenu->addSeparator();
    add(TBwLocale::loadStr(53020), zmPageWidth, 1.0);
    add(TBwLocale::loadStr(53021), zmWholePage, 1.0);
    add(TBwLocale::loadStr(53022), zmTwoPages, 1.0);
}

void TBwPreviewForm::updateZoomMenu() {
    for (QAction* a : m_zoomMenu->actions()) {
        if (a->isSeparator()) continue;
        const auto mode = static_cast<TBwZoomMode>(a->data().toInt());
        a->setChecked(mode == m_mode &&
                      (mode != zmFactor || std::lround(a->property("factor").toDouble() * 100) ==
                                               std::lround(m_layout.factor() * 100)));
    }
}

void TBwPreviewForm::buildToolBar() {
    m_toolBar = new QToolBar(this);
    m_toolBar->setIconSize(QSize(24, 24));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    QStyle* s = style();

    m_icons[Load] = s->standardIcon(QStyle::SP_DialogOpenButton);
    m_icons[Save] = s->standardIcon(QStyle::SP_DialogSaveButton);
    m_icons[Pdf] = glyph([](QPainter& p) {
        p.setPen(QPen(QColor(0xb0, 0x10, 0x10), 1.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 2.5, 19, 19));
        QFont f = p.font();
        f.setPixelSize(7);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(2, 7, 20, 10), Qt::AlignCenter, QStringLiteral("PDF"));
    });
    m_icons[Print] = glyph([](QPainter& p) {
        p.setPen(QPen(Qt::black, 1.2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 3.5, 9, 6));
        p.setBrush(QColor(0x70, 0x70, 0x70));
        p.drawRoundedRect(QRectF(3.5, 9.5, 17, 8), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 14.5, 9, 6.5));
    });
    m_icons[PageSetup] = glyph([](QPainter& p) {
        p.setPen(QPen(Qt::black, 1.2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 2.5, 13, 19));
        p.setPen(QPen(Qt::gray, 1, Qt::DashLine));
        p.drawRect(QRectF(8.5, 5.5, 7, 13));
    });
    m_icons[Find] = glyph([](QPainter& p) {
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(QColor(0xd8, 0xe8, 0xff));
        p.drawEllipse(QPointF(10, 10), 6, 6);
        p.drawLine(QPointF(14.5, 14.5), QPointF(21, 21));
    });
    m_icons[Help] = s->standardIcon(QStyle::SP_DialogHelpButton);
    m_icons[Exit] = s->standardIcon(QStyle::SP_DialogCloseButton);

    const unsigned shown = m_report.PreviewButtons;
    const bool ownWindow = true;  // the panel component is not built
    TBwPrinter& printer = TBwPrinter::instance();
    printer.refreshPrinters();
    const bool printers = printer.hasInstalledPrinters();
    struct Def {
        Tool tool;
        int hintId;
        QString hint;
        bool visible;
    };
    const Def defs[] = {
        {Zoom, 53024, {}, bool(shown & pbZoom)},
        {Load, 53025, {}, bool(shown & pbLoad)},
        {Save, 53026, {}, bool(shown & pbSave)},
        {Pdf, 0, kPdfHint, bool(shown & pbSave)},
        {Print, 53027, {}, bool(shown & pbPrint)},
        {PageSetup, 0, kPageSetupHint, bool(shown & pbPageSetup)},
        {Find, 53028, {}, bool(shown & pbFind)},
        {Help, 53032, {}, ownWindow && (shown & pbHelp)},
        {Exit, 53023, {}, ownWindow && (shown & pbExit)},
    };
    for (const Def& d : defs) {
        const QString hint = d.hintId ? TBwLocale::loadStr(d.hintId) : d.hint;
        auto* a = new QAction(m_icons[d.tool], hint, this);
        a->setToolTip(hint);
        a->setVisible(d.visible);
        m_actions[d.tool] = a;
        m_toolBar->addAction(a);
        QWidget* w = m_toolBar->widgetForAction(a);
        w->setFocusPolicy(Qt::NoFocus);
        w->setAccessibleName(hint);
        if (m_report.GrayedButtons && !m_icons[d.tool].isNull()) {
            m_grayIcons[d.tool] = grayed(m_icons[d.tool]);
            a->setIcon(m_grayIcons[d.tool]);
            w->installEventFilter(this);
        }
    }
    // The zoom button shows the zoom itself.
    QToolButton* zoom = button(Zoom);
    zoom->setToolButtonStyle(Qt::ToolButtonTextOnly);
    zoom->setMinimumWidth(56);
    connect(m_actions[Zoom], &QAction::triggered, this, [this] {
        QToolButton* b = button(Zoom);
        popupZoomMenu(b->mapToGlobal(QPoint(0, b->height())));
    });
    connect(m_actions[Load], &QAction::triggered, this, &TBwPreviewForm::openFile);
    connect(m_actions[Save], &QAction::triggered, this, &TBwPreviewForm::saveAs);
    connect(m_actions[Pdf], &QAction::triggered, this, &TBwPreviewForm::exportPdfAs);
    connect(m_actions[Print], &QAction::triggered, this, &TBwPreviewForm::print);
    connect(m_actions[PageSetup], &QAction::triggered, this, &TBwPreviewForm::pageSetup);
    connect(m_actions[Find], &QAction::triggered, this, &TBwPreviewForm::openFindDialog);
    connect(m_actions[Help], &QAction::triggered, this, &TBwPreviewForm::showHelp);
    connect(m_actions[Exit], &QAction::triggered, this, &TBwPreviewForm::reject);
    m_actions[Print]->setEnabled(printers && bool(printSlot()));
    m_actions[PageSetup]->setEnabled(printers);

    for (const TBwPreviewTool& tool : m_report.PreviewTools) {
        auto* a = new QAction(tool.caption, this);
        a->setToolTip(tool.hint);
        a->setData(QVariant::fromValue(tool.shortcut));
        m_toolBar->addAction(a);
        m_addedTools.push_back(a);
        QWidget* w = m_toolBar->widgetForAction(a);
        w->setFocusPolicy(Qt::NoFocus);
        w->setAccessibleName(tool.hint);
        if (auto* b = qobject_cast<QToolButton*>(w)) b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        // A copy: the report's list may change while the window is open.
        connect(a, &QAction::triggered, this, [this, action = tool.action] {
            if (action) action(this);
        });
    }
}

bool TBwPreviewForm::runAddedTool(QKeyEvent* event) {
    const QKeySequence pressed(event->keyCombination());
    for (QAction* a : m_addedTools) {
        const auto shortcut = a->data().value<QKeySequence>();
        if (shortcut.isEmpty() || shortcut != pressed) continue;
        a->trigger();
        return true;
    }
    return false;
}

bool TBwPreviewForm::eventFilter(QObject* watched, QEvent* event) {
    // Grayed buttons take their colours while the pointer is over them.
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        for (int t = 0; t < ToolCount; ++t) {
            if (m_toolBar->widgetForAction(m_actions[t]) != watched) continue;
            m_actions[t]->setIcon(event->type() == QEvent::Enter ? m_icons[t] : m_grayIcons[t]);
        }
    }
    return QDialog::eventFilter(watched, event);
}

// --- bounds ----------------------------------------------------------------

void TBwPreviewForm::readBounds() {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QLatin1String(kSettingsOrganization), QLatin1String(kSettingsForms));
    settings.beginGroup(QLatin1String(kFormClass));
    const bool stored = settings.contains(QStringLiteral("Width"));
    if (stored) {
        const QRect bounds(settings.value(QStringLiteral("XPosition")).toInt(),
                           settings.value(QStringLiteral("YPosition")).toInt(),
                           settings.value(QStringLiteral("Width")).toInt(),
                           settings.value(QStringLiteral("Height")).toInt());
        if (bounds.width() > 0 && bounds.height() > 0) setGeometry(bounds);
    }
    // Maximised until the user has left it otherwise.
    if (!stored || settings.value(QStringLiteral("Maximized")).toBool())
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TBwPreviewForm::writeBounds() {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QLatin1String(kSettingsOrganization), QLatin1String(kSettingsForms));
    settings.beginGroup(QLatin1String(kFormClass));
    const bool maximized = isMaximized();
    const QRect bounds = maximized ? normalGeometry() : geometry();
    settings.setValue(QStringLiteral("XPosition"), bounds.x());
    settings.setValue(QStringLiteral("YPosition"), bounds.y());
    settings.setValue(QStringLiteral("Width"), bounds.width());
    settings.setValue(QStringLiteral("Height"), bounds.height());
    settings.setValue(QStringLiteral("Maximized"), maximized);
}

void TBwPreviewForm::done(int result) {
    if (isVisible()) writeBounds();
    giveTheReportItsPages();
    QDialog::done(result);
}

void TBwPreviewForm::giveTheReportItsPages() {
    if (m_pagesReturned) return;
    m_pagesReturned = true;
    m_report.emfPages().clear();
    m_report.emfPages().swapPages(m_pages);
    // Nothing is laid out while the report has the pages (a print dialog
    // over the window, or a window closing).
    m_layout.setSheets({});
}

void TBwPreviewForm::takePagesBack() {
    m_pages.clear();
    m_pages.swapPages(m_report.emfPages());
    m_pagesReturned = false;
    resetSheets();
}

void TBwPreviewForm::resetSheets() {
    std::vector<QSize> sheets;
    for (int i = 0; i < m_pages.count(); ++i)
        sheets.push_back(m_pages.sheetSize(i));
    m_layout.setSheets(std::move(sheets));
    m_current = std::clamp(m_current, 0, std::max(m_pages.count() - 1, 0));
    relayout();
}

// --- layout ----------------------------------------------------------------

void TBwPreviewForm::relayout() {
    if (!m_status) return;  // still being built
    const int current = m_current;
    m_layout.layout(m_view->viewport()->size(), m_mode, m_factor, current);
    if (m_mode == zmFactor) m_factor = m_layout.factor();
    m_actions[Zoom]->setText(zoomCaption());
    updateZoomMenu();
    updateScrollBars();
    if (m_layout.count() > 0) goToPage(current + 1);
    updateStatus();
    m_view->viewport()->update();
}

void TBwPreviewForm::updateScrollBars() {
    const QSize view = m_view->viewport()->size();
    const QSize range = m_layout.scrollRange(view);
    QScrollBar* h = m_view->horizontalScrollBar();
    QScrollBar* v = m_view->verticalScrollBar();
    h->setRange(0, range.width());
    v->setRange(0, range.height());
    h->setPageStep(std::max(1, view.width()));
    v->setPageStep(std::max(1, view.height()));
    h->setEnabled(range.width() > 0);
    v->setEnabled(range.height() > 0);
}

QString TBwPreviewForm::zoomCaption() const {
    return QString::number(std::lround(m_layout.factor() * 100)) + u'%';
}

void TBwPreviewForm::chooseZoom(TBwZoomMode mode, double factor) {
    m_mode = mode;
    if (mode == zmFactor) m_factor = factor;
    relayout();
    setLastPreviewZoom({m_mode, m_layout.factor()});
}

void TBwPreviewForm::setCurrent(int index) {
    if (m_pages.count() == 0) return;
    index = std::clamp(index, 0, m_pages.count() - 1);
    if (index == m_current && !m_status->text().isEmpty()) return;
    m_current = index;
    updateStatus();
}

void TBwPreviewForm::updateStatus() {
    m_status->setText(statusText());
    m_view->setAccessibleDescription(statusText());
    if (QAccessible::isActive()) {
        QAccessibleEvent event(m_view, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
}

int TBwPreviewForm::currentPage() const {
    return m_pages.count() > 0 ? m_current + 1 : 0;
}

QString TBwPreviewForm::statusText() const {
    return TBwLocale::loadStr(sPageShort) + u' ' + QString::number(currentPage()) + u'/' +
           QString::number(pageCount());
}

void TBwPreviewForm::goToPage(int number) {
    if (m_layout.count() == 0) return;
    const int index = std::clamp(number - 1, 0, m_layout.count() - 1);
    const QRect r = m_layout.rect(index);
    m_view->verticalScrollBar()->setValue(r.top() - TBwPreviewLayout::kGap);
    QScrollBar* h = m_view->horizontalScrollBar();
    const int viewWidth = m_view->viewport()->width();
    if (r.left() < h->value() || r.right() > h->value() + viewWidth)
        h->setValue(r.left() - TBwPreviewLayout::kGap);
    // A page the scroll range cannot bring to the top is current all the same.
    m_current = -1;
    setCurrent(index);
}

void TBwPreviewForm::scrollBy(int dx, int dy) {
    if (dx) m_view->horizontalScrollBar()->setValue(m_view->horizontalScrollBar()->value() + dx);
    if (dy) m_view->verticalScrollBar()->setValue(m_view->verticalScrollBar()->value() + dy);
}

QRect TBwPreviewForm::pageRectInView(int index) const {
    return m_layout.rect(index).translated(-m_view->horizontalScrollBar()->value(),
                                           -m_view->verticalScrollBar()->value());
}

// --- painting --------------------------------------------------------------

void TBwPreviewForm::paintPages(QPainter& painter, const QRect& area) {
    painter.fillRect(area, kBackground);
    const QRect view = m_view->viewport()->rect();
    for (int i = 0; i < m_layout.count(); ++i) {
        const QRect r = pageRectInView(i);
        if (r.top() > view.top() + kKeepBelow || r.bottom() < view.top()) {
            if (m_pages[i].Page) m_pages.freePage(i);
            continue;
        }
        if (!r.intersects(area)) continue;
        painter.save();
        painter.setPen(Qt::black);
        painter.fillRect(r, Qt::white);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        // The shadow: one dark line along the right and the bottom.
        painter.drawLine(r.right() + 1, r.top() + 2, r.right() + 1, r.bottom() + 1);
        painter.drawLine(r.left() + 2, r.bottom() + 1, r.right() + 1, r.bottom() + 1);
        painter.setClipRect(r.adjusted(1, 1, -1, -1) & area);
        try {
            m_pages.draw(i, painter, m_pages.contentRect(i, QRectF(r)));
        } catch (const EBwStreamError&) {
            // Pages were decoded once when loaded; a page that fails now is left blank.
        }
        painter.restore();
        if (i == m_matchPage && !m_matchRect.isEmpty()) {
            const QRectF content = m_pages.contentRect(i, QRectF(r));
            const QSize sheet = m_pages.sheetSize(i);
            const QRectF inSheet = m_pages.contentRect(i, QRectF(QPointF(0, 0), QSizeF(sheet)));
            const double sx = content.width() / inSheet.width();
            const double sy = content.height() / inSheet.height();
            const QRect mark = QRectF(content.left() + (m_matchRect.left() - inSheet.left()) * sx,
                                      content.top() + (m_matchRect.top() - inSheet.top()) * sy,
                                      m_matchRect.width() * sx, m_matchRect.height() * sy)
                                   .toAlignedRect();
            painter.save();
            // Horizontal lines across the text in XOR, so it stays readable inverted.
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            painter.setPen(Qt::white);
            for (int y = mark.top(); y <= mark.bottom(); ++y)
                painter.drawLine(mark.left(), y, mark.right(), y);
            painter.restore();
        }
    }
}

// --- mouse -------------------------------------------------------------------

TBwView* TBwPreviewForm::objectAt(const QPoint& pos, int* pageIndex) {
    const int index = m_layout.pageAt(
        pos + QPoint(m_view->horizontalScrollBar()->value(), m_view->verticalScrollBar()->value()));
    if (pageIndex) *pageIndex = index;
    if (index < 0) return nullptr;
    const QRectF content = m_pages.contentRect(index, QRectF(pageRectInView(index)));
    const QSize sheet = m_pages.sheetSize(index);
    if (sheet.isEmpty()) return nullptr;
    const double sx = content.width() / sheet.width(), sy = content.height() / sheet.height();
    TBwView* hit = nullptr;
    try {
        for (const auto& view : m_pages.page(index).objects()) {
            const QRectF r(content.left() + view->Left * sx, content.top() + view->Top * sy,
                           view->Width * sx, view->Height * sy);
            if (r.contains(pos)) hit = view.get();  // the last drawn is on top
        }
    } catch (const EBwStreamError&) {
        return nullptr;
    }
    return hit;
}

void TBwPreviewForm::pressAt(const QPoint& pos) {
    int index = -1;
    TBwView* view = m_report.OnObjectClick ? objectAt(pos, &index) : nullptr;
    if (view) {
        m_report.OnObjectClick(view);
        return;
    }
    if (!m_report.OnObjectClick)
        index = m_layout.pageAt(pos + QPoint(m_view->horizontalScrollBar()->value(),
                                             m_view->verticalScrollBar()->value()));
    if (index >= 0) setCurrent(index);
}

void TBwPreviewForm::hoverAt(const QPoint& pos) {
    if (!m_report.OnMouseOverObject) return;
    Qt::CursorShape cursor = Qt::ArrowCursor;
    if (TBwView* view = objectAt(pos)) m_report.OnMouseOverObject(view, cursor);
    m_view->viewport()->setCursor(cursor);
}

void TBwPreviewForm::popupZoomMenu(const QPoint& globalPos) {
    if (!m_actions[Zoom]->isVisible()) return;
    m_zoomMenu->popup(globalPos);
}

// --- keys --------------------------------------------------------------------

void TBwPreviewForm::keyPressEvent(QKeyEvent* event) {
    if (!handleKey(event)) QDialog::keyPressEvent(event);
}

bool TBwPreviewForm::handleKey(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const auto when = [](QAction* a, auto&& f) {
        if (a->isVisible() && a->isEnabled()) f();
    };
    switch (event->key()) {
        case Qt::Key_Left:
            scrollBy(-kLineStep, 0);
            return true;
        case Qt::Key_Right:
            scrollBy(kLineStep, 0);
            return true;
        case Qt::Key_Up:
            scrollBy(0, -kLineStep);
            return true;
        case Qt::Key_Down:
            scrollBy(0, kLineStep);
            return true;
        case Qt::Key_PageUp:
            if (ctrl)
                goToPage(currentPage() - 1);
            else
                scrollBy(0, -kPageStep);
            return true;
        case Qt::Key_PageDown:
            if (ctrl)
                goToPage(currentPage() + 1);
            else
                scrollBy(0, kPageStep);
            return true;
        case Qt::Key_Home:
            if (!ctrl) return false;
            // The first page becomes current even where nothing scrolls.
            m_view->horizontalScrollBar()->setValue(0);
            m_view->verticalScrollBar()->setValue(0);
            goToPage(1);
            return true;
        case Qt::Key_End:
            if (!ctrl) return false;
            goToPage(pageCount());
            return true;
        case Qt::Key_Space: {
            QToolButton* b = button(Zoom);
            popupZoomMenu(b->mapToGlobal(QPoint(0, b->height())));
            return true;
        }
        case Qt::Key_Escape:
            reject();
            return true;
        case Qt::Key_F3:
            // Nothing searched yet: ask what to find.
            when(m_actions[Find], [this] {
                if (m_searchText.isEmpty())
                    openFindDialog();
                else
                    findNext();
            });
            return true;
        default:
            break;
    }
    if (!ctrl) return runAddedTool(event);
    switch (event->key()) {
        case Qt::Key_O:
            when(m_actions[Load], [this] { openFile(); });
            return true;
        case Qt::Key_S:
            when(m_actions[Save], [this] { saveAs(); });
            return true;
        case Qt::Key_E:
            when(m_actions[Pdf], [this] { exportPdfAs(); });
            return true;
        case Qt::Key_P:
            when(m_actions[Print], [this] { print(); });
            return true;
        case Qt::Key_F:
            when(m_actions[Find], [this] { openFindDialog(); });
            return true;
        default:
            return runAddedTool(event);
    }
}

// --- files -------------------------------------------------------------------

void TBwPreviewForm::openFile() {
    const QString name = QFileDialog::getOpenFileName(this, TBwLocale::loadStr(53025), QString(),
                                                      reportFileFilter());
    if (!name.isEmpty()) loadFile(name);
}

bool TBwPreviewForm::loadFile(const QString& fileName) {
    try {
        loadPreparedReportFile(m_pages, fileName, m_report.KeepDefaultPrinter);
    } catch (const EBwStreamError& e) {
        showErrorMessage(kCannotLoadReport + fileName + QStringLiteral(":\n") + e.text());
        return false;
    } catch (const EBwError& e) {
        showErrorMessage(kCannotLoadReport + fileName + QStringLiteral(":\n") + e.text());
        return false;
    }
    m_matchPage = -1;
    m_matchRect = {};
    m_searchPage = 0;
    m_searchRecord = -1;
    m_current = 0;
    resetSheets();
    goToPage(1);
    return true;
}

void TBwPreviewForm::saveAs() {
    QFileDialog dialog(this, TBwLocale::loadStr(53026), QString(), reportFileFilter());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("bwp"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    saveFile(dialog.selectedFiles().constFirst());
}

QString TBwPreviewForm::saveFile(const QString& fileName) {
    try {
        return savePreparedReportFile(m_pages, fileName);
    } catch (const EBwError& e) {
        showErrorMessage(e.text());
    }
    return {};
}

void TBwPreviewForm::exportPdfAs() {
    QFileDialog dialog(this, kPdfHint, suggestedPdfName(m_report.Title, QDate::currentDate()),
                       kPdfFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    exportPdfFile(dialog.selectedFiles().constFirst());
}

bool TBwPreviewForm::exportPdfFile(const QString& fileName) {
    QString name = fileName;
    if (!name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) name += QStringLiteral(".pdf");
    QString error;
    try {
        if (exportPdf(m_pages, name, m_report.Title, &error)) return true;
    } catch (const EBwStreamError& e) {
        error = kCannotWriteFile + name + QStringLiteral(": ") + e.text();
    } catch (const EBwError& e) {
        error = kCannotWriteFile + name + QStringLiteral(": ") + e.text();
    }
    showErrorMessage(error);
    return false;
}

// --- printing --------------------------------------------------------------

void TBwPreviewForm::print() {
    if (!printSlot()) return;
    giveTheReportItsPages();
    try {
        printSlot()(m_report, this);
    } catch (const EBwStreamError& e) {
        showErrorMessage(kCannotPrintReport + e.text());
    } catch (const EBwError& e) {
        showErrorMessage(kCannotPrintReport + e.text());
    } catch (...) {
        takePagesBack();
        throw;
    }
    takePagesBack();
    m_view->viewport()->update();
}

void TBwPreviewForm::pageSetup() {
    QPrinter* device = TBwPrinter::instance().device();
    if (!device) return;
    QPageSetupDialog dialog(device, this);
    if (dialog.exec() != QDialog::Accepted) return;
    // The chosen paper and margins go to every page; each takes its geometry
    // from the printer again, as a loaded page does.
    const QPageLayout chosen = device->pageLayout();
    const QSizeF mm = chosen.pageSize().size(QPageSize::Millimeter);
    const bool landscape = chosen.orientation() == QPageLayout::Landscape;
    const QMarginsF margins = chosen.margins(QPageLayout::Millimeter);
    constexpr double kUnitsPerMm = 18600.0 / 203.0 / 25.4;
    TBwPrinter& printer = TBwPrinter::instance();
    for (int i = 0; i < m_pages.count(); ++i) {
        TBwPreparedPage& p = m_pages[i];
        int width = qRound(mm.width() * 10), height = qRound(mm.height() * 10);
        if (landscape) std::swap(width, height);
        const TBwOrientation orientation = landscape ? poLandscape : poPortrait;
        if (!printer.setPaper(kUserPaper, width, height, orientation, -1)) continue;
        p.pgSize = static_cast<std::uint16_t>(printer.paperSize());
        p.pgWidth = printer.paperWidth();
        p.pgHeight = printer.paperHeight();
        p.pgOr = orientation;
        p.LeftMargin = qRound(margins.left() * kUnitsPerMm);
        p.TopMargin = qRound(margins.top() * kUnitsPerMm);
        p.RightMargin = qRound(margins.right() * kUnitsPerMm);
        p.BottomMargin = qRound(margins.bottom() * kUnitsPerMm);
        p.PrnInfo = printer.geometry();
        p.Page.reset();
    }
    resetSheets();
}

// --- search ------------------------------------------------------------------

void TBwPreviewForm::openFindDialog() {
    TBwSearchForm dialog(this);
    dialog.setText(m_searchText);
    dialog.setCaseSensitive(m_caseSensitive);
    if (dialog.exec() != QDialog::Accepted) return;
    find(dialog.text(), dialog.caseSensitive(), dialog.fromStart());
}

bool TBwPreviewForm::find(const QString& text, bool caseSensitive, bool fromStart) {
    if (text.isEmpty()) return false;
    m_searchText = text;
    m_caseSensitive = caseSensitive;
    // Going on from the current page continues after a match shown on it.
    if (fromStart || m_matchPage != m_current) {
        m_searchPage = fromStart ? 0 : m_current;
        m_searchRecord = -1;
    }
    // The old mark belongs to another search.
    m_matchPage = -1;
    m_matchRect = {};
    m_view->viewport()->update();
    return findNext();
}

bool TBwPreviewForm::findNext() {
    if (m_searchText.isEmpty()) return false;
    TBwTextMatch match;
    try {
        match = findText(m_pages, m_searchText,
                         m_caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive, m_searchPage,
                         m_searchRecord);
    } catch (const EBwStreamError&) {
        return false;
    }
    if (match.page < 0) return false;
    m_searchPage = m_matchPage = match.page;
    m_searchRecord = match.record;
    m_matchRect = match.rect;
    showMatch();
    return true;
}

void TBwPreviewForm::showMatch() {
    // The match's rectangle in scroll-area coordinates.
    const QRectF page(m_layout.rect(m_matchPage));
    const QSize sheet = m_pages.sheetSize(m_matchPage);
    const QRectF content = m_pages.contentRect(m_matchPage, page);
    const QRectF inSheet = m_pages.contentRect(m_matchPage, QRectF(QPointF(0, 0), QSizeF(sheet)));
    const double sx = content.width() / inSheet.width();
    const double sy = content.height() / inSheet.height();
    const QRect target = QRectF(content.left() + (m_matchRect.left() - inSheet.left()) * sx,
                                content.top() + (m_matchRect.top() - inSheet.top()) * sy,
                                m_matchRect.width() * sx, m_matchRect.height() * sy)
                             .toAlignedRect();
    QScrollBar* h = m_view->horizontalScrollBar();
    QScrollBar* v = m_view->verticalScrollBar();
    const QSize view = m_view->viewport()->size();
    if (target.top() < v->value() || target.bottom() > v->value() + view.height())
        v->setValue(target.top() - view.height() / 3);
    if (target.left() < h->value() || target.right() > h->value() + view.width())
        h->setValue(target.left() - TBwPreviewLayout::kGap);
    m_current = -1;
    setCurrent(m_matchPage);
    m_view->viewport()->update();
}

// --- help --------------------------------------------------------------------

void TBwPreviewForm::showHelp() {
    QDialog help(this);
    help.setWindowTitle(kPreviewHelpTitle);
    auto* text = new QTextBrowser(&help);
    text->setAccessibleName(kPreviewHelpTitle);
    text->setHtml(QStringLiteral(
        "<h3>Предварительный просмотр</h3>"
        "<table cellspacing='4'>"
        "<tr><td><b>Стрелки</b></td><td>прокрутка на 10 точек</td></tr>"
        "<tr><td><b>Page Up, Page Down</b></td><td>прокрутка на 200 точек</td></tr>"
        "<tr><td><b>Ctrl+Page Up, Ctrl+Page Down</b></td><td>предыдущая, следующая "
        "страница</td></tr>"
        "<tr><td><b>Ctrl+Home, Ctrl+End</b></td><td>начало отчета, последняя страница</td></tr>"
        "<tr><td><b>Пробел</b>, правая кнопка мыши</td><td>меню масштаба</td></tr>"
        "<tr><td><b>Ctrl+F</b>, <b>F3</b></td><td>поиск текста, следующее совпадение</td></tr>"
        "<tr><td><b>Ctrl+O</b>, <b>Ctrl+S</b></td><td>открыть, сохранить отчет (*.bwp)</td></tr>"
        "<tr><td><b>Ctrl+E</b></td><td>сохранить отчет в PDF</td></tr>"
        "<tr><td><b>Ctrl+P</b></td><td>печать</td></tr>"
        "<tr><td><b>Esc</b></td><td>закрыть окно</td></tr>"
        "</table>"
        "<p>Колесо мыши прокручивает страницы, перетаскивание левой кнопкой сдвигает их; "
        "щелчок по странице делает ее текущей.</p>"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &help);
    buttons->button(QDialogButtonBox::Close)->setText(TBwLocale::loadStr(sOk));
    connect(buttons, &QDialogButtonBox::rejected, &help, &QDialog::reject);
    auto* layout = new QVBoxLayout(&help);
    layout->addWidget(text);
    layout->addWidget(buttons);
    help.resize(480, 420);
    help.exec();
}

// --- installation ------------------------------------------------------------

void installPreviewWindow() {
    setPreviewHandler([](TBwReport& report) {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
        QWidget* parent = QApplication::activeWindow();
        if (report.ModalPreview) {
            TBwPreviewForm form(report, parent);
            form.exec();
            return;
        }
        auto* form = new TBwPreviewForm(report, parent);
        form->setAttribute(Qt::WA_DeleteOnClose);
        form->show();
    });
}

void installMessageBoxes() {
    setMessageHandler([](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    });
}

void installReportWindows() {
    installPreviewWindow();
    installProgressWindow();
    installDialogWindows();
    installMessageBoxes();
    setPrintHandler([](TBwReport& report, QWidget* parent) {
        const auto* preview = dynamic_cast<const TBwPreviewForm*>(parent);
        return printPreparedReportDlg(report, parent, preview ? preview->currentPage() : 0);
    });
}

}  // namespace bwreport
