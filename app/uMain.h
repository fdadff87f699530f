// The window the operator starts from.
#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class TMainForm;
}

namespace orvalen {

class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

private:
    void init();
    std::unique_ptr<Ui::TMainForm> m_ui;
};

extern TMainForm* MainForm;

}  // namespace orvalen
