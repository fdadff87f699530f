// What the application tests share: the one data module of the process
// (the engine's database "MEMORY" is process-wide) and the errors its
// creation reported.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDate>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ErrorBox.h"
#include "sqlmem/cp1251.h"
#include "uDMMain.h"
#include "uTestResultReport.h"

namespace orvalen::testing {

// `utf8` in the engine's 1251, as the journal stores names.
inline std::string cp(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(sqlmem::cp1251::fromUtf8(utf8, out)) << utf8;
    return out;
}

// `d` as the journal's day number.
inline double day(const QDate& d) {
    return static_cast<double>(QDate(1899, 12, 30).daysTo(d));
}

inline std::vector<std::string>& startupErrors() {
    static std::vector<std::string> errors;
    return errors;
}

// Errors shown in the standard error box while it lives, kept as their texts.
struct CapturedErrors {
    CapturedErrors()
        : saved(SetExceptionSink([this](const std::exception& e) { texts.push_back(e.what()); })) {}
    ~CapturedErrors() { SetExceptionSink(std::move(saved)); }
    CapturedErrors(const CapturedErrors&) = delete;
    CapturedErrors& operator=(const CapturedErrors&) = delete;
    std::vector<std::string> texts;
    ExceptionSink saved;
};

inline TMainDM& dataModule() {
    static TMainDM* dm = [] {
        SetExceptionSink([](const std::exception& e) { startupErrors().push_back(e.what()); });
        MainDM = new TMainDM();
        return MainDM;
    }();
    return *dm;
}

// The one recommendations form: its answers table is the engine's
// "test_answers", which a second form could not empty while this one is
// open. It is the application's too, for the questionnaire to hand on to.
inline TTestResultReportForm& resultsForm() {
    static auto* f = [] {
        auto* form = new TTestResultReportForm(dataModule().QuestionsSQLMemTable);
        form->SaveSettingsOnDestroy = false;
        TestResultReportForm = form;
        return form;
    }();
    return *f;
}

// Answers every message box that shows while `action` runs: a question
// with `press`, a plain message with OK. Answers the boxes' texts in order.
inline QStringList answerBoxes(const std::function<void()>& action,
                               QMessageBox::StandardButton press = QMessageBox::Ok) {
    QStringList texts;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            texts.append(box->text());
            QAbstractButton* b = box->button(press);
            (b ? b : box->button(QMessageBox::Ok))->click();
        }
    });
    poll.start();
    action();
    poll.stop();
    return texts;
}

}  // namespace orvalen::testing
