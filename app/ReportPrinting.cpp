#include "ReportPrinting.h"

#include <QFile>
#include <stdexcept>
#include <string>
#include <utility>

#include "Platform.h"
#include "document/bw_report.h"

// Resources of a static library must be registered by name before use.
static void initReportResources() {
    Q_INIT_RESOURCE(resources);
}

namespace orvalen {

namespace {

TPrintHandler& printHandler() {
    static TPrintHandler handler;
    return handler;
}

}  // namespace

bool PrintPreparedReport(bwreport::TBwReport& report, QWidget* parent) {
    if (report.emfPages().count() == 0 || !printHandler()) return false;
    return printHandler()(report, parent);
}

TPrintHandler SetPrintHandler(TPrintHandler handler) {
    return std::exchange(printHandler(), std::move(handler));
}

QByteArray StoredReport(const char* name) {
    static const bool registered = (initReportResources(), true);
    (void)registered;
    QFile file(QStringLiteral(":/reports/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

void LoadStoredReport(bwreport::TBwReport& report, const char* name) {
    const QByteArray stream = StoredReport(name);
    if (stream.isEmpty()) throw std::runtime_error(std::string("Report ") + name + " not found");
    const bwreport::TBwLoadStatus status = report.loadFromStream(stream);
    if (status != bwreport::TBwLoadStatus::Loaded) {
        std::string problems;
        for (const QString& p : report.loadProblems())
            problems += "\n" + MessageText1251(p.toStdString());
        throw std::runtime_error(std::string("Report ") + name + " cannot be loaded" + problems);
    }
}

}  // namespace orvalen
