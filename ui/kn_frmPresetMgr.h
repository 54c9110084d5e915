// The preset manager: creates, edits, renames and deletes presets on a copy of the preset list.
// Every edit of the option panel goes to the copy at once; OK hands the copy to the
// configuration and rewrites the file, Cancel drops it.
#pragma once

#include "config/kn_unitConfigLists.h"
#include "ui/kn_unitNamedListEdit.h"

namespace kn {

class TKNOptionsPanel;

class TKNPresetManagerForm : public TKNNamedListEdit {
    Q_OBJECT

public:
    TKNPresetManagerForm(TKNConfig& config, QWidget* parent = nullptr);

    QListWidget* TreeViewPresets;
    TKNOptionsPanel* pnlOptions;

private:
    bool NameTaken(const std::string& name) const override;
    void AddRecord(const std::string& name) override;
    void DeleteRecord(int row) override;
    void RenameRecord(int row, const std::string& name) override;
    bool StoreList() override;
    void FillList(const QString& select) override;
    void TreeViewPresetsChange();
    void WriteBack();

    TKNPresetList FPresets;
    TKNOptionsRec FRecord;
    int FFilling = 0;
};

}  // namespace kn
