#include "uBaseForm.h"

#include <QEventLoop>
#include <QShowEvent>

#include "ErrorBox.h"
#include "TabOrder.h"
#include "uUtils.h"

namespace orvalen {

TBaseForm::TBaseForm(QWidget* parent) : QWidget(parent) {}

TBaseForm::~TBaseForm() {
    // Only the base part is left here; derived windows have called it already.
    FormDestroy();
}

std::string TBaseForm::SettingsSection() const {
    const std::string name = metaObject()->className();
    const std::size_t colon = name.rfind(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

void TBaseForm::FormCreate() {
    SaveSettingsOnDestroy = true;
    // A window's creation goes on after an error in its settings, shown.
    Guarded([this] { LoadSettings(); });
}

void TBaseForm::LoadSettings() {
    const std::string text = ReadSetting("Bounds");
    if (text.empty()) return;
    Guarded([&] {
        const TRect r = StringToRect(text);
        setGeometry(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    });
}

void TBaseForm::SaveSettings() {
    const QRect g = geometry();
    WriteSetting("Bounds",
                 RectToString({g.left(), g.top(), g.left() + g.width(), g.top() + g.height()}));
}

std::string TBaseForm::ReadSetting(const std::string& key) const {
    return ReadIniString(SettingsSection(), key);
}

void TBaseForm::WriteSetting(const std::string& key, const std::string& value) const {
    WriteIniString(SettingsSection(), key, value);
}

void TBaseForm::FormDestroy() {
    if (m_destroyed) return;
    m_destroyed = true;
    if (SaveSettingsOnDestroy) Guarded([this] { SaveSettings(); });
    while (!m_owned.empty())
        m_owned.pop_back();
}

void TBaseForm::FormShow() {
    SetTabOrderByPosition(this);
    // A window shown for the first time starts at the first control of the
    // order, as Tab would from nothing.
    if (!focusWidget())
        if (QWidget* first = FirstTabStop(this)) first->setFocus(Qt::TabFocusReason);
}

void TBaseForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window coming back from the minimised state is not shown anew.
    if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TBaseForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (m_modalLoop && !event->spontaneous()) m_modalLoop->exit();
}

int TBaseForm::ShowModal() {
    m_modalResult = 0;
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    m_modalLoop = &loop;
    show();
    raise();
    activateWindow();
    if (isVisible()) loop.exec(QEventLoop::DialogExec);
    m_modalLoop = nullptr;
    setWindowModality(Qt::NonModal);
    return m_modalResult;
}

void TBaseForm::setModalResult(int result) {
    m_modalResult = result;
    if (result != 0 && m_modalLoop) close();
}

namespace {

std::vector<std::unique_ptr<TBaseForm>>& applicationForms() {
    static std::vector<std::unique_ptr<TBaseForm>> forms;
    return forms;
}

}  // namespace

void OwnByApplication(std::unique_ptr<TBaseForm> form) {
    applicationForms().push_back(std::move(form));
}

void FreeApplicationForms() {
    auto& forms = applicationForms();
    while (!forms.empty())
        forms.pop_back();
}

}  // namespace orvalen
