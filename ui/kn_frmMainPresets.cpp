// The preset and batch menus of the main window and the running of a preset.
#include <QAction>
#include <QMenu>
#include <functional>

#include "framework/vex_unitText.h"
#include "ui/kn_frmMain.h"

namespace kn {

namespace {

// Removes the record items of a menu: every item after the first `fixed` ones.
void ClearRecordItems(QMenu* menu, int fixed)
{
    const QList<QAction*> items = menu->actions();
    for (qsizetype i = fixed; i < items.size(); ++i) {
        menu->removeAction(items[i]);
        if (items[i]->parent() == menu) delete items[i];
    }
}

// Appends one item per name; `run` receives the item's caption, the name it was built from.
// Without `run` the items are shown disabled.
void AddRecordItems(QMenu* menu, const QStringList& names, const std::function<void(const QString&)>& run)
{
    for (const QString& name : names) {
        auto* item = new QAction(name, menu);
        item->setEnabled(static_cast<bool>(run));
        if (run) QObject::connect(item, &QAction::triggered, menu, [run, name] { run(name); });
        menu->addAction(item);
    }
}

template <class List>
QStringList RecordNames(const List& list)
{
    QStringList names;
    for (int i = 0; i < list.Count(); ++i) names << QString::fromStdString(list.Names(i));
    return names;
}

}  // namespace

void TKNMainForm::BuildPresetMenus()
{
    QStringList names = RecordNames(Config.Presets);
    ClearRecordItems(menuPreset, 2);
    ClearRecordItems(popupPresets, 0);
    auto run = [this](const QString& name) { RunPreset(name); };
    AddRecordItems(menuPreset, names, run);
    AddRecordItems(popupPresets, names, run);
    menuPreset->actions().at(1)->setVisible(!names.isEmpty());
    popupPresets->setEnabled(!names.isEmpty());
}

void TKNMainForm::BuildBatchMenus()
{
    QStringList names = RecordNames(Config.Batches);
    ClearRecordItems(menuBatch, 2);
    ClearRecordItems(popupBatches, 0);
    auto run = [this](const QString& name) { RunBatch(name); };
    AddRecordItems(menuBatch, names, run);
    AddRecordItems(popupBatches, names, run);
    menuBatch->actions().at(1)->setVisible(!names.isEmpty());
    popupBatches->setEnabled(!names.isEmpty());
}

void TKNMainForm::RunPreset(const QString& name)
{
    if (Busy) return;
    const TKNOptionsRec* preset = Config.Presets.Find(name.toStdString());
    if (!preset) return;
    SetBusy();
    PresetName = QString::fromStdString(vex::GetField(preset->Name));
    UpdateCaption();
    ApplyOptions(*preset);
    FileCompare->Compare(false);
}

}  // namespace kn
