// The report engine's string table: every user-visible text, by its id.
#pragma once

#include <QString>

namespace bwreport {

// Ids the engine itself refers to by name.
enum TBwStringId : int {
    sOk = 55000,
    sCancel = 55001,
    sPageShort = 55004,
    sVirtualPrinter = 55007,
    sFirstPaperName = 55008,  // 67 paper names of the virtual printer, in table order
    sFirstBandName = 55077,   // band type names, one per type 0 to 22
    sFirstBooleanFormat = 55170,
    sFirstDateFormat = 55175,  // date variants 0 to 3, then time variants 0 to 3
    sFirstTimeFormat = 55179,
    sOf = 55199,
    sExpressionError = 55200,
    sDocument = 55201,
    sObject = 55202,
    sPreparingReport = 55203,
    sFirstPass = 55204,
    sBuildingPage = 55205,
    sError = 55206,
    sPreview = 55207,
    sPrintingPage = 55208,
    sUntitled = 55209,
    sReportFile = 55211,
    sDefaultCharset = 55337,
    sBadFormat = 55345,
    sUndefinedVariable = 55439,
    sPrint = 53040,  // the print dialog's texts, 53040 to 53055
    sPrinterGroup = 53041,
    sProperties = 53042,
    sCopiesGroup = 53043,
    sPagesGroup = 53044,
    sAllPages = 53045,
    sCurrentPage = 53046,
    sPageNumbers = 53047,
    sPageNumbersHint = 53048,
    sPrinterName = 53049,
    sCopyCount = 53050,
    sCollate = 53051,
    sPrintWhich = 53052,
    sWhichAll = 53053,
    sWhichOdd = 53054,
    sWhichEven = 53055,
};

class TBwLocale {
public:
    // The text of `id`; empty for an id the table does not hold.
    static QString loadStr(int id);
};

// Texts without a string-table id, kept here so that every text is in one file.
inline const QString kUnableToOpenDataset = QStringLiteral("Unable to open dataset ");
inline const QString kMissingComponents =
    QStringLiteral("Report contains the following non-plugged components:");
inline const QString kIncludeComponents =
    QStringLiteral("You must include these components into your project.");
inline const QString kDefaultDialogCaption = QStringLiteral("Form");

// Expression errors of our own; each is followed by ": " and the offending text.
inline const QString kBadExpression = QStringLiteral("Ошибка в выражении");
inline const QString kUnbalancedParentheses =
    QStringLiteral("Несогласованные скобки в аргументах функции");
inline const QString kTooManyArguments = QStringLiteral("Слишком много аргументов функции");
inline const QString kNotANumber = QStringLiteral("Значение не является числом");
inline const QString kNotADate = QStringLiteral("Значение не является датой");
inline const QString kNotATime = QStringLiteral("Значение не является временем");
// A script that runs on past its step limit (a loop that never ends); it
// stands alone.
inline const QString kScriptTooLong = QStringLiteral("Сценарий выполняется слишком долго");

// The preview's texts of our own: PDF export, load errors and the key help.
inline const QString kPdfHint = QStringLiteral("Сохранить отчет в PDF");
inline const QString kPdfFilter = QStringLiteral("Документ PDF (*.pdf)");
inline const QString kDefaultReportName = QStringLiteral("Отчёт");
inline const QString kNoPagesToExport = QStringLiteral("В отчете нет страниц");
// Followed by the file's name.
inline const QString kCannotWriteFile = QStringLiteral("Не удалось записать файл ");
inline const QString kCannotLoadReport = QStringLiteral("Не удалось открыть отчет ");
// Followed by why: a page's objects that cannot be decoded or drawn.
inline const QString kCannotPrintReport = QStringLiteral("Не удалось напечатать отчет: ");
inline const QString kPageSetupHint = QStringLiteral("Параметры страницы");
inline const QString kPreviewHelpTitle = QStringLiteral("Справка");
// The print dialog's page-number field holds an item that is not a page or a range.
inline const QString kBadPageItem = QStringLiteral("Неверный номер или диапазон страниц: \"%1\"");

}  // namespace bwreport
