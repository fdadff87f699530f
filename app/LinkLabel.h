// A label that acts as a link: clicked by the mouse, or by Space or Enter
// once it has the keyboard focus, which Tab gives it; screen readers see a
// link named by its text.
#pragma once

#include <QLabel>

namespace orvalen {

class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(QWidget* parent = nullptr);

Q_SIGNALS:
    void clicked();
    void mouseEntered();
    void mouseLeft();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace orvalen
