// The preset manager: creates, edits, renames and deletes presets on a copy of the preset list.
// Every edit of the option panel goes to the copy at once; OK hands the copy to the
// configuration and rewrites the file, Cancel drops it.
#pragma once

#include <QDialog>

#include "config/kn_unitConfigLists.h"

class QListWidget;
class QPushButton;

namespace kn {

class TKNConfig;
class TKNOptionsPanel;

class TKNPresetManagerForm : public QDialog {
    Q_OBJECT

public:
    TKNPresetManagerForm(TKNConfig& config, QWidget* parent = nullptr);

    QListWidget* TreeViewPresets;
    TKNOptionsPanel* pnlOptions;
    QPushButton* btnAdd;
    QPushButton* btnDelete;
    QPushButton* btnRename;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QPushButton* btnHelp;

private:
    void CreateButtons(QWidget* box);
    // Shows the working list, selecting the item captioned exactly `select` (else the first).
    void FillList(const QString& select);
    void TreeViewPresetsChange();
    void WriteBack();
    void btnAddClick();
    void btnDeleteClick();
    void btnRenameClick();
    void btnOkClick();
    // The entered name cut to the name field; empty (after an error box) when it may not be used.
    std::string AcceptableName(const QString& entered, const QString& currentCaption);

    TKNConfig& FConfig;
    TKNPresetList FPresets;
    TKNOptionsRec FRecord;
    int FFilling = 0;
};

}  // namespace kn
