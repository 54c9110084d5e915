// The preset and batch menus of the main window and the running of a preset.
#include <QAction>
#include <QMenu>
#include <functional>

#include "framework/qt/vex_unitMenuColumns.h"
#include "framework/vex_unitText.h"
#include "ui/kn_frmMain.h"

namespace kn {

namespace {

// Positions 12, 24, ... of a menu start a new column.
constexpr int kMenuColumnLength = 12;

using RunRecord = std::function<void(const QString&)>;

// Rebuilds a record menu: the manager command and a separator (shown only when there are
// records) when `manager` is given, then one item per name. Each item's caption is exactly the
// name, which `run` receives; without `run` the items are shown disabled.
void FillRecordMenu(QMenu* menu, QAction* manager, const QStringList& names, const RunRecord& run)
{
    // Items of the last build, their column grid included; the manager belongs to the window.
    for (QAction* old : menu->findChildren<QAction*>(Qt::FindDirectChildrenOnly))
        if (old != menu->menuAction()) delete old;
    menu->clear();
    if (manager) {
        menu->addAction(manager);
        menu->addSeparator()->setVisible(!names.isEmpty());
    }
    for (const QString& name : names) {
        auto* item = new QAction(name, menu);
        item->setEnabled(static_cast<bool>(run));
        // The item is its own context: a menu that lays its items out in columns removes them,
        // which drops every connection the menu is the context of.
        if (run) QObject::connect(item, &QAction::triggered, item, [run, name] { run(name); });
        menu->addAction(item);
    }
    vex::ArrangeMenuColumns(menu, kMenuColumnLength);
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
    RunRecord run = [this](const QString& name) { RunPreset(name); };
    FillRecordMenu(menuPreset, FindAction("actPresetManager"), names, run);
    FillRecordMenu(popupPresets, nullptr, names, run);
    popupPresets->setEnabled(!names.isEmpty());
}

void TKNMainForm::BuildBatchMenus()
{
    QStringList names = RecordNames(Config.Batches);
    RunRecord run = [this](const QString& name) { RunBatch(name); };
    FillRecordMenu(menuBatch, FindAction("actBatchManager"), names, run);
    FillRecordMenu(popupBatches, nullptr, names, run);
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
    StartCompare(false);
}

}  // namespace kn
