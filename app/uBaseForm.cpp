#include "uBaseForm.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

#include "ErrorBox.h"
#include "TabOrder.h"
#include "uUtils.h"

namespace orvalen {

namespace {

// Bounds saved under another screen set-up, or edited by hand, must not
// lose the window: one larger than its screen is cut to it (a huge one
// cannot even be painted), and one whose top edge no screen shows, so that
// the operator could not take it by its title, is moved onto the screen.
// A window the operator left partly off the screen stays where it was.
QRect reachableBounds(QRect r) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return r;
    // Enough of the top edge to take hold of.
    constexpr int kGripWidth = 50, kGripHeight = 20;
    const auto reachableOn = [&](const QRect& area) {
        const int overlap = std::min(r.right(), area.right()) - std::max(r.left(), area.left()) + 1;
        return r.top() >= area.top() && r.top() <= area.bottom() - kGripHeight &&
               overlap >= std::min(r.width(), kGripWidth);
    };
    QScreen* best = QGuiApplication::primaryScreen();
    long long bestArea = 0;
    for (QScreen* s : screens) {
        const QRect common = s->availableGeometry().intersected(r);
        const long long area = static_cast<long long>(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = s;
        }
    }
    if (!best) return r;
    const QRect area = best->availableGeometry();
    r.setWidth(std::min(r.width(), area.width()));
    r.setHeight(std::min(r.height(), area.height()));
    if (std::any_of(screens.begin(), screens.end(),
                    [&](QScreen* s) { return reachableOn(s->availableGeometry()); }))
        return r;
    r.moveLeft(std::clamp(r.left(), area.left(), area.right() - r.width() + 1));
    r.moveTop(std::clamp(r.top(), area.top(), area.bottom() - r.height() + 1));
    return r;
}

// The Russian letter on the key that gives `key` in the Latin layout.
QChar russianTwin(int key) {
    static const QString latin = QStringLiteral("QWERTYUIOP[]ASDFGHJKL;'ZXCVBNM,.`");
    static const QString russian = QStringLiteral("ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮЁ");
    const qsizetype i = key > 0 && key < 0x80 ? latin.indexOf(QChar(key)) : -1;
    return i < 0 ? QChar() : russian.at(i);
}

// Does what the mnemonic `sequence` of a button or label in `window` does,
// the focus left where it is.
bool activateMnemonic(QWidget* window, const QKeySequence& sequence) {
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->shortcut() == sequence && b->isVisible() && b->isEnabled()) {
            b->click();
            return true;
        }
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->buddy() && QKeySequence::mnemonic(l->text()) == sequence && l->isVisible() &&
            l->buddy()->isEnabled()) {
            l->buddy()->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
    return false;
}

}  // namespace

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
        // A hand-edited file may hold any integers: the extent is taken in
        // 64 bits, and a place far off every screen is kept where Qt's own
        // rectangle arithmetic cannot overflow (it is moved onto one below).
        const auto extent = [](int from, int to) {
            return static_cast<int>(
                std::clamp<long long>(static_cast<long long>(to) - from, 0, QWIDGETSIZE_MAX));
        };
        const auto place = [](int at) { return std::clamp(at, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); };
        setGeometry(place(r.Left), place(r.Top), extent(r.Left, r.Right), extent(r.Top, r.Bottom));
        // The window's own limits (a fixed size, a minimum) have had their say.
        setGeometry(reachableBounds(geometry()));
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

bool TBaseForm::LatinMnemonic(QKeyEvent* event) {
    if (event->modifiers() != Qt::AltModifier) return false;
    const QChar twin = russianTwin(event->key());
    return !twin.isNull() && activateMnemonic(this, QKeySequence(Qt::ALT | twin.unicode()));
}

}  // namespace orvalen
