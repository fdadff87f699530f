#include "document/bw_report.h"

#include "base/bw_messages.h"
#include "build/bw_builder.h"
#include "build/bw_report_expander.h"
#include "data/bw_dataset.h"
#include "expr/bw_expressions.h"

namespace bwreport {

TBwReport::TBwReport(TBwOwner* owner, QString name)
    : TBwComponent(owner, std::move(name)), m_pages(this), m_emfPages(this) {}

TBwReport::~TBwReport() = default;

TBwExpressions& TBwReport::expressions() {
    if (!m_expressions) m_expressions = std::make_unique<TBwExpressions>(*this);
    return *m_expressions;
}

TBwExpressionContext& TBwReport::expressionContext() {
    if (!m_expressionContext) m_expressionContext = std::make_unique<TBwExpressionContext>();
    return *m_expressionContext;
}

void TBwReport::setDataset(TBwDataset* dataset) {
    if (m_dataset == dataset) return;
    if (m_dataset) removeFreeNotification(m_dataset);
    m_dataset = dataset;
    if (m_dataset) freeNotification(m_dataset);
}

void TBwReport::componentRemoved(TBwComponent* gone) {
    if (gone == m_dataset) m_dataset = nullptr;
}

void TBwReport::clear() {
    m_pages.clear();
    m_dictionary.clear();
    m_dataManagerBlock.clear();
    TwoPass = false;
}

void showPreview(TBwReport& report);  // bw_builder.cpp

bool TBwReport::prepareReport() {
    const QByteArray snapshot = saveToStream();
    bool complete = false;
    QString error;
    // The template comes back as it was, whichever way the build ends.
    struct Restore {
        TBwReport& report;
        const QByteArray& snapshot;
        ~Restore() {
            report.FinalPass = false;
            // Nothing of the build (its pages, bands, objects) is left to point at.
            report.expressionContext() = TBwExpressionContext{};
            report.loadFromStream(snapshot);
        }
    };
    try {
        Restore restore{*this, snapshot};
        // The report's own expressions, unless the caller put others in place.
        TBwReportExpander own(*this);
        TBwTextExpanderScope scope(textExpanderInstalled() ? &textExpander() : &own);
        if (OnBeginDoc) OnBeginDoc();
        TBwBuilder builder(*this);
        complete = builder.run();
        error = builder.error();
        if (OnEndDoc) OnEndDoc();
    } catch (...) {
        m_emfPages.clear();
        throw;
    }
    if (!error.isEmpty()) showErrorMessage(error);
    if (!complete) m_emfPages.clear();
    return complete;
}

void TBwReport::showReport() {
    if (prepareReport()) showPreparedReport();
}

bool TBwReport::showPreparedReport() {
    if (m_emfPages.count() == 0) return false;
    showPreview(*this);
    return true;
}

TBwView* TBwReport::findObject(const QString& name) const {
    if (name.isEmpty()) return nullptr;
    for (const auto& page : m_pages)
        for (const auto& view : page->objects())
            if (view->Name.compare(name, Qt::CaseInsensitive) == 0) return view.get();
    return nullptr;
}

QString TBwReport::uniqueName(const QString& base) const {
    for (int n = 1; n <= 10000; ++n) {
        const QString candidate = base + QString::number(n);
        if (!findObject(candidate)) return candidate;
    }
    return {};
}

TBwDataset* TBwReport::findDataSet(const QString& name) const {
    return owner() ? dynamic_cast<TBwDataset*>(owner()->findComponent(name)) : nullptr;
}

}  // namespace bwreport
