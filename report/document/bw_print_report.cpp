#include "document/bw_print_report.h"

#include <QPainter>
#include <QPrinter>
#include <cmath>
#include <exception>
#include <vector>

#include "base/bw_strings.h"
#include "build/bw_builder.h"
#include "document/bw_report.h"
#include "printer/bw_paper_table.h"
#include "printer/bw_printer.h"

namespace bwreport {

namespace {

class PrinterTarget : public TBwPrintTarget {
public:
    explicit PrinterTarget(QPrinter& printer) : m_printer(printer) {}

    QPainter* beginJob(const QString& title, int copies) override {
        m_printer.setDocName(title);
        m_printer.setCopyCount(copies);
        // Collated copies are sent page by page by the loop itself.
        m_printer.setCollateCopies(false);
        if (!m_painter.begin(&m_printer)) return nullptr;
        return &m_painter;
    }
    bool newSheet() override { return m_printer.newPage(); }
    void endJob() override { m_painter.end(); }
    void abortJob() override {
        m_printer.abort();
        if (m_painter.isActive()) m_painter.end();
    }

private:
    QPrinter& m_printer;
    QPainter m_painter;
};

int scaled(int units, int px, int unitsTotal) {
    return unitsTotal > 0 ? static_cast<int>(std::lround(double(units) * px / unitsTotal)) : 0;
}

// Where a prepared page lands on the painter, whose origin is the printable
// area's top-left.
QRectF pageRect(const TBwPreparedPage& page, const TBwPageGeometry& g) {
    if (page.UseMargins) return QRectF(-g.offsetXPx, -g.offsetYPx, g.sheetWidthPx, g.sheetHeightPx);
    const int left = scaled(page.LeftMargin, g.printableWidthPx, g.printableWidth);
    const int right = scaled(page.RightMargin, g.printableWidthPx, g.printableWidth);
    const int top = scaled(page.TopMargin, g.printableHeightPx, g.printableHeight);
    const int bottom = scaled(page.BottomMargin, g.printableHeightPx, g.printableHeight);
    return QRectF(left, top, g.printableWidthPx - left - right, g.printableHeightPx - top - bottom);
}

// Sets a job's paper as building does: a code the printer lacks becomes the
// user-defined size on the default source.
void applyPaper(TBwPrinter& printer, const TBwPaperRequest& paper) {
    if (!printer.setPaper(paper.code, paper.width, paper.height, paper.orientation, paper.bin,
                          true))
        printer.setPaper(kUserPaper, paper.width, paper.height, paper.orientation, -1, true);
}

// Undoes on every exit what a print run changes on the report and the printer.
class RunScope {
public:
    RunScope(TBwReport& report, TBwPrinter& printer) : m_report(report), m_printer(printer) {
        m_mouseOver.swap(m_report.OnMouseOverObject);
    }
    ~RunScope() {
        if (m_target && m_jobRunning) m_target->abortJob();
        m_printer.setPrinting(false);
        m_report.OnMouseOverObject.swap(m_mouseOver);
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

    void jobStarted(TBwPrintTarget* target) {
        m_target = target;
        m_jobRunning = true;
        m_printer.setPrinting(true);
    }
    void jobEnded() {
        m_jobRunning = false;
        m_printer.setPrinting(false);
    }

private:
    TBwReport& m_report;
    TBwPrinter& m_printer;
    decltype(TBwReport::OnMouseOverObject) m_mouseOver;
    TBwPrintTarget* m_target = nullptr;
    bool m_jobRunning = false;
};

class PrintRun {
public:
    PrintRun(TBwReport& report, TBwPrinter& printer, TBwPrintTarget& target,
             const TBwPrintPlan& plan)
        : m_report(report), m_printer(printer), m_target(target), m_plan(plan) {}

