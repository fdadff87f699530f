// The journal as a CSV file for a spreadsheet: one line per survey the
// journal shows, with the survey's ticks and its recommended programmes.
#pragma once

#include <string>

#include "sqlmem/sqlmem.h"

namespace orvalen {

class TRecommendations;

// A spreadsheet in a Russian locale reads ";" as the column separator (the
// comma is its decimal sign) and takes the file as UTF-8 by its byte-order
// mark.
inline constexpr char kCsvSeparator = ';';
inline constexpr const char* kCsvByteOrderMark = "\xEF\xBB\xBF";

// `text` as one field: quoted, with quotes doubled, when it holds the
// separator, a quote or a line break; as it is otherwise.
std::string CsvField(const std::string& text);

// The CSV text (UTF-8, byte-order mark, header line, CR LF line ends) of
// the surveys `tests` shows under its filter, in its order: id, date, time,
// name, the ticked numbers of each of `partCount` parts, and the names of
// the recommended programmes, which `recommendations` computes (its state
// is that of the last survey afterwards). The journal's current row stays.
std::string JournalCsv(sqlmem::TSQLMemTable& tests, TRecommendations& recommendations,
                       int partCount);

// Writes JournalCsv to `file` (UTF-8 path), replacing it whole or not at all.
void ExportJournalCsv(const std::string& file, sqlmem::TSQLMemTable& tests,
                      TRecommendations& recommendations, int partCount);

}  // namespace orvalen
