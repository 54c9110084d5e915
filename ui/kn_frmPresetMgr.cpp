#include "ui/kn_frmPresetMgr.h"

#include <QDir>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/kn_unitConfig.h"
#include "framework/vex_unitText.h"
#include "ui/kn_unitOptionsPanel.h"

namespace kn {

namespace {

TKNNamedListTexts PresetTexts()
{
    TKNNamedListTexts texts;
    texts.Noun = TKNPresetManagerForm::tr("preset");
    texts.PluralNoun = TKNPresetManagerForm::tr("presets");
    texts.FirstName = QStringLiteral("Preset1");
    texts.HelpKeyword = QStringLiteral("PresetMgr");
    texts.NameMaxBytes = sizeof(TKNOptionsRec::Name) - 1;
    return texts;
}

}  // namespace

TKNPresetManagerForm::TKNPresetManagerForm(TKNConfig& config, QWidget* parent)
    : TKNNamedListEdit(config, PresetTexts(), parent),
      FPresets(config.Presets.Clone()),
      FRecord(DefaultOptions(QDir::homePath().toStdString().c_str()))
{
    setWindowTitle(tr("Preset Manager"));
    TreeViewPresets = new QListWidget(this);
    TreeViewPresets->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeViewPresets->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pnlOptions = new TKNOptionsPanel(this);
    pnlOptions->LoadOptions(FRecord);

    QWidget* buttons = CreateButtons(TreeViewPresets);
    auto* top = new QHBoxLayout;
    top->addWidget(TreeViewPresets);
    top->addWidget(pnlOptions, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setTabOrder(TreeViewPresets, pnlOptions);
    setTabOrder(pnlOptions, btnAdd);

    connect(TreeViewPresets, &QListWidget::currentRowChanged, this, &TKNPresetManagerForm::TreeViewPresetsChange);
    connect(pnlOptions, &TKNOptionsPanel::Edited, this, &TKNPresetManagerForm::WriteBack);
    FillList(QString());
    TreeViewPresets->setFocus();
}

void TKNPresetManagerForm::FillList(const QString& select)
{
    ++FFilling;
    const int chosen = ShowNames(TreeViewPresets, FPresets, select);
    const bool any = FPresets.Count() > 0;
    pnlOptions->setEnabled(any);
    btnDelete->setEnabled(any);
    btnRename->setEnabled(any);
    --FFilling;
    if (any) {
        TreeViewPresets->setCurrentRow(chosen);
        TreeViewPresetsChange();
    }
}

void TKNPresetManagerForm::TreeViewPresetsChange()
{
    QListWidgetItem* item = TreeViewPresets->currentItem();
    if (FFilling > 0 || item == nullptr) return;
    if (const TKNOptionsRec* preset = FPresets.Find(item->text().toStdString())) {
        FRecord = *preset;
        pnlOptions->LoadOptions(FRecord);
    }
}

void TKNPresetManagerForm::WriteBack()
{
    pnlOptions->StoreOptions(FRecord);
    if (TreeViewPresets->currentItem() == nullptr) return;
    if (TKNOptionsRec* preset = FPresets.Find(vex::GetField(FRecord.Name))) *preset = FRecord;
}

bool TKNPresetManagerForm::NameTaken(const std::string& name) const
{
    return FPresets.Find(name) != nullptr;
}

void TKNPresetManagerForm::AddRecord(const std::string& name)
{
    // The new preset starts with the settings shown now.
    pnlOptions->StoreOptions(FRecord);
    vex::SetField(FRecord.Name, name);
    FPresets.Add(FRecord);
}

void TKNPresetManagerForm::DeleteRecord(int row)
{
    FPresets.Delete(row);
}

void TKNPresetManagerForm::RenameRecord(int row, const std::string& name)
{
    FPresets.Rename(row, name);
}

bool TKNPresetManagerForm::StoreList()
{
    FConfig.Presets.Assign(FPresets);
    return FConfig.SavePresets();
}

}  // namespace kn
