// The failures of one update, gathered in one window at its end: each failed operation with
// its paths and the reason, copyable as text. It is not modal and stays until the user closes
// it, so a long list can be read while working on.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "engine/kn_unitUpdatePlan.h"

class QPushButton;
class QTreeWidget;

namespace kn {

class TKNFailuresForm : public QDialog {
    Q_OBJECT

public:
    TKNFailuresForm(const std::vector<TKNUpdateFailure>& failures, QWidget* parent = nullptr);

    // One line per failure, fields separated by tabs: operation, source (empty for deletions),
    // target, reason (its line breaks as spaces), e.g. "Copy\t/l/a.txt\t/r/a.txt\tNo space".
    static QString FailuresText(const std::vector<TKNUpdateFailure>& failures);
    // Puts FailuresText on the clipboard.
    void CopyToClipboard();

    QTreeWidget* lvFailures;
    QPushButton* btnCopy;
    QPushButton* btnClose;

private:
    QString text_;
};

}  // namespace kn