    TBwPrintResult run(TBwProgress* progress) {
        RunScope scope(m_report, m_printer);
        TBwEMFPages& emf = m_report.emfPages();
        const QString title =
            m_report.Title.isEmpty() ? TBwLocale::loadStr(sUntitled) : m_report.Title;
        if (m_report.OnPrintReport) m_report.OnPrintReport();
        for (const TBwPrintJob& job : m_plan.Jobs) {
            applyPaper(m_printer, job.Paper);
            const TBwPageGeometry g = m_printer.geometry();
            QPainter* painter = m_target.beginJob(title, m_plan.PrinterCopies);
            if (!painter) return TBwPrintResult::Failed;
            scope.jobStarted(&m_target);
            bool first = true;
            for (const int number : job.Pages) {
                if (!first && !m_target.newSheet()) return TBwPrintResult::Failed;
                first = false;
                const int index = number - 1;
                painter->save();
                emf.draw(index, *painter, pageRect(emf[index], g));
                painter->restore();
                emf.freePage(index);
                reportProgress(progress, number);
                if (m_report.Terminated) return TBwPrintResult::Cancelled;
            }
            m_target.endJob();
            scope.jobEnded();
        }
        return TBwPrintResult::Printed;
    }

private:
    void reportProgress(TBwProgress* progress, int number) {
        if (m_report.OnProgress) {
            m_report.OnProgress(number);
        } else if (progress) {
            progress->setText(TBwLocale::loadStr(sPrintingPage) + QStringLiteral("  ") +
                              QString::number(number));
        }
        if (progress && progress->processEvents()) m_report.Terminated = true;
    }

    TBwReport& m_report;
    TBwPrinter& m_printer;
    TBwPrintTarget& m_target;
    const TBwPrintPlan& m_plan;
};

}  // namespace

std::unique_ptr<TBwPrintTarget> makePrinterTarget(QPrinter& printer) {
    return std::make_unique<PrinterTarget>(printer);
}

TBwPrintResult printPreparedReport(TBwReport& report, const TBwPrintOptions& options,
                                   TBwPrintTarget* target, QString* error) {
    TBwPrinter& printer = TBwPrinter::instance();
    if (printer.isVirtual()) return TBwPrintResult::NoPrinter;
    std::unique_ptr<TBwPrintTarget> own;
    if (!target) {
        QPrinter* device = printer.device();
        if (!device) return TBwPrintResult::NoPrinter;
        own = makePrinterTarget(*device);
        target = own.get();
    }

    TBwEMFPages& emf = report.emfPages();
    const int count = emf.count();
    const auto list = parsePageList(options.pages, count, error);
    if (!list) return TBwPrintResult::BadPageList;
    std::vector<TBwPaperRequest> papers;
    papers.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TBwPreparedPage& p = emf[i];
        papers.push_back(
            {p.pgSize, p.pgWidth, p.pgHeight, p.pgOr, p.pgBin == kDefaultBin ? -1 : p.pgBin});
    }
    const TBwPrintPlan plan = planPrint(papers, selectPages(*list, count, options.which),
                                        options.copies, options.collate);

    report.Terminated = false;
    PrintRun run(report, printer, *target, plan);
    // A window closed before its work began has cancelled it.
    TBwPrintResult result = TBwPrintResult::Cancelled;
    // Nothing may leave through the progress window's event loop: a page that
    // cannot be drawn is thrown again once the window has closed.
    std::exception_ptr failure;
    const auto work = [&](TBwProgress& progress) {
        try {
            result = run.run(&progress);
        } catch (...) {
            failure = std::current_exception();
        }
    };
    if (report.ShowProgress && !report.OnProgress && progressRunner()) {
        QString caption = TBwLocale::loadStr(sPreparingReport);
        if (!report.Title.isEmpty()) caption += QStringLiteral(" - ") + report.Title;
        progressRunner()(report, caption, work);
    } else {
        result = run.run(nullptr);
    }
    if (failure) std::rethrow_exception(failure);
    return result;
}

}  // namespace bwreport
