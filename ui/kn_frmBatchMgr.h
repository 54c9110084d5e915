// The batch manager: creates, renames and deletes batches on a copy of the batch list and
// chooses which presets a batch runs, each with its own update direction and force flag. OK
// hands the copy to the configuration and rewrites the file, Cancel drops it.
#pragma once

#include <QListWidget>

#include "config/kn_unitConfigLists.h"
#include "ui/kn_unitNamedListEdit.h"

class QCheckBox;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kn {

// One of the two preset lists of the batch manager. It takes a drop only of an item dragged
// from its partner list and then raises PresetDropped; the move itself is the form's work.
class TKNPresetDragList : public QListWidget {
    Q_OBJECT

public:
    explicit TKNPresetDragList(QWidget* parent = nullptr);
    void SetPartner(const TKNPresetDragList* partner) { FPartner = partner; }
    // The data a drag of this list's selected item carries.
    QMimeData* DragData() const;

signals:
    void PresetDropped();

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool FromPartner(const QMimeData* dragged) const;

    const TKNPresetDragList* FPartner = nullptr;
};

class TKNBatchManagerForm : public TKNNamedListEdit {
    Q_OBJECT

public:
    TKNBatchManagerForm(TKNConfig& config, QWidget* parent = nullptr);

    QLabel* lbBatches;
    QListWidget* tvBatches;
    QLabel* lbPresetOfBatch;
    TKNPresetDragList* tvPresetOfBatch;
    TKNPresetDragList* tvPresets;
    QLabel* lbLeftFolder;
    QLineEdit* edLeftFolder;
    QLabel* lbRightFolder;
    QLineEdit* edRightFolder;
    QGroupBox* rgAction;
    QButtonGroup* rgActionItems;
    QCheckBox* cbForce;
    QPushButton* btnAddEntry;
    QPushButton* btnRemoveEntry;
    QPushButton* btnUp;
    QPushButton* btnDown;

private:
    QWidget* CreateListColumn();
    QWidget* CreateEntryColumn();
    void ConnectEvents();
    bool NameTaken(const std::string& name) const override;
    void AddRecord(const std::string& name) override;
    void DeleteRecord(int row) override;
    void RenameRecord(int row, const std::string& name) override;
    bool StoreList() override;
    void FillList(const QString& select) override;
    void tvBatchesChange();
    void FillPresetLists();
    void tvPresetOfBatchChange();
    void ShowNoEntry();
    void rgActionClick();
    void RebuildAndStore(bool store);
    void AddPresetToBatch();
    void RemovePresetFromBatch();
    void MoveEntry(int by);
    void UpdateEntryButtons();
    TKNBatchList FBatches;
    TKNBatchRec FRecord{};
    int FFilling = 0;
};

}  // namespace kn
