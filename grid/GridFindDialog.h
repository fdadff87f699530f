// The grid's find dialog: modeless, so that the operator can look at the
// found row and search on; F3 in the grid repeats the last search.
#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orvalen {

struct TGridFindOptions {
    QString text;
    // -1: every column.
    int column = -1;
    bool matchCase = false;
    // The whole value must equal the text; otherwise any part may.
    bool wholeValue = false;
};

class TGridFindDialog : public QDialog {
    Q_OBJECT
public:
    explicit TGridFindDialog(QWidget* parent = nullptr);

    // Fills the column list with the grid's titles and the controls with
    // `options`.
    void setup(const QStringList& columnTitles, const TGridFindOptions& options);
    TGridFindOptions options() const;

Q_SIGNALS:
    // "Найти далее" with a text to find.
    void findNextRequested();

private:
    void updateButtons();

    QLineEdit* m_text;
    QComboBox* m_column;
    QCheckBox* m_matchCase;
    QRadioButton* m_wholeValue;
    QRadioButton* m_partOfValue;
    QPushButton* m_findButton;
};

}  // namespace orvalen
