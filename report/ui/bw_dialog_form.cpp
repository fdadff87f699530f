#include "ui/bw_dialog_form.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "base/bw_strings.h"
#include "build/bw_builder.h"
#include "document/bw_page.h"
#include "expr/bw_functions.h"
#include "objects/bw_line_view.h"

namespace bwreport {

namespace {

std::map<QString, TBwControlWidgetFactory>& factories() {
    static std::map<QString, TBwControlWidgetFactory> registry;
    return registry;
}

// The page's area: the objects without a window control drawn where they stand.
class PageCanvas : public QWidget {
public:
    PageCanvas(const TBwPage& page, QWidget* parent) : QWidget(parent) {
        setFixedSize(qMax(0, page.DialogWidth), qMax(0, page.DialogHeight));
        setAutoFillBackground(true);
        QPalette p = palette();
        const QColor color = toQColor(page.Color);
        if (color.isValid()) p.setColor(QPalette::Window, color);
        setPalette(p);
    }
    std::vector<TBwView*> drawn;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        for (TBwView* view : drawn) {
            view->ScaleX = view->ScaleY = 1;
            view->OffsetX = view->OffsetY = 0;
            view->draw(painter);
        }
    }
};

bool haveWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

void registerControlWidget(const QString& className, TBwControlWidgetFactory factory) {
    if (factory)
        factories()[className] = std::move(factory);
    else
        factories().erase(className);
}

TBwDialogForm::TBwDialogForm(TBwPage& page, QWidget* parent)
    : QDialog(parent), m_page(page), m_ok(nullptr), m_cancel(nullptr) {
    setWindowTitle(page.Caption);
    setModal(true);
    auto* canvas = new PageCanvas(page, this);
    for (const auto& owned : page.objects()) {
        TBwView* view = owned.get();
        if (!view->Visible) continue;
        auto* control = dynamic_cast<TBwControl*>(view);
        const auto factory = control ? factories().find(view->className()) : factories().end();
        QWidget* widget = factory != factories().end() ? factory->second(*control, *this) : nullptr;
        if (!widget) {
            canvas->drawn.push_back(view);
            continue;
        }
        widget->setParent(canvas);
        widget->setGeometry(view->Left, view->Top, view->Width, control->calcHeight());
        m_controls[view->Name] = widget;
    }
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(TBwLocale::loadStr(sOk), QDialogButtonBox::AcceptRole);
    m_cancel = buttons->addButton(TBwLocale::loadStr(sCancel), QDialogButtonBox::RejectRole);
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->addWidget(canvas);
    layout->addWidget(buttons);
    const bool sizeable = page.BorderStyle == bsSizeable || page.BorderStyle == bsSizeToolWin;
    if (!sizeable) layout->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    if (page.Position == poScreenCenter) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect r = rect();
            r.moveCenter(screen->availableGeometry().center());
            move(r.topLeft());
        }
    } else {
        move(page.DialogLeft, page.DialogTop);
    }
}

QWidget* TBwDialogForm::controlWidget(const QString& name) const {
    const auto it = m_controls.find(name);
    return it == m_controls.end() ? nullptr : it->second;
}

bool runDialogPage(TBwReport& /*report*/, TBwPage& page) {
    TBwDialogForm form(page, QApplication::activeModalWidget());
    return form.exec() == QDialog::Accepted;
}

QString showInputBox(const QString& prompt, const QString& defaultText) {
    QInputDialog box(QApplication::activeModalWidget());
    box.setWindowTitle(QString());
    box.setLabelText(prompt);
    box.setTextValue(defaultText);
    box.setOkButtonText(TBwLocale::loadStr(sOk));
    box.setCancelButtonText(TBwLocale::loadStr(sCancel));
    return box.exec() == QDialog::Accepted ? box.textValue() : defaultText;
}

int showMessageBox(const QString& text, const QString& caption, int flags) {
    QMessageBox box(QApplication::activeModalWidget());
    box.setWindowTitle(caption);
    box.setText(text);
    switch (flags & 0xF0) {
        case 16:
            box.setIcon(QMessageBox::Critical);
            break;
        case 32:
            box.setIcon(QMessageBox::Question);
            break;
        case 48:
            box.setIcon(QMessageBox::Warning);
            break;
        case 64:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    // The button set's answers, in the order they stand.
    struct Button {
        const char* text;
        QMessageBox::ButtonRole role;
        int result;
    };
    const Button ok{"ОК", QMessageBox::AcceptRole, 1}, cancel{"Отмена", QMessageBox::RejectRole, 2},
        abort{"Прервать", QMessageBox::RejectRole, 3}, retry{"Повтор", QMessageBox::AcceptRole, 4},
        ignore{"Пропустить", QMessageBox::AcceptRole, 5}, yes{"Да", QMessageBox::YesRole, 6},
        no{"Нет", QMessageBox::NoRole, 7};
    std::vector<Button> set;
    switch (flags & 0xF) {
        case 1:
            set = {ok, cancel};
            break;
        case 2:
            set = {abort, retry, ignore};
            break;
        case 3:
            set = {yes, no, cancel};
            break;
        case 4:
            set = {yes, no};
            break;
        case 5:
            set = {retry, cancel};
            break;
        default:
            set = {ok};
    }
    std::vector<std::pair<QAbstractButton*, int>> made;
    for (const Button& b : set)
        made.emplace_back(box.addButton(QString::fromUtf8(b.text), b.role), b.result);
    box.setDefaultButton(static_cast<QPushButton*>(made.front().first));
    // Closing the box answers like its cancelling button, or its only one.
    for (const auto& [button, result] : made)
        if (result == 2 || made.size() == 1) box.setEscapeButton(button);
    box.exec();
    for (const auto& [button, result] : made)
        if (box.clickedButton() == button) return result;
    return set.size() == 1 ? 1 : 2;
}

void installDialogWindows() {
    setDialogRunner([](TBwReport& report, TBwPage& page) {
        // Without widgets a dialog page is passed by, as without a runner.
        return !haveWidgets() || runDialogPage(report, page);
    });
    TBwStdFunctionLibrary::InputHandler = [](const QString& prompt, const QString& defaultText) {
        return haveWidgets() ? showInputBox(prompt, defaultText) : defaultText;
    };
    TBwStdFunctionLibrary::MessageBoxHandler = [](const QString& text, const QString& caption,
                                                  int flags) {
        return haveWidgets() ? showMessageBox(text, caption, flags) : 1;
    };
}

}  // namespace bwreport
