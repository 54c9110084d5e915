// The main window's update step: the row indexes in view order, the confirmation, and the hand
// over to the engine's update; and the four update commands built on it.
#include <QItemSelectionModel>
#include <QTableView>
#include <algorithm>

#include "ui/kn_frmConfirm.h"
#include "ui/kn_frmMain.h"
#include "ui/kn_unitResultModel.h"

namespace kn {

void TKNMainForm::CollectSelection(bool selectionOnly)
{
    model_->SetSelecting(true);
    Selection.clear();
    // The list shows the engine's rows in their own (sorted) order, so view order is row order.
    if (selectionOnly) {
        for (const QModelIndex& index : ListViewFiles->selectionModel()->selectedRows())
            Selection.push_back(index.row());
        std::sort(Selection.begin(), Selection.end());
    } else {
        Selection.resize(static_cast<std::size_t>(model_->ItemCount()));
        for (std::size_t i = 0; i < Selection.size(); ++i) Selection[i] = static_cast<int>(i);
    }
    model_->SetSelecting(false);
}

bool TKNMainForm::DoUpdate(bool Force, bool SelectionOnly, bool Wait, bool CompareAfterUpdate, bool Confirm)
{
    const int direction = action_;
    SetBusy();
    CollectSelection(SelectionOnly);
    bool backup = false;
    if (Confirm && !ExpertMode) {
        TKNConfirmForm form(this);
        form.SetContent(QString::fromStdString(FileCompare->GetLeftFolder()),
                        QString::fromStdString(FileCompare->GetRightFolder()),
                        TKNConfirmForm::ActionText(direction, SelectionOnly, Force));
        if (form.exec() != QDialog::Accepted) {
            ClearBusy();
            return false;
        }
        backup = form.BackupChecked();
    }
    FileCompare->Update(static_cast<uint8_t>(direction), Force, Selection, Wait, CompareAfterUpdate, backup);
    return true;
}

void TKNMainForm::actCompareUpdateExecute() { DoUpdate(false, false, false, true, true); }

void TKNMainForm::actCompareUpdateSelectionExecute() { DoUpdate(false, true, false, true, true); }

void TKNMainForm::actCompareForceUpdateExecute() { DoUpdate(true, false, false, true, true); }

void TKNMainForm::actCompareForceUpdateSelectionExecute() { DoUpdate(true, true, false, true, true); }

}  // namespace kn
