#include "LinkLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace orvalen {
namespace {

class TLinkLabelAccessible : public QAccessibleWidget {
public:
    explicit TLinkLabelAccessible(TLinkLabel* label) : QAccessibleWidget(label, QAccessible::Link) {
        addControllingSignal(QStringLiteral("clicked()"));
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? static_cast<TLinkLabel*>(widget())->text() : name;
        }
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction()) Q_EMIT static_cast<TLinkLabel*>(widget())->clicked();
    }
};

QAccessibleInterface* linkLabelFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("orvalen::TLinkLabel") && object && object->isWidgetType())
        return new TLinkLabelAccessible(static_cast<TLinkLabel*>(object));
    return nullptr;
}

}  // namespace

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(linkLabelFactory);
        return true;
    }();
    (void)installed;
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

void TLinkLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Q_EMIT clicked();
            return;
        default:
            QLabel::keyPressEvent(event);
    }
}

void TLinkLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    Q_EMIT mouseEntered();
}

void TLinkLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    Q_EMIT mouseLeft();
}

void TLinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    // A label draws no focus of its own; a link reached by Tab must show it.
    if (!hasFocus()) return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = contentsRect();
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

}  // namespace orvalen
