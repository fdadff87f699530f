// Dialog pages shown as windows before a build, and the INPUT and
// MESSAGEBOX windows of report expressions.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

#include "build/bw_builder.h"
#include "data/bw_dataset.h"
#include "document/bw_report.h"
#include "expr/bw_functions.h"
#include "objects/bw_band_view.h"
#include "objects/bw_line_view.h"
#include "objects/bw_memo_view.h"
#include "test_expander.h"
#include "test_util.h"
#include "ui/bw_dialog_form.h"

namespace bwreport {
namespace {

// Acts on the next modal window once it is up; fails the test when none
// comes within a few seconds, so that a window left open is closed.
void whenModal(std::function<void(QWidget&)> act, int tries = 300) {
    QTimer::singleShot(10, [act = std::move(act), tries]() mutable {
        if (QWidget* w = QApplication::activeModalWidget()) {
            act(*w);
        } else if (tries > 0) {
            whenModal(std::move(act), tries - 1);
        } else {
            ADD_FAILURE() << "no modal window";
        }
    });
}

QPushButton* buttonNamed(QWidget& w, const QString& text) {
    for (QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

class TestEdit : public TBwControl {
public:
    TestEdit() : TBwControl(QStringLiteral("Edit")) {}
    QString className() const override { return QStringLiteral("TBwTestEdit"); }
};

// A one-page report of one record, with a dialog page before it.
struct DialogRig {
    DialogRig() : report(&owner, QStringLiteral("Report")) {
        records.RangeEnd = reCount;
        records.RangeEndCount = 1;
        TBwPage& page = report.pages().add();
        auto band = std::make_unique<TBwBandView>();
        band->setBandType(btMasterData);
        band->Top = 100;
        band->Height = 20;
        band->Width = 758;
        band->FormatStr = QStringLiteral("R");
        page.add(std::move(band));
        memo = static_cast<TBwMemoView*>(page.add(std::make_unique<TBwMemoView>()));
        memo->Left = 20;
        memo->Top = 100;
        memo->Width = 300;
        memo->Height = 20;
        memo->Memo = QStringList{QStringLiteral("record")};
        dialog = &report.pages().add();
        dialog->PageType = ptDialog;
        dialog->Caption = QStringLiteral("Параметры");
    }
    TBwOwner owner;
    TBwUserDataset records{&owner, QStringLiteral("R")};
    TBwReport report;
    TBwMemoView* memo;
    TBwPage* dialog;
    test::MessageCapture messages;
};

// Installs the real windows for a test and puts the hooks back after it.
class DialogWindows : public ::testing::Test {
protected:
    void SetUp() override {
        m_runner = setDialogRunner({});
        m_input = TBwStdFunctionLibrary::InputHandler;
        m_box = TBwStdFunctionLibrary::MessageBoxHandler;
        installDialogWindows();
    }
    void TearDown() override {
        setDialogRunner(std::move(m_runner));
        TBwStdFunctionLibrary::InputHandler = m_input;
        TBwStdFunctionLibrary::MessageBoxHandler = m_box;
    }

private:
    TBwDialogRunner m_runner;
    decltype(TBwStdFunctionLibrary::InputHandler) m_input;
    decltype(TBwStdFunctionLibrary::MessageBoxHandler) m_box;
};

TEST_F(DialogWindows, ADialogPageShowsItsObjects) {
    DialogRig t;
    TBwPage& page = *t.dialog;
    page.DialogWidth = 300;
    page.DialogHeight = 200;
    auto* label = static_cast<TBwMemoView*>(page.add(std::make_unique<TBwMemoView>()));
    label->Left = 10;
    label->Top = 10;
    label->Width = 100;
    label->Height = 30;
    label->FillColor = 0x0000FF;  // red
    auto* edit = page.add(std::make_unique<TestEdit>());
    edit->Left = 120;
    edit->Top = 50;
    edit->Width = 150;
    edit->Height = 24;
    auto* unknown = page.add(std::make_unique<TestEdit>());
    unknown->Name = QStringLiteral("Other");

    int made = 0;
    registerControlWidget(QStringLiteral("TBwTestEdit"), [&](TBwControl& c, QDialog&) -> QWidget* {
        if (c.Name == u"Other") return nullptr;  // drawn instead
        ++made;
        return new QLineEdit(QStringLiteral("text"));
    });
    TBwDialogForm form(page);
    registerControlWidget(QStringLiteral("TBwTestEdit"), {});
    EXPECT_EQ(made, 1);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Параметры"));
    QWidget* w = form.controlWidget(edit->Name);
    ASSERT_NE(w, nullptr);
    EXPECT_NE(qobject_cast<QLineEdit*>(w), nullptr);
    EXPECT_EQ(w->geometry(), QRect(120, 50, 150, 24));
    EXPECT_EQ(form.controlWidget(QStringLiteral("Other")), nullptr);
    EXPECT_EQ(form.okButton()->text(), QStringLiteral("ОК"));
    EXPECT_EQ(form.cancelButton()->text(), QStringLiteral("Отмена"));
    // The page's area, with the text object drawn where it stands.
    QWidget* canvas = w->parentWidget();
    EXPECT_EQ(canvas->size(), QSize(300, 200));
    const QImage image = canvas->grab().toImage();
    EXPECT_EQ(image.pixelColor(50, 25), QColor(Qt::red));
    EXPECT_NE(image.pixelColor(50, 150), QColor(Qt::red));
}

TEST_F(DialogWindows, ADialogPageLetsTheBuildGoOnOrCancelsIt) {
    struct Case {
        const char* name;
        QStringList script;
        std::function<void(QWidget&)> answer;  // none: no window is expected
        bool built;
    };
    const auto click = [](const char* text) {
        return [text](QWidget& w) {
            QPushButton* b = buttonNamed(w, QString::fromUtf8(text));
            ASSERT_NE(b, nullptr);
            b->click();
        };
    };
    const Case cases[] = {
        {"OK", {}, click("ОК"), true},
        {"Cancel", {}, click("Отмена"), false},
        {"closed", {}, [](QWidget& w) { w.close(); }, false},
        {"a script answering OK", {QStringLiteral("MODALRESULT := mrOk")}, nullptr, true},
        {"a script answering Cancel", {QStringLiteral("MODALRESULT := mrCancel")}, nullptr, false},
        {"a script leaving it to the window",
         {QStringLiteral("MODALRESULT := mrNone")},
         click("ОК"),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DialogRig t;
        t.dialog->Script = c.script;
        QString shown;
        if (c.answer) {
            whenModal([&](QWidget& w) {
                shown = w.windowTitle();
                c.answer(w);
            });
        }
        EXPECT_EQ(t.report.prepareReport(), c.built);
        EXPECT_EQ(shown, c.answer ? QStringLiteral("Параметры") : QString());
        EXPECT_EQ(t.report.emfPages().count(), c.built ? 1 : 0);
        EXPECT_TRUE(t.messages.texts.isEmpty());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

TEST_F(DialogWindows, InputAndMessageBoxAskThroughTheirHooks) {
    DialogRig t;
    t.dialog->Visible = false;  // not shown
    t.memo->Memo = QStringList{QStringLiteral(
        "[INPUT('Ваше имя', 'Петр')] [MESSAGEBOX('Продолжить?', 'Вопрос', mb_YesNo + "
        "mb_IconQuestion)]")};
    QStringList asked;
    TBwStdFunctionLibrary::InputHandler = [&](const QString& prompt, const QString& def) {
        asked << prompt << def;
        return QStringLiteral("Анна");
    };
    TBwStdFunctionLibrary::MessageBoxHandler = [&](const QString& text, const QString& caption,
                                                   int flags) {
        asked << text << caption << QString::number(flags);
        return 6;
    };
    ASSERT_TRUE(t.report.prepareReport()) << t.messages.texts.join(u'|').toStdString();
    EXPECT_EQ(asked, (QStringList{"Ваше имя", "Петр", "Продолжить?", "Вопрос", "36"}));
    EXPECT_EQ(test::texts(t.report.emfPages()).at(0), QStringList{"Анна 6"});
}

TEST_F(DialogWindows, TheInputBox) {
    for (const bool accept : {true, false}) {
        SCOPED_TRACE(accept ? "typed and accepted" : "cancelled");
        QString caption, label;
        whenModal([&](QWidget& w) {
            caption = w.windowTitle();
            label = w.findChild<QLabel*>()->text();
            QLineEdit* edit = w.findChild<QLineEdit*>();
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(edit->text(), QStringLiteral("Петр"));
            edit->setText(QStringLiteral("Анна"));
            buttonNamed(w, QString::fromUtf8(accept ? "ОК" : "Отмена"))->click();
        });
        const QString got = showInputBox(QStringLiteral("Ваше имя"), QStringLiteral("Петр"));
        EXPECT_EQ(got, accept ? QStringLiteral("Анна") : QStringLiteral("Петр"));
        EXPECT_EQ(caption, QString());
        EXPECT_EQ(label, QStringLiteral("Ваше имя"));
    }
}

TEST_F(DialogWindows, TheMessageBoxAnswersWithTheButtonChosen) {
    struct Case {
        int flags;
        QStringList buttons;
        const char* choose;  // none: closed with Escape
        int want;
        QMessageBox::Icon icon;
    };
    const Case cases[] = {
        {0, {"ОК"}, "ОК", 1, QMessageBox::NoIcon},
        {0 + 64, {"ОК"}, nullptr, 1, QMessageBox::Information},
        {1 + 48, {"ОК", "Отмена"}, "ОК", 1, QMessageBox::Warning},
        {1, {"ОК", "Отмена"}, nullptr, 2, QMessageBox::NoIcon},
        {4 + 32, {"Да", "Нет"}, "Нет", 7, QMessageBox::Question},
        {4, {"Да", "Нет"}, nullptr, 7, QMessageBox::NoIcon},
        {3 + 16, {"Да", "Нет", "Отмена"}, "Да", 6, QMessageBox::Critical},
        {3, {"Да", "Нет", "Отмена"}, nullptr, 2, QMessageBox::NoIcon},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        QStringList buttons;
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenModal([&](QWidget& w) {
            auto* box = qobject_cast<QMessageBox*>(&w);
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            if (c.choose)
                buttonNamed(w, QString::fromUtf8(c.choose))->click();
            else {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(box, &escape);
            }
        });
        EXPECT_EQ(showMessageBox(QStringLiteral("Текст"), QStringLiteral("Заголовок"), c.flags),
                  c.want);
        buttons.sort();
        QStringList want = c.buttons;
        want.sort();
        EXPECT_EQ(buttons, want);
        EXPECT_EQ(caption, QStringLiteral("Заголовок"));
        EXPECT_EQ(text, QStringLiteral("Текст"));
        EXPECT_EQ(icon, c.icon);
    }
}

}  // namespace
}  // namespace bwreport
