// Asks which of a person's other surveys to compare a survey with.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "SurveyComparison.h"

class QListWidget;
class QPushButton;

namespace orvalen {

class TSurveyPickDialog : public QDialog {
    Q_OBJECT
public:
    // Lists `candidates` in their order, the latest preselected.
    TSurveyPickDialog(const TSurveyRecord& survey, std::vector<TSurveyRecord> candidates,
                      QWidget* parent = nullptr);

    // The chosen survey once accepted.
    std::optional<TSurveyRecord> chosen() const;

    QListWidget* SurveysList = nullptr;
    QPushButton* CompareButton = nullptr;
    QPushButton* CancelButton = nullptr;

private:
    std::vector<TSurveyRecord> m_candidates;
};

// The surveys of `survey`'s person in `journal` other than `survey`, by time.
std::vector<TSurveyRecord> OtherSurveysOfPerson(const TSurveyRecord& survey,
                                                const std::vector<TSurveyRecord>& journal);

}  // namespace orvalen
