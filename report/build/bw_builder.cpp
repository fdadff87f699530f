#include "build/bw_builder.h"

#include <QCoreApplication>
#include <algorithm>
#include <limits>

#include "base/bw_stream.h"
#include "base/bw_strings.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "expr/bw_expressions.h"
#include "expr/bw_value.h"
#include "objects/bw_band_view.h"
#include "objects/bw_line_view.h"
#include "objects/bw_memo_view.h"
#include "objects/bw_text_expander.h"

namespace bwreport {

namespace {

const TBwBuildState*& current() {
    static const TBwBuildState* state = nullptr;
    return state;
}

TBwProgressRunner& runnerSlot() {
    static TBwProgressRunner runner;
    return runner;
}

TBwPreviewHandler& previewSlot() {
    static TBwPreviewHandler handler;
    return handler;
}

constexpr int kLevels = 3;

// A dialog's modal results that do not accept it.
constexpr double kModalNone = 0, kModalCancel = 2;

int dataType(int level) {
    return btMasterData + 3 * level;
}

bool keepsOwnTop(int type) {
    return type == btPageFooter || type == btOverlay || type == btNone;
}

// A band whose records go into columns of its own.
bool hasOwnColumns(const TBwBand* band) {
    return band->view && band->view->Columns > 1 && !band->breaked && !keepsOwnTop(band->type);
}

// Bands a page or column break prints itself: they start or close a sheet or
// column, so breaking before them would only print them again.
bool startsPage(int type) {
    return type == btPageHeader || type == btPageFooter || type == btOverlay ||
           type == btColumnHeader || type == btColumnFooter || type == btNone;
}

bool repeatable(int type) {
    return type == btMasterHeader || type == btDetailHeader || type == btSubDetailHeader ||
           type == btGroupHeader;
}

bool isCross(int type) {
    return type >= btCrossHeader && type <= btCrossFooter;
}

bool isFooter(int type) {
    return type == btMasterFooter || type == btDetailFooter || type == btSubDetailFooter ||
           type == btGroupFooter || type == btPageFooter || type == btColumnFooter ||
           type == btCrossFooter;
}

// An object lies in a cross band's strip when its left edge does.
bool inStrip(const TBwBand& cross, const TBwView& view) {
    return view.Left >= cross.left && view.Left < qint64(cross.left) + cross.width;
}

// Draws nothing for the first of two passes while it lives.
class FirstPassScope {
public:
    explicit FirstPassScope(bool on) : m_was(drawState().firstPass) { drawState().firstPass = on; }
    ~FirstPassScope() { drawState().firstPass = m_was; }
    FirstPassScope(const FirstPassScope&) = delete;
    FirstPassScope& operator=(const FirstPassScope&) = delete;

private:
    bool m_was;
};

TBwDialogRunner& dialogSlot() {
    static TBwDialogRunner runner;
    return runner;
}

}  // namespace

TBwDialogRunner setDialogRunner(TBwDialogRunner runner) {
    std::swap(runner, dialogSlot());
    return runner;
}

const TBwBuildState* currentBuild() {
    return current();
}

TBwProgressRunner setProgressRunner(TBwProgressRunner runner) {
    std::swap(runner, runnerSlot());
    return runner;
}

const TBwProgressRunner& progressRunner() {
    return runnerSlot();
}

TBwPreviewHandler setPreviewHandler(TBwPreviewHandler handler) {
    std::swap(handler, previewSlot());
    return handler;
}

void showPreview(TBwReport& report) {
    if (previewSlot()) previewSlot()(report);
}

TBwBand::TBwBand() = default;
TBwBand::~TBwBand() = default;

struct TBwBuilder::PageState {
    TBwPage* page = nullptr;
    std::vector<std::unique_ptr<TBwBand>> bands;
    std::array<TBwBand*, kBandTypeCount> slots{};
    int curY = 0;
    int curBottomY = 0;
    int column = 0;
    int xOffset = 0;
    int columnStartY = 0;
    // Breaking before a band placed here would only repeat the page.
    int freshY = 0;
    bool suppressHeaders = false;
    bool ignoreColumnFooter = false;
    // Vertical strips across the horizontal bands: the cross header printed
    // once a row, the cross data once per record of its data set, then the
    // cross footer with the row's totals. Only the first of each type counts.
    TBwBand* crossHeader = nullptr;
    TBwBand* crossData = nullptr;
    TBwBand* crossFooter = nullptr;
    // Printed only where a sub-report object of another page stands.
    bool subReport = false;
    // The row a band with columns of its own is filling.
    struct Row {
        TBwBand* band = nullptr;
        int top = 0, x = 0, bottom = 0;
        int column = 0, inColumn = 0;
    } row;
    int deepestLevel = -1;
};

TBwBuilder::TBwBuilder(TBwReport& report) : m_report(report), m_ctx(report.expressionContext()) {
    m_state.report = &report;
    m_outer = current();
    current() = &m_state;
}

TBwBuilder::~TBwBuilder() {
    current() = m_outer;
}

TBwBand* TBwBuilder::slot(int type) const {
    return m_ps ? m_ps->slots[type] : nullptr;
}

// ------------------------------------------------------------------ passes

bool TBwBuilder::run() {
    m_state.started = QDateTime::currentDateTime();
    m_ctx = TBwExpressionContext{};
    const QDate d = m_state.started.date();
    const QTime t = m_state.started.time();
    m_ctx.buildDateTime =
        encodeDate(d.year(), d.month(), d.day()) + t.msecsSinceStartOfDay() / 86400000.0;
    m_ctx.aggregates = &m_aggregates;
    m_ctx.progress = [this](const QString& text) {
        if (m_progress) m_progress->setDetail(text);
    };
    m_ctx.findAggregateSource = [this](const QString& name) -> const void* {
        return findDataBand(name);
    };
    m_ctx.showBand = [this](const QString& name) {
        if (!m_ps) return;
        for (const auto& band : m_ps->bands)
            if (band->view && band->view->Name.compare(name, Qt::CaseInsensitive) == 0)
                printBand(band.get());
    };
    const auto work = [this](TBwProgress& progress) { runPasses(&progress); };
    const bool window = m_report.ShowProgress && !m_report.OnProgress && progressRunner();
    try {
        if (window) {
            QString caption = TBwLocale::loadStr(sPreparingReport);
            if (!m_report.Title.isEmpty()) caption += QStringLiteral(" - ") + m_report.Title;
            progressRunner()(m_report, caption, work);
        } else {
            runPasses(nullptr);
        }
    } catch (...) {
        exitDataSets();
        m_pageStates.clear();
        throw;
    }
    m_pageStates.clear();
    return !m_cancelled && m_error.isEmpty();
}

void TBwBuilder::runPasses(TBwProgress* progress) {
    m_progress = progress;
    TBwEMFPages& emf = m_report.emfPages();
    m_report.Terminated = false;
    emf.clear();
    m_state.totalPages = 0;
    if (m_report.TwoPass) {
        {
            FirstPassScope scope(true);
            m_state.firstPass = true;
            buildReport();
        }
        m_state.firstPass = false;
        if (!m_report.Terminated) {
            m_state.totalPages = emf.count();
            emf.clear();
            m_pass2 = true;
            m_state.finalPass = m_report.FinalPass = true;
            buildReport();
        }
    } else {
        m_state.finalPass = m_report.FinalPass = true;
        buildReport();
    }
    if (m_report.Terminated && m_error.isEmpty()) m_cancelled = true;
    m_progress = nullptr;
}

void TBwBuilder::buildReport() {
    if (m_progress && m_progress->processEvents()) m_report.Terminated = true;
    m_report.expressions().clearFieldCache();
    m_error = subReportCycle();
    if (!m_error.isEmpty()) {
        m_report.Terminated = true;
        return;
    }
    const bool multiple = m_report.ReportType == rtMultiple && m_report.dataset();
    if (multiple) {
        m_report.dataset()->init();
        m_report.dataset()->first();
    }
    // Dialog pages ask before anything is built, and only once a build. A
    // page script that sets MODALRESULT answers for the window.
    if (!m_pass2) {
        for (const auto& page : m_report.pages()) {
            if (m_report.Terminated) break;
            if (page->PageType != ptDialog || !page->Visible) continue;
            m_ctx.modalResult = QVariant();
            if (!page->Script.isEmpty()) {
                m_state.page = page.get();
                publish();
                try {
                    m_report.expressions().runScript(page->Script, m_ctx);
                } catch (const std::exception& e) {
                    m_error = QString::fromUtf8(e.what());
                    m_report.Terminated = true;
                    break;
                }
                m_state.page = nullptr;
            }
            const double answer = valueNumber(m_ctx.modalResult);
            bool accepted = true;
            if (m_ctx.modalResult.isValid() && answer != kModalNone)
                accepted = answer != kModalCancel;
            else if (dialogSlot())
                accepted = dialogSlot()(m_report, *page);
            if (!accepted) m_report.Terminated = true;
        }
    }
    if (!m_pass2) {
        m_pageStates.clear();
        for (const auto& page : m_report.pages()) {
            auto ps = std::make_unique<PageState>();
            ps->page = page.get();
            m_pageStates.push_back(std::move(ps));
        }
        for (std::size_t i = 0; i < m_pageStates.size(); ++i)
            for (const int sub : subReportPages(i))
                m_pageStates[sub]->subReport = true;
        for (const auto& owned : m_pageStates) {
            PageState* ps = owned.get();
            TBwPage* page = ps->page;
            if (page->PageType == ptReport) {
                initPage(*page, *ps);
                registerAggregates(*ps);
            }
        }
    } else {
        rewindDataSets();
        for (const auto& ps : m_pageStates)
            for (const auto& band : ps->bands)
                m_aggregates.reset(band.get());
    }
    m_state.pageIndex = 0;
    m_state.current = 1;
    m_continue = false;
    m_break = {};
    m_breakLeft = false;
    m_lastPs = nullptr;
    do {
        for (std::size_t i = 0; i < m_pageStates.size() && !m_report.Terminated; ++i) {
            PageState& ps = *m_pageStates[i];
            // Dialog pages were shown before; they print nothing.
            if (ps.page->PageType != ptReport || ps.subReport) continue;
            m_ps = &ps;
            m_state.page = ps.page;
            // A hidden page's script may show it.
            if (!ps.page->Visible) runPageScript(*ps.page);
            if (!ps.page->Visible || m_report.Terminated) continue;
            buildPage(*ps.page, ps);
            m_lastPs = &ps;
            const bool nextContinues = i + 1 < m_pageStates.size() &&
                                       m_pageStates[i + 1]->page->PrintToPrevPage &&
                                       m_report.emfPages().count() > 0;
            m_continue = nextContinues;
            if (!nextContinues) m_state.pageIndex = m_report.emfPages().count();
        }
        if (multiple && !m_report.Terminated) m_report.dataset()->next();
    } while (multiple && !m_report.Terminated && !m_report.dataset()->eof());
    m_ps = nullptr;
    m_state.page = nullptr;
    m_state.band = nullptr;
    if (multiple) m_report.dataset()->exit();
    if (m_pass2 || !m_report.TwoPass || m_report.Terminated) {
        for (const auto& ps : m_pageStates)
            for (const auto& band : ps->bands)
                if (band->dataSet) band->dataSet->exit();
    }
}

void TBwBuilder::exitDataSets() noexcept {
    const auto leave = [](TBwDataset* ds) {
        try {
            if (ds) ds->exit();
        } catch (...) {
            // The build's own exception is the one that counts.
        }
    };
    for (const auto& ps : m_pageStates)
        for (const auto& band : ps->bands)
            leave(band->dataSet);
    if (m_report.ReportType == rtMultiple) leave(m_report.dataset());
}

void TBwBuilder::fail(const std::exception& e) {
    if (m_error.isEmpty()) m_error = QString::fromUtf8(e.what());
    m_report.Terminated = true;
}

void TBwBuilder::runPageScript(TBwPage& page) {
    if (page.Script.isEmpty()) return;
    m_state.page = &page;
    publish();
    try {
        m_report.expressions().runScript(page.Script, m_ctx);
    } catch (const std::exception& e) {
        fail(e);
    }
    // No sheet is open yet to break from.
    m_ctx.newPage = m_ctx.newColumn = m_ctx.curYSet = false;
    if (m_ctx.stopReport) m_report.Terminated = true;
}

void TBwBuilder::rewindDataSets() {
    for (const auto& ps : m_pageStates)
        for (const auto& band : ps->bands)
            if (band->dataSet) band->dataSet->first();
}

// -------------------------------------------------------- page initialisation

// The report pages the sub-report objects of template page `index` print.
std::vector<int> TBwBuilder::subReportPages(std::size_t index) const {
    std::vector<int> out;
    const TBwPages& pages = m_report.pages();
    if (pages[int(index)].PageType != ptReport) return out;
    for (const auto& view : pages[int(index)].objects())
        if (auto* sub = dynamic_cast<const TBwSubReportView*>(view.get()))
            if (sub->SubPage >= 0 && sub->SubPage < pages.count() &&
                pages[sub->SubPage].PageType == ptReport)
                out.push_back(sub->SubPage);
    return out;
}

// A sub-report that leads back to its own page would print itself without
// end; such a report is refused. Returns the message naming the circle of
// pages (numbered from 1), or nothing.
QString TBwBuilder::subReportCycle() const {
    const std::size_t n = std::size_t(m_report.pages().count());
    enum { unseen, open, done };
    std::vector<int> state(n, unseen);
    std::vector<int> path;
    std::vector<int> circle;
    // Depth-first with an explicit stack: a long chain of pages is no
    // danger to the call stack.
    for (std::size_t root = 0; root < n && circle.empty(); ++root) {
        if (state[root] != unseen) continue;
        std::vector<std::pair<int, std::vector<int>>> stack;
        stack.push_back({int(root), subReportPages(root)});
        state[root] = open;
        path.assign(1, int(root));
        while (!stack.empty() && circle.empty()) {
            auto& [page, next] = stack.back();
            if (next.empty()) {
                state[page] = done;
                stack.pop_back();
                path.pop_back();
                continue;
            }
            const int to = next.back();
            next.pop_back();
            if (state[to] == open) {
                circle.assign(std::find(path.begin(), path.end(), to), path.end());
                circle.push_back(to);
            } else if (state[to] == unseen) {
                state[to] = open;
                path.push_back(to);
                stack.push_back({to, subReportPages(to)});
            }
        }
    }
    if (circle.empty()) return {};
    QStringList pages;
    for (const int page : circle)
        pages.append(QString::number(page + 1));
    return QStringLiteral("Подотчет ссылается сам на себя: страницы ") +
           pages.join(QStringLiteral(" -> "));
}

// A band's data source as written: a number is that many records of the
// band's own, a name one of the report's data sets; empty binds nothing.
void TBwBuilder::bindDataSource(TBwBand& band, const QString& source) {
    bool isNumber = false;
    const int count = source.toInt(&isNumber);
    if (isNumber) {
        band.ownDataSet = std::make_unique<TBwUserDataset>();
        band.ownDataSet->RangeEnd = reCount;
        band.ownDataSet->RangeEndCount = count;
        band.dataSet = band.ownDataSet.get();
    } else if (!source.isEmpty()) {
        band.dataSet = m_report.findDataSet(source);
        if (!band.dataSet) throw EBwError(kUnableToOpenDataset + source);
    }
}

void TBwBuilder::initPage(TBwPage& page, PageState& ps) {
    std::vector<TBwBandView*> views;
    std::vector<TBwView*> others;
    for (const auto& view : page.objects()) {
        view->IsPrepared = true;
        if (auto* band = dynamic_cast<TBwBandView*>(view.get()))
            views.push_back(band);
        else
            others.push_back(view.get());
    }
    // Bands by type, then in page-object order within a type: the order in
    // which an object finds the band it belongs to.
    for (int type = 0; type < btNone; ++type) {
        if (isCross(type)) continue;
        for (TBwBandView* v : views) {
            if (v->bandType() != type) continue;
            auto band = std::make_unique<TBwBand>();
            band->type = type;
            band->page = &page;
            band->view = v;
            band->top = v->Top;
            band->height = v->Height;
            const std::uint16_t f = v->Flags;
            band->stretched = f & flBandStretched;
            band->formNewPage = (f & flBandNewPageAfter) && !ps.subReport;
            band->printIfSubsetEmpty = f & flBandPrintIfSubsetEmpty;
            band->breaked = (f & flBandBreaked) && !ps.subReport;
            band->onFirstPage = f & flBandOnFirstPage;
            band->onLastPage = f & flBandOnLastPage;
            band->repeatHeader = f & flBandRepeatHeader;
            band->printChildIfInvisible = f & flBandPrintChildIfInvisible;
            band->visible = v->Visible;
            if (band->isDataBand()) {
                const QString& source = v->dataSource();
                bindDataSource(*band, source);
                if (source.isEmpty() && type == btMasterData && m_report.ReportType == rtSimple)
                    band->dataSet = m_report.dataset();
                if (band->dataSet) band->dataSet->init();
            } else if (type == btGroupHeader) {
                band->groupCondition = v->FormatStr;
            }
            ps.bands.push_back(std::move(band));
        }
    }
    for (TBwBandView* v : views) {
        const int type = v->bandType();
        TBwBand** strip = type == btCrossHeader   ? &ps.crossHeader
                          : type == btCrossData   ? &ps.crossData
                          : type == btCrossFooter ? &ps.crossFooter
                                                  : nullptr;
        if (!strip || *strip) continue;
        auto band = std::make_unique<TBwBand>();
        band->type = type;
        band->page = &page;
        band->view = v;
        band->left = v->Left;
        band->width = v->Width;
        band->visible = v->Visible;
        if (type == btCrossData) {
            bindDataSource(*band, v->dataSource());
            if (!band->dataSet) continue;
            band->dataSet->init();
        }
        *strip = band.get();
        ps.bands.push_back(std::move(band));
    }
    // Header and footer strips frame the data strip; without it they are
    // plain parts of their rows.
    if (!ps.crossData) ps.crossHeader = ps.crossFooter = nullptr;
    for (TBwBand* cross : {ps.crossHeader, ps.crossFooter})
        if (cross) cross->aggregateOwner = ps.crossData;
    // Sub-reports print after the ordinary objects of their band.
    std::stable_partition(others.begin(), others.end(), [](const TBwView* v) {
        return !dynamic_cast<const TBwSubReportView*>(v);
    });
    for (TBwView* view : others) {
        for (const auto& band : ps.bands) {
            if (isCross(band->type)) continue;
            if (view->Top >= band->top && view->Top <= qint64(band->top) + band->height) {
                view->Top -= band->top;
                view->ParentBand = band.get();
                band->objects.push_back(view);
                break;
            }
        }
        if (view->ParentBand) continue;
        if (!ps.slots[btNone]) {
            auto none = std::make_unique<TBwBand>();
            none->type = btNone;
            none->page = &page;
            ps.slots[btNone] = none.get();
            ps.bands.push_back(std::move(none));
        }
        TBwBand* none = ps.slots[btNone];
        view->ParentBand = none;
        none->objects.push_back(view);
    }
    // Chains of one type, top to bottom.
    std::array<std::vector<TBwBand*>, kBandTypeCount> byType;
    for (const auto& band : ps.bands)
        if (band->type != btNone) byType[band->type].push_back(band.get());
    for (int type = 0; type < btNone; ++type) {
        auto& chain = byType[type];
        std::stable_sort(chain.begin(), chain.end(),
                         [](const TBwBand* a, const TBwBand* b) { return a->top < b->top; });
        for (std::size_t i = 0; i + 1 < chain.size(); ++i)
            chain[i]->next = chain[i + 1];
        if (!chain.empty()) ps.slots[type] = chain.front();
    }
    for (int level = 0; level < kLevels; ++level) {
        const auto& data = byType[dataType(level)];
        if (data.empty()) continue;
        TBwBand* lead = nullptr;
        for (TBwBand* d : data) {
            if (d->dataSet)
                lead = d;
            else if (lead)
                lead->companions.push_back(d);
        }
        ps.deepestLevel = level;
        for (TBwBand* header : byType[dataType(level) - 1]) {
            const qint64 bottom = qint64(header->top) + header->height;
            for (TBwBand* d : data) {
                if (d->top >= bottom) {
                    if (!d->header) d->header = header;
                    break;
                }
            }
        }
        for (TBwBand* footer : byType[dataType(level) + 1]) {
            TBwBand* owner = nullptr;
            TBwBand* lead = nullptr;
            for (TBwBand* d : data) {
                if (d->dataSet) lead = d;
                // A companion's footer is its lead's: they print as one.
                if (d->top < footer->top) owner = d->dataSet ? d : lead;
            }
            if (owner && !owner->footer) owner->footer = footer;
        }
    }
    const auto& groupHeaders = byType[btGroupHeader];
    const auto& groupFooters = byType[btGroupFooter];
    for (std::size_t i = 0; i < groupHeaders.size(); ++i) {
        TBwBand* g = groupHeaders[i];
        if (i < groupFooters.size()) g->groupFooter = groupFooters[i];
        TBwBand* owner = ps.slots[btMasterData];
        if (!g->view->Master.isEmpty()) {
            owner = nullptr;
            for (const auto& b : ps.bands)
                if (b->isDataBand() &&
                    b->view->Name.compare(g->view->Master, Qt::CaseInsensitive) == 0)
                    owner = b.get();
        }
        if (owner) owner->groups.push_back(g);
    }
    for (const auto& band : ps.bands) {
        if (!band->view || band->view->ChildBand.isEmpty()) continue;
        for (const auto& other : ps.bands)
            if (other->type == btChild &&
                other->view->Name.compare(band->view->ChildBand, Qt::CaseInsensitive) == 0)
                band->child = other.get();
    }
    // A chain of children that comes back to itself would print for ever:
    // the link that closes it is dropped.
    for (const auto& band : ps.bands) {
        std::vector<const TBwBand*> seen{band.get()};
        for (TBwBand* b = band.get(); b->child; b = b->child) {
            if (std::find(seen.begin(), seen.end(), b->child) != seen.end()) {
                b->child = nullptr;
                break;
            }
            seen.push_back(b->child);
        }
    }
    for (const auto& band : ps.bands) {
        if (band->footer) band->footer->aggregateOwner = band.get();
        for (TBwBand* g : band->groups)
            if (g->groupFooter) g->groupFooter->aggregateOwner = band.get();
    }
    for (const int type : {btPageFooter, btReportSummary, btColumnFooter})
        for (TBwBand* b = ps.slots[type]; b; b = b->next)
            if (!b->aggregateOwner) b->aggregateOwner = ps.slots[btMasterData];
    if (page.Columns <= 0) page.Columns = 1;
    page.ColumnWidth = page.computedColumnWidth();
}

// ------------------------------------------------------------ page building

void TBwBuilder::buildPage(TBwPage& page, PageState& ps) {
    TBwBand* master = ps.slots[btMasterData];
    if (!m_report.PrintIfEmpty && master && master->dataSet) {
        try {
            master->dataSet->first();
            if (master->dataSet->eof()) return;
        } catch (const std::exception&) {
            return;
        }
    }
    runPageScript(page);
    if (m_report.Terminated) return;
    TBwEMFPages& emf = m_report.emfPages();
    const PageState* before = m_lastPs;
    bool continuing = m_continue && before && emf.count() > 0;
    // A continuing page whose predecessor is full starts a page of its own.
    if (continuing && before->curY >= before->curBottomY) continuing = false;
    // So does one whose predecessor ended asking for a new page.
    if (m_breakLeft) continuing = false;
    m_breakLeft = false;
    ps.column = 0;
    ps.xOffset = page.leftEdge();
    ps.suppressHeaders = false;
    ps.row = {};
    if (continuing) {
        ps.curY = before->curY;
        ps.curBottomY = before->curBottomY;
    } else {
        const TBwBand* footer = ps.slots[btPageFooter];
        ps.curBottomY = page.bottomEdge() - (footer ? footer->height : 0);
        addPreparedPage();
        ps.curY = page.topEdge();
        printBand(ps.slots[btOverlay]);
        printBand(ps.slots[btNone]);
    }
    ps.freshY = ps.curY;
    ps.columnStartY = ps.curY;
    if (m_report.OnManualBuild) {
        m_report.OnManualBuild(&page);
    } else {
        const int pagesBefore = emf.count();
        const int titleY = ps.curY;
        printBand(ps.slots[btReportTitle]);
        // A title with FormNewPage has its sheet to itself: the headers
        // come with the page its break starts.
        if (emf.count() == pagesBefore && !m_break.on) {
            const bool titled = ps.curY != titleY;
            TBwBand* header = ps.slots[btPageHeader];
            if (header && header->onFirstPage) printBand(header);
            printBand(ps.slots[btColumnHeader]);
            // Without a title the headers are all a sheet starts with: a band
            // too tall for the room below them is no better off on the next.
            if (!continuing && !titled && emf.count() == pagesBefore) ps.freshY = ps.curY;
        }
        if (ps.deepestLevel >= 0 && !m_report.Terminated) dataLoop(0);
        finishRow();
        if (!ps.suppressHeaders) printBand(ps.slots[btColumnFooter]);
        ps.ignoreColumnFooter = true;
        printBand(ps.slots[btReportSummary]);
        ps.ignoreColumnFooter = false;
    }
    if (page.columnCount() > 1) ps.curY = ps.curBottomY;
    // Nothing followed a FormNewPage here: no empty page is started for it.
    m_breakLeft = m_break.on;
    m_break = {};
    TBwBand* footer = ps.slots[btPageFooter];
    if (footer && ((m_state.pageIndex == 0 && footer->onFirstPage) || footer->onLastPage))
        printBand(footer);
    if (m_report.OnEndPage) m_report.OnEndPage(m_state.pageIndex);
}

// -------------------------------------------------------------- data loop

void TBwBuilder::setBandState(TBwBand* band) {
    m_state.band = band;
    if (band->isDataBand()) {
        if (band->dataSet) m_state.bandDataSet = band->dataSet;
        m_state.lineNo = band->lineNo;
        m_state.lineThrough = band->lineThrough;
    }
    m_ctx.aggregateUser = band;
    m_ctx.aggregateSource = band->isDataBand() ? band : band->aggregateOwner;
    publish();
}

void TBwBuilder::publish() {
    m_ctx.totalPages = m_state.totalPages;
    m_ctx.finalPass = m_state.finalPass;
    m_ctx.pageIndex = m_state.pageIndex;
    m_ctx.page = m_state.page;
    if (m_ps) {
        m_ctx.curY = m_ps->curY;
        m_ctx.pageBottom = m_ps->curBottomY;
        m_ctx.pageRight = m_ps->page->rightEdge();
    }
    m_ctx.column = m_state.column;
    m_ctx.current = m_state.current;
    m_ctx.bandDataSet = m_state.bandDataSet;
    m_ctx.lineNo = m_state.lineNo;
    m_ctx.lineThrough = m_state.lineThrough;
    m_ctx.view = m_state.view;
}

TBwBand* TBwBuilder::findDataBand(const QString& name) const {
    for (const auto& ps : m_pageStates)
        for (const auto& band : ps->bands)
            if ((band->isDataBand() || band->type == btCrossData) && band->view &&
                band->view->Name.compare(name, Qt::CaseInsensitive) == 0)
                return band.get();
    return nullptr;
}

// Every band that shows totals gets accumulators of its own, so that each
// restarts after its own printing only.
void TBwBuilder::registerAggregates(PageState& ps) {
    const auto add = [this](const TBwBand* user, const TBwBand* owner, const QStringList& text) {
        for (const TBwAggregateCall& call : TBwAggregates::findCalls(text.join(u'\n'))) {
            const TBwBand* source = call.band.isEmpty() ? owner : findDataBand(call.band);
            if (source)
                m_aggregates.add(user, source, call.kind, call.expression, call.flag == u"1");
        }
    };
    for (const auto& band : ps.bands) {
        const TBwBand* owner = band->isDataBand() ? band.get() : band->aggregateOwner;
        if (band->view) add(band.get(), owner, band->view->Script);
        for (TBwView* view : band->objects) {
            // What stands in the cross footer's strip counts the cross records.
            const bool crossTotal = ps.crossFooter && inStrip(*ps.crossFooter, *view);
            const TBwBand* user = crossTotal ? ps.crossFooter : band.get();
            add(user, crossTotal ? ps.crossData : owner, view->Memo);
            add(user, crossTotal ? ps.crossData : owner, view->Script);
        }
    }
}

void TBwBuilder::accumulate(TBwBand* band, bool visible) {
    try {
        m_aggregates.accumulate(band, visible, [this](const QString& expression) {
            publish();
            return m_report.expressions().evaluate(expression, m_ctx);
        });
    } catch (const std::exception& e) {
        m_error = QString::fromUtf8(e.what());
        m_report.Terminated = true;
    }
}

bool TBwBuilder::takeRequests() {
    if (m_ctx.stopReport) m_report.Terminated = true;
    const bool page = m_ctx.newPage, column = m_ctx.newColumn, curY = m_ctx.curYSet;
    const int y = m_ctx.curY;
    m_ctx.newPage = m_ctx.newColumn = m_ctx.curYSet = false;
    if (m_report.Terminated) return false;
    // A sub-report has no pages or columns of its own to break to.
    const bool breaks = (page || column) && !m_ps->subReport;
    if (breaks && page)
        newPage();
    else if (breaks)
        newColumnOrPage();
    if (curY) m_ps->curY = y;
    return breaks;
}

QString TBwBuilder::groupValue(TBwBand* group) {
    if (group->groupCondition.isEmpty() || !group->view || m_report.Terminated) return {};
    try {
        return textExpander().expandText(
            *group->view, QLatin1Char('[') + group->groupCondition + QLatin1Char(']'));
    } catch (const std::exception& e) {
        fail(e);
        return {};
    }
}

bool TBwBuilder::dataLoop(int level) {
    PageState& ps = *m_ps;
    bool printedAny = false;
    for (TBwBand* band = ps.slots[dataType(level)]; band && !m_report.Terminated;
         band = band->next) {
        TBwDataset* ds = band->dataSet;
        if (!ds) continue;
        ds->first();
        band->lineNo = band->lineThrough = 1;
        for (TBwView* view : band->objects)
            if (auto* memo = dynamic_cast<TBwMemoView*>(view)) memo->clearLastValue();
        for (TBwBand* g : band->groups)
            g->lineNo = g->lineThrough = 1;
        if (ds->eof()) continue;
        TBwBand* const outerDataBand = m_dataBand;
        m_dataBand = band;
        m_state.bandDataSet = ds;
        // Whether a record printed since each group began, and since the
        // band did: a group or band none of whose records printed shows
        // neither header nor footer, as if its data were empty.
        std::vector<bool> groupPrinted(band->groups.size(), false);
        bool bandPrinted = false;
        const auto unqueue = [this](TBwBand* b) {
            const auto it = std::find(m_queue.begin(), m_queue.end(), b);
            if (it != m_queue.end()) m_queue.erase(it);
        };
        for (TBwBand* g : band->groups) {
            g->groupValue = groupValue(g);
            m_queue.push_back(g);
        }
        if (band->header) m_queue.push_back(band->header);
        while (!ds->eof() && !m_report.Terminated) {
            m_dataBand = band;
            m_state.bandDataSet = ds;
            m_state.lineNo = band->lineNo;
            m_state.lineThrough = band->lineThrough;
            m_queue.push_back(band);
            if (band->printIfSubsetEmpty) printQueue();
            bool counted = true;
            if (level < ps.deepestLevel) {
                dataLoop(level + 1);
                m_dataBand = band;
                m_state.bandDataSet = ds;
                const auto it = std::find(m_queue.begin(), m_queue.end(), band);
                if (it != m_queue.end()) {
                    m_queue.erase(it);
                    counted = false;
                }
            } else {
                printQueue();
            }
            if (counted) {
                printedAny = bandPrinted = true;
                groupPrinted.assign(groupPrinted.size(), true);
            }
            accumulate(band, counted);
            ds->next();
            if (!band->groups.empty()) {
                int changed = -1;
                if (ds->eof()) {
                    changed = 0;
                } else {
                    for (std::size_t i = 0; i < band->groups.size(); ++i)
                        if (groupValue(band->groups[i]) != band->groups[i]->groupValue) {
                            changed = int(i);
                            break;
                        }
                }
                if (changed >= 0) {
                    // The footers show the group's last record. An application
                    // dataset at its end still stands on it, and stepping back
                    // and on again would leave it no longer at its end.
                    const bool stepBack = !ds->eof() || !ds->endsOnLastRecord();
                    if (stepBack) ds->prior();
                    bool footers = false;
                    for (int j = int(band->groups.size()) - 1; j >= changed; --j) {
                        TBwBand* g = band->groups[j];
                        if (!groupPrinted[j]) {
                            unqueue(g);
                        } else if (g->groupFooter) {
                            m_queue.push_back(g->groupFooter);
                            footers = true;
                        }
                        g->lineNo = g->lineThrough = 1;
                    }
                    // Without footers the queue holds only what still waits
                    // for a record to print.
                    if (footers) printQueue();
                    if (stepBack) ds->next();
                    if (!ds->eof()) {
                        if (band->groups[changed]->formNewPage) requestBreak(band);
                        for (std::size_t j = changed; j < band->groups.size(); ++j) {
                            TBwBand* g = band->groups[j];
                            g->groupValue = groupValue(g);
                            m_queue.push_back(g);
                            groupPrinted[j] = false;
                        }
                    }
                }
            }
            if (counted) {
                ++m_state.current;
                ++band->lineNo;
                ++band->lineThrough;
                if (!ds->eof() && band->formNewPage) requestBreak(band);
            }
        }
        // Its later records printed nothing: the last page it printed on goes on.
        if (m_break.on && m_break.owner == band) m_break = {};
        m_dataBand = band;
        if (!bandPrinted) {
            unqueue(band->header);
            for (TBwBand* g : band->groups)
                unqueue(g);
        } else if (m_queue.empty()) {
            printBand(band->footer);
        } else {
            m_queue.pop_back();
        }
        m_dataBand = outerDataBand;
    }
    return printedAny;
}

void TBwBuilder::printQueue() {
    // Printing may start a page whose repeated headers must not re-enter the queue.
    std::vector<TBwBand*> queue;
    queue.swap(m_queue);
    const std::vector<TBwBand*> outer = std::move(m_pending);
    for (std::size_t i = 0; i < queue.size() && !m_report.Terminated; ++i) {
        m_pending.assign(queue.begin() + std::ptrdiff_t(i), queue.end());
        printBand(queue[i]);
    }
    m_pending = outer;
}

// --------------------------------------------------------------- printing

int TBwBuilder::neededHeight(TBwBand* band) {
    if (!band->stretched) return band->height;
    int height = band->height;
    for (TBwView* view : band->objects) {
        auto* s = dynamic_cast<TBwStretcheable*>(view);
        if (!s || !(view->Flags & flStretched)) continue;
        m_state.view = view;
        publish();
        // Measuring expands the text: its errors are the object's, as in printing.
        try {
            height = std::max<qint64>(height, qint64(view->Top) + s->calcHeight());
        } catch (const std::exception& e) {
            fail(e);
            break;
        }
    }
    m_state.view = nullptr;
    return height;
}

void TBwBuilder::printBand(TBwBand* band) {
    if (!band || m_report.Terminated) return;
    PageState& ps = *m_ps;
    if (m_break.on && !startsPage(band->type)) {
        // The page a FormNewPage asked for, now that more follows.
        TBwBand* const data = m_dataBand;
        m_dataBand = m_break.data;
        newPage();
        m_dataBand = data;
        if (m_report.Terminated) return;
    }
    TBwBand* const outer = m_state.band;
    // The parts of a cell go into the row with it.
    if (ps.row.band && ps.row.band != band && !m_inCell) finishRow();
    setBandState(band);
    if (m_report.OnBeginBand) m_report.OnBeginBand(band);
    if (band->view && !band->view->Script.isEmpty()) {
        m_ctx.newPage = m_ctx.newColumn = m_ctx.curYSet = false;
        try {
            textExpander().runScript(*band->view);
        } catch (const std::exception& e) {
            m_error = QString::fromUtf8(e.what());
            m_report.Terminated = true;
        }
        takeRequests();
        setBandState(band);
    }
    // A script may have hidden or shown the band.
    if (band->view) band->visible = band->view->Visible;
    if (band->visible) {
        if (band->type == btColumnHeader) ps.columnStartY = ps.curY;
        if (band->type == btPageFooter) band->top = ps.curBottomY;
        const int needed = neededHeight(band);
        // Companions, and the child bands of a band in columns of its own,
        // print with it: in its cell, or split with it when it may be split.
        const bool cell = hasOwnColumns(band) && !m_inCell;
        const bool split = band->breaked || m_splitWith;
        qint64 together = needed;
        for (TBwBand* c : band->companions)
            if (c->visible) together += neededHeight(c);
        if (cell)
            for (TBwBand* c = band->child; c; c = c->child)
                if (!c->view || c->view->Visible) together += neededHeight(c);
        const bool exempt = startsPage(band->type) || m_inCell;
        const bool overflows = qint64(ps.curY) + together > ps.curBottomY;
        if (ps.subReport && !exempt && overflows) {
            // A sub-report has no pages of its own to go on to.
            setBandState(band);
            if (m_report.OnEndBand) m_report.OnEndBand(band);
            m_state.band = outer;
            return;
        }
        if (!exempt && !split && !cell && overflows && ps.curY > ps.freshY) newColumnOrPage();
        placeBand(band, needed, cell ? int(std::min<qint64>(together - needed, ps.curBottomY)) : 0);
        // A header the next page would repeat, printed at the start of this
        // one, is part of that start.
        if (band->repeatHeader && repeatable(band->type) && band->top == ps.freshY && !ps.subReport)
            ps.freshY = std::max(ps.freshY, ps.curY);
        const bool inCell = m_inCell, splitWith = m_splitWith;
        m_inCell = m_inCell || cell;
        m_splitWith = split;
        for (TBwBand* c : band->companions) {
            if (!c->visible || m_report.Terminated) continue;
            c->lineNo = band->lineNo;
            c->lineThrough = band->lineThrough;
            placeBand(c, neededHeight(c));
        }
        printBand(band->child);
        m_inCell = inCell;
        m_splitWith = splitWith;
        if (band->formNewPage && !band->isDataBand() && band->type != btGroupHeader &&
            !m_report.Terminated)
            requestBreak(nullptr);
    } else if (band->printChildIfInvisible) {
        printBand(band->child);
    }
    // A footer's totals restart once it has shown them (a page footer's on
    // the page they were collected on, which is the one it closes).
    if (isFooter(band->type)) m_aggregates.reset(band);
    setBandState(band);
    if (m_report.OnEndBand) m_report.OnEndBand(band);
    m_state.band = outer;
}

void TBwBuilder::placeBand(TBwBand* band, int needed, int cellRest) {
    PageState& ps = *m_ps;
    TBwPage& page = *ps.page;
    const bool ownTop = keepsOwnTop(band->type);
    const bool ownColumns = hasOwnColumns(band) && !m_inCell;
    if (ownColumns) nextCell(band);
    if (!ownTop) {
        band->top = ps.curY;
        // The parts of a cell were measured with it.
        if (!startsPage(band->type) && !m_inCell &&
            qint64(band->top) + needed + cellRest + columnFooterRoom() > ps.curBottomY) {
            if (band->breaked || m_splitWith) {
                placeInPieces(band, needed);
                return;
            }
            if (band->top > ps.freshY && !ps.subReport) {
                newColumnOrPage();
                if (ownColumns) nextCell(band);
                band->top = ps.curY;
            }
        }
    }
    setBandState(band);
    band->drawnHeight = needed;
    TBwBandFrame frame;
    frame.Left = ps.xOffset;
    frame.Top = band->top;
    frame.Width = ownColumns               ? band->view->ColumnWidth
                  : page.columnCount() > 1 ? page.ColumnWidth
                                           : (band->view ? band->view->Width : 0);
    frame.Height = needed;
    const int shiftX = ps.xOffset - page.leftEdge();
    m_state.curY = band->top;
    const bool drawObjects = !m_state.firstPass || band->breaked;
    int subBottom = 0;
    if (ps.crossData) {
        placeAcrossCross(band, shiftX, needed, frame, drawObjects, subBottom);
    } else {
        for (TBwView* view : band->objects) {
            if (m_report.Terminated) break;
            printBandObject(band, view, shiftX, needed, frame, drawObjects, subBottom);
        }
    }
    m_state.view = nullptr;
    if (!ownTop) ps.curY = std::max(band->top + needed, subBottom);
    if (ownColumns) ++ps.row.inColumn;
    if (ps.row.band) ps.row.bottom = std::max(ps.row.bottom, ps.curY);
    m_state.curY = ps.curY;
}

void TBwBuilder::printBandObject(TBwBand* band, TBwView* view, int shiftX, int needed,
                                 const TBwBandFrame& frame, bool draw, int& subBottom) {
    if (auto* sub = dynamic_cast<TBwSubReportView*>(view)) {
        if (sub->Visible)
            subBottom =
                std::max(subBottom, printSubReport(*sub, shiftX + sub->Left, band->top + sub->Top));
        return;
    }
    printObject(band, view, shiftX, needed, frame, draw);
}

// A row crossed by the cross strips: what lies left of the data strip, the
// data strip once per cross record (each copy one strip width further
// right), the footer strip with the row's totals over those records, then
// the rest. Every strip right of another moves by what that one grew or
// shrank: an invisible header or footer strip, or a data set without
// records, takes no room.
void TBwBuilder::placeAcrossCross(TBwBand* band, int shiftX, int needed, const TBwBandFrame& frame,
                                  bool draw, int& subBottom) {
    PageState& ps = *m_ps;
    TBwBand* const data = ps.crossData;
    int count = 0;
    if (data->visible)
        for (data->dataSet->first(); !data->dataSet->eof(); data->dataSet->next())
            ++count;
    struct Strip {
        TBwBand* band;
        int copies;
    };
    std::vector<Strip> strips{{data, count}};
    for (TBwBand* cross : {ps.crossHeader, ps.crossFooter})
        if (cross) strips.push_back({cross, cross->visible ? 1 : 0});
    const auto stripOf = [&](const TBwView& view) -> const Strip* {
        for (const Strip& st : strips)
            if (inStrip(*st.band, view)) return &st;
        return nullptr;
    };
    // How far an object at `left` moves for the strips wholly left of it.
    const auto moved = [&](int left) {
        int dx = 0;
        for (const Strip& st : strips)
            if (qint64(st.band->left) + st.band->width <= left)
                dx += (st.copies - 1) * st.band->width;
        return dx;
    };
    const auto phase = [&](const TBwView& view) {
        const Strip* st = stripOf(view);
        if (st && st->band == data) return 1;
        if (st && st->band == ps.crossFooter) return 2;
        return view.Left < data->left ? 0 : 3;
    };
    TBwDataset* const bandDataSet = m_state.bandDataSet;
    for (int ph = 0; ph < 4 && !m_report.Terminated; ++ph) {
        if (ph == 1) {
            const int column = m_state.column;
            m_state.bandDataSet = data->dataSet;
            int k = 0;
            for (data->dataSet->first(); k < count && !m_report.Terminated;
                 data->dataSet->next(), ++k) {
                m_state.column = k + 1;
                for (TBwView* view : band->objects)
                    if (phase(*view) == 1)
                        printBandObject(band, view, shiftX + moved(view->Left) + k * data->width,
                                        needed, frame, draw, subBottom);
                accumulate(data, true);
            }
            m_state.column = column;
            m_state.bandDataSet = bandDataSet;
            continue;
        }
        if (ph == 2) {
            if (!ps.crossFooter || !ps.crossFooter->visible) continue;
            m_ctx.aggregateUser = ps.crossFooter;
            m_ctx.aggregateSource = data;
            m_state.bandDataSet = data->dataSet;
        }
        for (TBwView* view : band->objects) {
            if (m_report.Terminated) break;
            if (phase(*view) != ph) continue;
            const Strip* st = stripOf(*view);
            if (st && st->copies == 0) continue;
            printBandObject(band, view, shiftX + moved(view->Left), needed, frame, draw, subBottom);
        }
        if (ph == 2) {
            m_aggregates.reset(ps.crossFooter);
            m_state.bandDataSet = bandDataSet;
            setBandState(band);
        }
    }
}

void TBwBuilder::printObject(TBwBand* band, TBwView* view, int shiftX, int needed,
                             const TBwBandFrame& frame, bool draw) {
    const int left = view->Left, top = view->Top, height = view->Height;
    view->Left = left + shiftX;
    view->Top = band->top + top;
    if (band->stretched && (view->Flags & flStretched) && dynamic_cast<TBwStretcheable*>(view))
        view->Height = std::max(0, needed - top);
    m_state.view = view;
    publish();
    try {
        if (draw)
            view->print(m_report.emfPages(), m_state.pageIndex, &frame);
        else
            textExpander().runScript(*view);
    } catch (const std::exception& e) {
        m_error = QString::fromUtf8(e.what());
        m_report.Terminated = true;
    }
    view->Left = left;
    view->Top = top;
    view->Height = height;
    if (m_ctx.stopReport) m_report.Terminated = true;
}

// Where the band's next record goes: below the last one in its column until
// the column holds NewColumnAfter records, then at the top of the next
// column; after the last column a new row starts below the whole row.
void TBwBuilder::nextCell(TBwBand* band) {
    PageState& ps = *m_ps;
    const TBwBandView& v = *band->view;
    if (ps.row.band == band && ps.row.inColumn >= std::max(1, v.NewColumnAfter)) {
        ++ps.row.column;
        ps.row.inColumn = 0;
        if (ps.row.column >= v.Columns)
            finishRow();
        else
            ps.curY = ps.row.top;
    }
    if (ps.row.band != band) {
        finishRow();
        ps.row = {band, ps.curY, ps.xOffset, ps.curY, 0, 0};
    }
    ps.xOffset = ps.row.x + ps.row.column * (v.ColumnWidth + v.ColumnGap);
}

void TBwBuilder::finishRow() {
    PageState& ps = *m_ps;
    if (!ps.row.band) return;
    ps.curY = std::max(ps.curY, ps.row.bottom);
    ps.xOffset = ps.row.x;
    ps.row.band = nullptr;
}

// The bands of a sub-report page, at (left, top) of the current page and
// above its bottom limit; returns where they ended.
int TBwBuilder::printSubReport(TBwSubReportView& view, int left, int top) {
    if (view.SubPage < 0 || view.SubPage >= int(m_pageStates.size())) return top;
    PageState& sub = *m_pageStates[view.SubPage];
    if (!sub.subReport || sub.page->PageType != ptReport) return top;
    PageState* const parent = m_ps;
    TBwBand* const band = m_state.band;
    TBwBand* const dataBand = m_dataBand;
    // Its bands are no part of the cell or split the object stands in.
    const PartScope scope(*this);
    std::vector<TBwBand*> queue;
    queue.swap(m_queue);
    sub.curY = top;
    sub.freshY = top;
    sub.columnStartY = top;
    sub.curBottomY = parent->curBottomY;
    sub.column = 0;
    sub.xOffset = left;
    sub.row = {};
    sub.suppressHeaders = true;
    m_ps = &sub;
    // The page's bands as a page would print them, less what belongs to a
    // sheet (page header and footer, overlay): a sub-report has none.
    printBand(sub.slots[btReportTitle]);
    printBand(sub.slots[btColumnHeader]);
    if (sub.deepestLevel >= 0 && !m_report.Terminated) dataLoop(0);
    finishRow();
    printBand(sub.slots[btColumnFooter]);
    printBand(sub.slots[btReportSummary]);
    const int bottom = sub.curY;
    m_ps = parent;
    m_queue.swap(queue);
    m_dataBand = dataBand;
    setBandState(band);
    return bottom;
}

int TBwBuilder::columnFooterRoom() const {
    const PageState& ps = *m_ps;
    const TBwBand* cf = ps.slots[btColumnFooter];
    return (cf && !ps.suppressHeaders && !ps.ignoreColumnFooter) ? cf->height : 0;
}

// A band taller than the room left: each text object prints the lines that
// fit and goes on at the top of the next page; any other object moves whole
// to the first page it fits on.
void TBwBuilder::placeInPieces(TBwBand* band, int needed) {
    PageState& ps = *m_ps;
    TBwPage& page = *ps.page;
    TBwEMFPages& emf = m_report.emfPages();
    struct Part {
        TBwView* view;
        TBwMemoView* memo;
        int height;  // what is left of the object's height
        bool started = false;
        bool done = false;
    };
    std::vector<Part> parts;
    for (TBwView* view : band->objects) {
        int height = view->Height;
        auto* memo = dynamic_cast<TBwMemoView*>(view);
        const bool grows =
            band->stretched && (view->Flags & flStretched) && dynamic_cast<TBwStretcheable*>(view);
        if (grows) height = std::max(0, needed - view->Top);
        // A growing text prints all its lines, whatever rounding its
        // measured height had; a fixed one no more than its height holds.
        if (grows && memo) height = std::numeric_limits<int>::max() / 2;
        parts.push_back({view, memo, height});
    }
    band->drawnHeight = needed;
    int consumed = 0;  // the part of the band the earlier pages took
    bool fresh = band->top <= ps.freshY;
    for (;;) {
        setBandState(band);
        const int pieceTop = band->top;
        const int room = ps.curBottomY - columnFooterRoom() - pieceTop;
        TBwBandFrame frame;
        frame.Left = ps.xOffset;
        frame.Top = pieceTop;
        frame.Width =
            page.columnCount() > 1 ? page.ColumnWidth : (band->view ? band->view->Width : 0);
        frame.Height = std::max(0, room);
        const int shiftX = ps.xOffset - page.leftEdge();
        int bottom = pieceTop;
        bool progress = false;
        for (Part& p : parts) {
            if (p.done || m_report.Terminated) continue;
            TBwView* view = p.view;
            const int rel = p.started ? 0 : std::max(0, view->Top - consumed);
            const int space = room - rel;
            const int wants = p.memo ? p.memo->minHeight() : p.height;
            if (space < wants && !(fresh && rel == 0)) continue;
            const int left = view->Left, top = view->Top, height = view->Height;
            view->Left = left + shiftX;
            view->Top = pieceTop + rel;
            view->Height = p.height;
            m_state.view = view;
            publish();
            try {
                if (p.memo) {
                    const int lines =
                        p.memo->printPiece(emf, m_state.pageIndex, std::min(space, p.height));
                    const int step = p.memo->lineStep();
                    const int used = lines * step;
                    if (lines > 0)
                        bottom =
                            std::max(bottom, pieceTop + rel + p.memo->minHeight() - step + used);
                    p.height -= used;
                    p.started = true;
                    progress = progress || lines > 0;
                    if (p.memo->remainingLines() <= 0 || p.height < p.memo->minHeight()) {
                        p.memo->dropPieces();
                        p.done = true;
                    } else if (lines == 0 && fresh) {
                        // Not one line fits on an empty page: the rest is lost.
                        p.memo->dropPieces();
                        p.done = true;
                    }
                } else {
                    view->print(emf, m_state.pageIndex, &frame);
                    bottom = std::max(bottom, pieceTop + rel + p.height);
                    progress = true;
                    p.done = true;
                }
            } catch (const std::exception& e) {
                m_error = QString::fromUtf8(e.what());
                m_report.Terminated = true;
            }
            view->Left = left;
            view->Top = top;
            view->Height = height;
            if (m_ctx.stopReport) m_report.Terminated = true;
        }
        m_state.view = nullptr;
        const bool finished =
            std::all_of(parts.begin(), parts.end(), [](const Part& p) { return p.done; });
        // A page with no room at all would repeat for ever.
        if (finished || m_report.Terminated || (fresh && room <= 0)) {
            const int rest = std::max(0, needed - consumed);
            ps.curY = std::max(bottom, std::min(pieceTop + rest, ps.curBottomY));
            break;
        }
        // The next column of a page in columns, like any band that does not fit.
        newColumnOrPage();
        band->top = ps.curY;
        consumed += std::max(0, room);
        fresh = true;
    }
    m_state.curY = ps.curY;
}

// ------------------------------------------------------------------ breaks

void TBwBuilder::addPreparedPage() {
    TBwEMFPages& emf = m_report.emfPages();
    m_state.pageIndex = emf.count();
    emf.add(*m_ps->page);
    publish();
    reportProgress();
    if (m_report.OnBeginPage) m_report.OnBeginPage(m_state.pageIndex);
}

void TBwBuilder::reportProgress() {
    const int n = m_state.pageIndex + 1;
    if (m_report.OnProgress) {
        m_report.OnProgress(n);
    } else if (m_progress) {
        QString line;
        if (m_state.firstPass)
            line = TBwLocale::loadStr(sFirstPass) + QStringLiteral("  ") + QString::number(n);
        else if (m_report.TwoPass)
            line = TBwLocale::loadStr(sBuildingPage) + QStringLiteral("  ") + QString::number(n) +
                   QLatin1Char(' ') + TBwLocale::loadStr(sOf) + QLatin1Char(' ') +
                   QString::number(m_state.totalPages);
        else
            line = TBwLocale::loadStr(sBuildingPage) + QStringLiteral("  ") + QString::number(n);
        m_progress->setText(line);
    }
    if (m_progress && m_progress->processEvents()) m_report.Terminated = true;
}

void TBwBuilder::requestBreak(TBwBand* owner) {
    m_break = {true, m_dataBand, owner};
}

void TBwBuilder::newPage() {
    PageState& ps = *m_ps;
    m_break = {};
    TBwPage& page = *ps.page;
    TBwBand* const band = m_state.band;
    // The bands of a page break are no part of the cell or split in progress.
    const PartScope scope(*this);
    finishRow();
    if (!ps.suppressHeaders) printBand(ps.slots[TBwBandType(btColumnFooter)]);
    if (m_report.OnEndPage) m_report.OnEndPage(m_state.pageIndex);
    TBwBand* footer = ps.slots[btPageFooter];
    if (footer && (m_state.pageIndex > 0 || footer->onFirstPage)) printBand(footer);
    ps.curBottomY = page.bottomEdge() - (footer ? footer->height : 0);
    ps.column = 0;
    ps.xOffset = page.leftEdge();
    addPreparedPage();
    ps.curY = page.topEdge();
    printBand(ps.slots[btOverlay]);
    ps.curY = page.topEdge();
    ps.freshY = ps.curY;
    ps.columnStartY = ps.curY;
    printBand(ps.slots[btPageHeader]);
    printBand(ps.slots[btColumnHeader]);
    ps.freshY = ps.curY;
    if (m_dataBand) {
        // A header about to print anyway is not repeated; each repeated one
        // counts as the start of the page, so even one the page cannot hold
        // does not break again.
        const auto repeat = [&](TBwBand* header) {
            if (!header || !header->repeatHeader ||
                std::find(m_pending.begin(), m_pending.end(), header) != m_pending.end())
                return;
            printBand(header);
            ps.freshY = ps.curY;
        };
        for (TBwBand* g : m_dataBand->groups)
            repeat(g);
        repeat(m_dataBand->header);
    }
    m_state.band = band;
}

void TBwBuilder::newColumnOrPage() {
    PageState& ps = *m_ps;
    TBwPage& page = *ps.page;
    const PartScope scope(*this);
    finishRow();
    if (ps.column < page.columnCount() - 1) {
        if (!ps.suppressHeaders) printBand(ps.slots[btColumnFooter]);
        ++ps.column;
        m_state.column = ps.column + 1;
        ps.xOffset += page.ColumnWidth + page.ColumnGap;
        ps.curY = ps.columnStartY;
        ps.freshY = ps.curY;
        printBand(ps.slots[btColumnHeader]);
        ps.freshY = ps.curY;
    } else {
        newPage();
        m_state.column = 1;
    }
}

}  // namespace bwreport
