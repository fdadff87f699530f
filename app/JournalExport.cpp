#include "JournalExport.h"

#include <QDate>
#include <QTime>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "Platform.h"
#include "Recommendations.h"
#include "sqlmem/cp1251.h"
#include "uUtils.h"

namespace orvalen {

namespace {

std::string utf8(const std::string& text1251) {
    return sqlmem::cp1251::toUtf8(text1251);
}

// The spreadsheet's own day.month.year and hours:minutes:seconds, which a
// Russian locale takes as a date and a time.
std::string dateText(double day) {
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(day)));
    return date.toString(QStringLiteral("dd.MM.yyyy")).toStdString();
}

std::string timeText(double fraction) {
    const double f = fraction - std::floor(fraction);
    const int seconds = std::min(86399, static_cast<int>(std::lround(f * 86400.0)));
    return QTime(0, 0).addSecs(seconds).toString(QStringLiteral("HH:mm:ss")).toStdString();
}

void addRow(std::string& out, const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += kCsvSeparator;
        out += CsvField(fields[i]);
    }
    out += "\r\n";
}

std::string programmes(TRecommendations& recommendations, const std::string& name,
                       const std::string& answers, double time) {
    try {
        recommendations.CalculateResults(name, answers, time);
    } catch (const std::out_of_range&) {
        // An answer text short of lines has no programmes; the survey is
        // still exported.
        return {};
    }
    sqlmem::TSQLMemQuery& q = recommendations.TestResultsSQLMemQuery;
    std::string names;
    for (q.first(); !q.eof(); q.next())
        names = JoinText(names, utf8(q.fieldByName("rs_name").asString()), "; ");
    return names;
}

}  // namespace

std::string CsvField(const std::string& text) {
    if (text.find_first_of(std::string(1, kCsvSeparator) + "\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') out += c;
    }
    return out + '"';
}

std::string JournalCsv(sqlmem::TSQLMemTable& tests, TRecommendations& recommendations,
                       int partCount) {
    std::string out = kCsvByteOrderMark;
    std::vector<std::string> header = {"Номер", "Дата", "Время", "ФИО опрашиваемого"};
    for (int p = 1; p <= partCount; ++p)
        header.push_back("Часть " + std::to_string(p));
    header.push_back("Рекомендованные программы");
    addRow(out, header);

    const sqlmem::TBookmark current = tests.bookmark();
    tests.disableControls();
    struct Restore {
        sqlmem::TSQLMemTable& t;
        const sqlmem::TBookmark& at;
        ~Restore() {
            try {
                if (!at.empty() && t.bookmarkValid(at)) t.gotoBookmark(at);
            } catch (...) {
                // The row is only where the grid stood; the export is done.
            }
            t.enableControls();
        }
    } restore{tests, current};

    for (tests.first(); !tests.eof(); tests.next()) {
        const std::string name = tests.fieldByName("tested_name").asString();
        const std::string answers = tests.fieldByName("test_results").asString();
        const double date = tests.fieldByName("test_date").asDateTime();
        const double time = tests.fieldByName("test_time").asDateTime();
        std::vector<std::string> row = {std::to_string(tests.fieldByName("id").asLargeInt()),
                                        dateText(date), timeText(time), utf8(name)};
        const std::vector<std::string> lines = SplitLines(answers);
        for (int p = 0; p < partCount; ++p)
            row.push_back(p < static_cast<int>(lines.size()) ? lines[static_cast<size_t>(p)]
                                                             : std::string());
        row.push_back(programmes(recommendations, name, answers, date + time));
        addRow(out, row);
    }
    return out;
}

void ExportJournalCsv(const std::string& file, sqlmem::TSQLMemTable& tests,
                      TRecommendations& recommendations, int partCount) {
    CheckReplaceable(file);
    WriteFileAtomically(file, JournalCsv(tests, recommendations, partCount));
}

}  // namespace orvalen
