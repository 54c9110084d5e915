// The end of a batch run in the window: one line per step, in the order the steps ran, with
// what became of it (done and its totals, skipped and why, failed, stopped). Not modal, so the
// last comparison's list stays usable beside it.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

class QPushButton;
class QTreeWidget;

namespace kn {

// One step of a batch as the summary shows it.
struct TKNBatchStep {
    QString Preset;
    QString Action;   // "Left to Right, Force Update"
    QString Outcome;  // "Done: ...", "Skipped: ...", "Failed: ...", "Stopped."
    // Done, with nothing failed or skipped and no conflict left open (whatever the line ends with).
    bool Clean = false;
};

class TKNBatchSummaryForm : public QDialog {
    Q_OBJECT

public:
    TKNBatchSummaryForm(const QString& batch, const std::vector<TKNBatchStep>& steps, QWidget* parent = nullptr);

    QTreeWidget* lvSteps;
    QPushButton* btnClose;
};

}  // namespace kn
