// Building a report: template pages and their data sets into prepared pages.
// The builder lives for one prepare-report; its run-time bands for one build.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "base/bw_types.h"
#include "expr/bw_aggregates.h"

namespace bwreport {

class TBwReport;
class TBwPage;
class TBwView;
class TBwBandView;
class TBwSubReportView;
struct TBwBandFrame;
class TBwDataset;
class TBwUserDataset;
struct TBwExpressionContext;

// A band of a template page as a build sees it.
class TBwBand {
public:
    TBwBand();
    ~TBwBand();

    int type = btNone;
    TBwPage* page = nullptr;
    TBwBandView* view = nullptr;  // none for the band of objects outside bands
    int top = 0, height = 0;
    int left = 0, width = 0;  // a cross band's strip
    int drawnHeight = 0;      // the (stretched) height of the row printed last
    std::vector<TBwView*> objects;

    bool stretched = false, formNewPage = false, printIfSubsetEmpty = false, breaked = false,
         printChildIfInvisible = false, onFirstPage = false, onLastPage = false,
         repeatHeader = false, visible = true;

    TBwDataset* dataSet = nullptr;
    std::unique_ptr<TBwUserDataset> ownDataSet;  // a data source given as a record count

    TBwBand* header = nullptr;
    TBwBand* footer = nullptr;
    TBwBand* child = nullptr;
    TBwBand* next = nullptr;       // the next band of the same type, lower on the page
    std::vector<TBwBand*> groups;  // a data band's group headers, top to bottom
    // Data bands of the same type below this one without a data set of
    // their own: they print with each of its records.
    std::vector<TBwBand*> companions;
    TBwBand* groupFooter = nullptr;
    // A footer: the data band whose records its totals count.
    TBwBand* aggregateOwner = nullptr;
    QString groupCondition;
    QString groupValue;  // the condition's value at the group's start

    int lineNo = 1;       // LINE#
    int lineThrough = 1;  // LINETHROUGH#

    bool isDataBand() const {
        return type == btMasterData || type == btDetailData || type == btSubDetailData;
    }
};

// What expressions read of a build in progress; valid while one runs.
struct TBwBuildState {
    TBwReport* report = nullptr;
    TBwPage* page = nullptr;
    TBwBand* band = nullptr;
    TBwView* view = nullptr;
    int pageIndex = 0;   // the prepared page being filled; PAGE# is one more
    int totalPages = 0;  // TOTALPAGES: 0 in a one-pass build
    bool firstPass = false;
    bool finalPass = false;
    int curY = 0;
    int current = 1;  // CURRENT#
    int column = 1;   // COLUMN#
    QDateTime started;
    TBwDataset* bandDataSet = nullptr;  // the current data band's, or its master's
    int lineNo = 1;
    int lineThrough = 1;
};
// The build running now, or null.
const TBwBuildState* currentBuild();

// What the progress window gives the build it runs.
class TBwProgress {
public:
    virtual ~TBwProgress() = default;
    virtual void setText(const QString& line) = 0;
    // The second line: what a script assigns to PROGRESS.
    virtual void setDetail(const QString& /*line*/) {}
    // Lets the window see its Cancel; true once it was pressed.
    virtual bool processEvents() = 0;
};

// Runs `work` from a modal progress window captioned `caption`; returns
// when it has run. Without a window installed the work runs directly.
using TBwProgressRunner =
    std::function<void(TBwReport& report, const QString& caption,
                       const std::function<void(TBwProgress& progress)>& work)>;
TBwProgressRunner setProgressRunner(TBwProgressRunner runner);
const TBwProgressRunner& progressRunner();

// Shows a dialog page modally before a build; false when it was cancelled
// or closed, which cancels the build. It is not asked when the page's script
// set MODALRESULT. Without one, dialog pages are passed by.
using TBwDialogRunner = std::function<bool(TBwReport& report, TBwPage& page)>;
TBwDialogRunner setDialogRunner(TBwDialogRunner runner);

// Where show-prepared-report hands a report with prepared pages.
using TBwPreviewHandler = std::function<void(TBwReport& report)>;
TBwPreviewHandler setPreviewHandler(TBwPreviewHandler handler);

class TBwBuilder {
public:
    explicit TBwBuilder(TBwReport& report);
    ~TBwBuilder();
    TBwBuilder(const TBwBuilder&) = delete;
    TBwBuilder& operator=(const TBwBuilder&) = delete;

