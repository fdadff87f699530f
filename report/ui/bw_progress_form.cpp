#include "ui/bw_progress_form.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

#include "base/bw_strings.h"
#include "document/bw_report.h"

namespace bwreport {

TBwProgressForm::TBwProgressForm(TBwReport& report, const QString& caption, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      m_report(report),
      m_line(new QLabel(this)),
      m_detail(new QLabel(this)),
      m_cancel(new QPushButton(TBwLocale::loadStr(sCancel), this)) {
    setWindowTitle(caption);
    setModal(true);
    m_line->setAlignment(Qt::AlignCenter);
    m_detail->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_line);
    layout->addWidget(m_detail);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    setMinimumWidth(260);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancelled = true;
        m_report.Terminated = true;
        reject();
    });
}

int TBwProgressForm::run(const std::function<void(TBwProgress&)>& work) {
    // The work starts from the window's own loop, so the window is up and
    // takes its Cancel while the work runs.
    // An exception may not pass through the window's loop: it is carried
    // past it and thrown again once the window has closed.
    std::exception_ptr failure;
    QTimer::singleShot(0, this, [this, &work, &failure] {
        try {
            work(*this);
        } catch (...) {
            failure = std::current_exception();
            done(Rejected);
            return;
        }
        if (!m_cancelled) done(Accepted);
    });
    const int result = exec();
    if (failure) std::rethrow_exception(failure);
    return result;
}

void TBwProgressForm::setText(const QString& line) {
    m_line->setText(line);
}

void TBwProgressForm::setDetail(const QString& line) {
    m_detail->setText(line);
}

bool TBwProgressForm::processEvents() {
    QCoreApplication::processEvents();
    return m_cancelled;
}

void installProgressWindow() {
    setProgressRunner([](TBwReport& report, const QString& caption,
                         const std::function<void(TBwProgress&)>& work) {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            // No widgets to show: run with a silent stand-in.
            struct Silent : TBwProgress {
                void setText(const QString&) override {}
                bool processEvents() override { return false; }
            } silent;
            work(silent);
            return;
        }
        TBwProgressForm form(report, caption);
        form.run(work);
    });
}

}  // namespace bwreport
