// The configuration dialog: edits the current options of the configuration header. OK stores
// them and writes the whole header to disk at once; Cancel leaves the header as it was.
#pragma once

#include <QDialog>

class QPushButton;

namespace kn {

class TKNConfig;
class TKNOptionsPanel;

class TKNConfigForm : public QDialog {
    Q_OBJECT

public:
    TKNConfigForm(TKNConfig& config, QWidget* parent = nullptr);

    // The "Default Action" item chosen; the main window takes it as its current action on OK.
    int ActionIndex() const;

    TKNOptionsPanel* pnlOptions;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QPushButton* btnHelp;

private:
    void btnOkClick();

    TKNConfig& FConfig;
};

}  // namespace kn
