#include "uMain.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

#include "uUtils.h"
#include "ui_uMain.h"

namespace orvalen {

TMainForm* MainForm = nullptr;

TMainForm::TMainForm(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::TMainForm>()) {
    init();
}

TMainForm::~TMainForm() = default;

void TMainForm::init() {
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("TMainForm"));
    setFixedSize(657, 187);
    // Three equal columns; the link text wraps inside its own group.
    for (QWidget* group :
         {static_cast<QWidget*>(m_ui->GroupBox1), static_cast<QWidget*>(m_ui->GroupBox2),
          static_cast<QWidget*>(m_ui->GroupBox3)})
        group->setFixedWidth(205);
    setWindowTitle(QApplication::applicationName() + ' ' +
                   QString::fromStdString(GetFileVersionString()) + QStringLiteral(" - главная"));
    if (const QScreen* screen = QApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
}

}  // namespace orvalen