    // The passes; true when the pages are complete.
    bool run();

    const QString& error() const { return m_error; }
    bool cancelled() const { return m_cancelled; }

private:
    struct PageState;

    void runPasses(TBwProgress* progress);
    void buildReport();
    void initPage(TBwPage& page, PageState& ps);
    void bindDataSource(TBwBand& band, const QString& source);
    void rewindDataSets();
    void buildPage(TBwPage& page, PageState& ps);
    bool dataLoop(int level);
    void printQueue();
    void printBand(TBwBand* band);
    // `cellRest`: the height of what prints in the band's cell below it.
    void placeBand(TBwBand* band, int neededHeight, int cellRest = 0);
    void placeInPieces(TBwBand* band, int neededHeight);
    int columnFooterRoom() const;
    void nextCell(TBwBand* band);
    void printObject(TBwBand* band, TBwView* view, int shiftX, int needed,
                     const TBwBandFrame& frame, bool draw);
    int printSubReport(TBwSubReportView& view, int left, int top);
    // One object of a band; a sub-report object prints its page and pushes
    // subBottom down to where that ended.
    void printBandObject(TBwBand* band, TBwView* view, int shiftX, int needed,
                         const TBwBandFrame& frame, bool draw, int& subBottom);
    void placeAcrossCross(TBwBand* band, int shiftX, int needed, const TBwBandFrame& frame,
                          bool draw, int& subBottom);
    TBwBand* findDataBand(const QString& name) const;
    std::vector<int> subReportPages(std::size_t index) const;
    QString subReportCycle() const;
    void finishRow();
    int neededHeight(TBwBand* band);
    void newPage();
    void newColumnOrPage();
    void addPreparedPage();
    void reportProgress();
    QString groupValue(TBwBand* group);
    TBwBand* slot(int type) const;
    void setBandState(TBwBand* band);
    // The expression context follows the build state.
    void publish();
    void registerAggregates(PageState& ps);
    void accumulate(TBwBand* band, bool visible);
    // Acts on what a script asked for; true when it moved to a new page or column.
    bool takeRequests();
    void fail(const std::exception& e);
    // Leaves every data set a build opened, after an exception cut it short.
    void exitDataSets() noexcept;
    void runPageScript(TBwPage& page);

    TBwReport& m_report;
    TBwBuildState m_state;
    TBwExpressionContext& m_ctx;
    TBwAggregates m_aggregates;
    const TBwBuildState* m_outer = nullptr;
    std::vector<std::unique_ptr<PageState>> m_pageStates;
    PageState* m_ps = nullptr;      // the page being built
    PageState* m_lastPs = nullptr;  // the page built last: a continuing page goes on there
    TBwProgress* m_progress = nullptr;
    std::vector<TBwBand*> m_queue;
    // Bands of the queue being printed that have not printed yet: a page
    // break among them must not repeat them as headers of the new page.
    std::vector<TBwBand*> m_pending;
    // A FormNewPage waits for the next band that prints, so that a page is
    // never started with nothing to follow. `data` is the data band whose
    // headers the page repeats; `owner` the data band whose record asked,
    // whose later records may all print nothing.
    struct PendingBreak {
        bool on = false;
        TBwBand* data = nullptr;
        TBwBand* owner = nullptr;
    } m_break;
    // The page built last ended with a break still pending.
    bool m_breakLeft = false;
    void requestBreak(TBwBand* owner);
    TBwBand* m_dataBand = nullptr;  // the data band whose record is being printed
    // Printing the companions or child of a band in columns of its own (they
    // go into its cell), or of a band that may be split (they split with it).
    bool m_inCell = false;
    bool m_splitWith = false;
    // Clears both while it lives.
    struct PartScope {
        explicit PartScope(TBwBuilder& b) : b(b), inCell(b.m_inCell), splitWith(b.m_splitWith) {
            b.m_inCell = b.m_splitWith = false;
        }
        ~PartScope() {
            b.m_inCell = inCell;
            b.m_splitWith = splitWith;
        }
        PartScope(const PartScope&) = delete;
        PartScope& operator=(const PartScope&) = delete;
        TBwBuilder& b;
        bool inCell, splitWith;
    };
    bool m_pass2 = false;
    bool m_continue = false;  // the next template page continues on this prepared page
    bool m_stop = false;
    bool m_cancelled = false;
    QString m_error;
};

}  // namespace bwreport
