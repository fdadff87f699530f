// The report component: its template pages, prepared pages and dictionary,
// its published settings and events, and the template's byte form.
#pragma once

#include <QByteArray>
#include <QKeySequence>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

#include "base/bw_component.h"
#include "data/bw_dictionary.h"
#include "document/bw_page.h"
#include "document/bw_prepared_pages.h"

class QWidget;

namespace bwreport {

class TBwBand;
class TBwDataset;
class TBwPreviewPanel;
class TBwExpressions;
struct TBwExpressionContext;

enum TBwReportType { rtSimple, rtMultiple };
enum TBwPreviewZoom { pzDefault, pzPageWidth, pzOnePage, pzTwoPages };
enum TBwPreviewButton : unsigned {
    pbZoom = 1,
    pbLoad = 2,
    pbSave = 4,
    pbPrint = 8,
    pbFind = 16,
    pbHelp = 32,
    pbExit = 64,
    pbPageSetup = 128,
};

// A tool button the application adds to this report's preview, after the
// engine's own. Its hint is the tooltip and the button's accessible name;
// the shortcut works while the preview has the focus, where the engine's
// own keys do not take it.
struct TBwPreviewTool {
    QString caption;
    QString hint;
    QKeySequence shortcut;
    // Called with the preview window, which stays open.
    std::function<void(QWidget* preview)> action;
};

enum class TBwLoadStatus {
    Loaded,
    VersionRefused,  // a format newer than 24: nothing was loaded
    Failed,          // unreadable outside an object: the report is one empty page
    MissingClasses,  // add-in classes not registered; the other objects loaded
};

class TBwReport : public TBwComponent {
public:
    explicit TBwReport(TBwOwner* owner = nullptr, QString name = {});
    ~TBwReport() override;

    // --- published --------------------------------------------------------
    // With rtMultiple the whole report repeats for each of its records.
    void setDataset(TBwDataset* dataset);
    TBwDataset* dataset() const { return m_dataset; }
    int DefaultCopies = 1;
    bool DefaultCollate = true;
    bool GrayedButtons = false;
    TBwPreviewZoom InitialZoom = pzDefault;
    bool MDIPreview = false;
    bool ModalPreview = true;
    bool ModifyPrepared = true;
    TBwPreviewPanel* Preview = nullptr;
    unsigned PreviewButtons = pbZoom | pbLoad | pbSave | pbPrint | pbFind | pbHelp | pbExit;
    bool PrintIfEmpty = true;
    TBwReportType ReportType = rtSimple;
    bool ShowPrintDialog = true;
    bool ShowProgress = true;
    bool StoreInForm = false;
    QString Title;
    std::vector<TBwPreviewTool> PreviewTools;

    // --- events -----------------------------------------------------------
    std::function<void()> OnBeginDoc, OnEndDoc, OnPrintReport;
    std::function<void(int pgNo)> OnBeginPage, OnEndPage;
    std::function<void(TBwBand*band)> OnBeginBand, OnEndBand, OnBeginColumn;
    std::function<void(const QString& parName, QVariant& parValue)> OnGetValue;
    std::function<void(QStringList& memo, TBwView* view)> OnBeforePrint;
    std::function<void(const QString& name, const QVariant& p1, const QVariant& p2,
                       const QVariant& p3, QVariant& result)>
        OnUserFunction;
    std::function<void(int n)> OnProgress;
    std::function<void(int colNo, int& width)> OnPrintColumn;
    std::function<void(TBwPage* page)> OnManualBuild;
    std::function<void(TBwView* view)> OnObjectClick;
    std::function<void(TBwView* view, Qt::CursorShape& cursor)> OnMouseOverObject;
    std::function<void(TBwReport& report)> OnCustomizeObject;

    // --- owned --------------------------------------------------------------
    TBwPages& pages() { return m_pages; }
    const TBwPages& pages() const { return m_pages; }
    TBwEMFPages& emfPages() { return m_emfPages; }
    TBwDataDictionary& dictionary() { return m_dictionary; }
    bool KeepDefaultPrinter = false;  // do not select the template's printer on load
    bool TwoPass = false;
    QString PrinterName;  // the template's printer, remembered
    bool FinalPass = false;
    bool Terminated = false;  // the stop flag

    // --- template -----------------------------------------------------------
    // Reads a report stream (version byte first). A version above 24 is
    // refused with "Неверный BWF формат" and leaves the report as it was;
    // an error inside one object's body skips that object (version 24: to
    // its end offset); any other error resets the report to one empty page.
    TBwLoadStatus loadFromStream(const QByteArray& stream);
    // What refused or skipped anything in the last load, each with its offset.
    const QStringList& loadProblems() const { return m_loadProblems; }
    // Version 24. Throws EBwError for a text the stream cannot hold.
    QByteArray saveToStream() const;

    // The owning window's stored ReportForm: the int 24, then when
    // StoreInForm the stream's length and the stream. Reading holds the
    // template until loaded(). Throws EBwStreamError for a bad wrapper.
    void readReportForm(const QByteArray& data);
    QByteArray writeReportForm() const;
    // The owner has finished loading: load the held template, if any.
    void loaded();

    // --- building -----------------------------------------------------------
    // Builds the prepared pages; true when they are complete. An error while
    // an object prints is shown in a box titled "Ошибка"; after an error or a
    // Cancel no prepared pages are left. Whatever the build changed in the
    // template is undone. Any other exception (a data set that cannot be
    // opened) leaves no prepared pages and goes on to the caller.
    bool prepareReport();
    // prepareReport, then showPreparedReport.
    void showReport();
    // With prepared pages, hands the report to the installed preview
    // (setPreviewHandler); without, does nothing. True when handed on.
    bool showPreparedReport();

    // Frees the pages and the dictionary; TwoPass becomes false.
    void clear();

    // --- expressions ----------------------------------------------------------
    // The evaluator bound to this report, and the state of the build that its
    // names read (pages, bands and objects keep it current; a build starts it
    // afresh). Both are made on first use.
    TBwExpressions& expressions();
    TBwExpressionContext& expressionContext();

    // --- objects ------------------------------------------------------------
    TBwView* findObject(const QString& name) const;
    // `base` and the lowest number from 1 that no object of the report has;
    // empty when every number up to 10000 is taken.
    QString uniqueName(const QString& base) const;
    // A data-set adapter of the report's owner, by name.
    TBwDataset* findDataSet(const QString& name) const;

protected:
    void componentRemoved(TBwComponent* gone) override;

private:
    void readObjectRecord(TBwReader& reader, std::uint8_t tag, qsizetype recordStart,
                          QStringList& missing);

    TBwPages m_pages;
    TBwEMFPages m_emfPages;
    TBwDataDictionary m_dictionary;
    TBwDataset* m_dataset = nullptr;
    std::unique_ptr<TBwExpressions> m_expressions;
    std::unique_ptr<TBwExpressionContext> m_expressionContext;
    // A data-manager block (0xFD on) belongs to none of ours; kept to be written back.
    QByteArray m_dataManagerBlock;
    QByteArray m_heldTemplate;
    bool m_hasHeldTemplate = false;
    QStringList m_loadProblems;
};

}  // namespace bwreport
