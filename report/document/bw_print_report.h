// Printing a report's prepared pages: the plan of pages, copies and jobs
// sent through the printer layer to a print target, from the progress
// window when the report shows one.
#pragma once

#include <QString>
#include <memory>

#include "printer/bw_print_plan.h"

class QPainter;
class QPrinter;

namespace bwreport {

class TBwReport;

// Where the jobs of a print run go. The printer layer holds the paper and
// the geometry; a target only starts jobs and sheets and gives the painter.
class TBwPrintTarget {
public:
    virtual ~TBwPrintTarget() = default;
    // Starts a job on the printer's current paper, asking the device for
    // `copies` uncollated copies, and returns the painter of its first
    // sheet, its origin at the printable area's top-left; null when the job
    // cannot start.
    virtual QPainter* beginJob(const QString& title, int copies) = 0;
    // The next sheet of the running job; false when the device refuses it.
    virtual bool newSheet() = 0;
    virtual void endJob() = 0;
    // Drops the running job; sheets the device has already taken may stay printed.
    virtual void abortJob() = 0;
};

// Jobs on a printer's device (the current real printer's QPrinter).
std::unique_ptr<TBwPrintTarget> makePrinterTarget(QPrinter& printer);

struct TBwPrintOptions {
    QString pages;  // a page list; empty for all pages
    int copies = 1;
    TBwPrintPages which = ppAll;
    bool collate = true;
};

enum class TBwPrintResult {
    Printed,
    NoPrinter,    // no real printer is current: nothing was sent
    BadPageList,  // nothing was sent
    Cancelled,    // the job was aborted after the pages already sent
    Failed,       // the device would not start a job or a sheet
};

// Sends the report's prepared pages to the current printer, or to `target`
// when one is given (the printer layer still supplies paper and geometry).
// A page-list error leaves its text in `error`. A page whose objects cannot
// be decoded or drawn aborts the job and throws EBwStreamError or EBwError.
TBwPrintResult printPreparedReport(TBwReport& report, const TBwPrintOptions& options,
                                   TBwPrintTarget* target = nullptr, QString* error = nullptr);

}  // namespace bwreport
