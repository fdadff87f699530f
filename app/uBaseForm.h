// What every window of the application shares: its bounds kept in the
// settings file from one run to the next, objects it owns, the keyboard
// order renumbered by position on every showing, and modal showing.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "ErrorBox.h"

class QEventLoop;

class QKeyEvent;

namespace orvalen {

class TBaseForm : public QWidget {
    Q_OBJECT
public:
    ~TBaseForm() override;
    TBaseForm(const TBaseForm&) = delete;
    TBaseForm& operator=(const TBaseForm&) = delete;

    // The window's class name, e.g. "TMainForm".
    virtual std::string SettingsSection() const;
    // Bounds from the key "Bounds", when there is one. A value that is not
    // four integers is shown in the standard error box and the designed
    // bounds stay; the derived windows' settings are read all the same.
    virtual void LoadSettings();
    virtual void SaveSettings();

    std::string ReadSetting(const std::string& key) const;
    void WriteSetting(const std::string& key, const std::string& value) const;

    // Takes `object` into the list freed with the window.
    template <class T>
    T* Own(std::unique_ptr<T> object) {
        T* raw = object.release();
        m_owned.emplace_back(raw, [](void* p) { delete static_cast<T*>(p); });
        return raw;
    }

    // Saves the settings (when SaveSettingsOnDestroy) and frees the owned
    // objects, once. Every derived window's destructor calls it first, while
    // the whole window, its SaveSettings included, still exists.
    void FormDestroy();

    // Shows the window application-modal and waits until it is hidden;
    // answers the modal result (0 when closed otherwise).
    int ShowModal();
    // A result other than 0 closes a modal window.
    void setModalResult(int result);
    int modalResult() const { return m_modalResult; }

    bool SaveSettingsOnDestroy = true;

protected:
    explicit TBaseForm(QWidget* parent = nullptr);

    // Every derived window's constructor calls it last, once its own parts
    // exist: LoadSettings reaches the derived window's override only then.
    void FormCreate();
    // On every showing: the keyboard order by position.
    virtual void FormShow();

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    // The mnemonics are Russian letters; with the Latin layout on, Alt and
    // the same key match no shortcut and arrive as a key press. This does
    // what the underlined letter on that key shows, the focus left where it
    // is; true when something answered.
    bool LatinMnemonic(QKeyEvent* event);

    // `handler` of this window runs when `sender` emits `signal`, its errors
    // shown in the error box: none may pass through Qt's event loop.
    template <class Sender, class Signal, class Form>
    void ConnectGuarded(Sender* sender, Signal signal, void (Form::*handler)()) {
        connect(sender, signal, this, [this, handler] {
            Guarded([this, handler] { (static_cast<Form*>(this)->*handler)(); });
        });
    }

private:
    std::vector<std::unique_ptr<void, void (*)(void*)>> m_owned;
    bool m_destroyed = false;
    int m_modalResult = 0;
    QEventLoop* m_modalLoop = nullptr;
};

// Windows owned by the application rather than by another window (the SQL
// console): freed, newest first, by FreeApplicationForms at program end.
void OwnByApplication(std::unique_ptr<TBaseForm> form);
void FreeApplicationForms();

}  // namespace orvalen
