#include "ui/kn_frmPresetMgr.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/kn_unitConfig.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_frmHelp.h"
#include "framework/vex_unitText.h"
#include "ui/kn_unitOptionsPanel.h"

namespace kn {

namespace {
constexpr std::size_t kNameMaxBytes = sizeof(TKNOptionsRec::Name) - 1;
}

TKNPresetManagerForm::TKNPresetManagerForm(TKNConfig& config, QWidget* parent)
    : QDialog(parent), FConfig(config), FPresets(config.Presets.Clone()),
      FRecord(DefaultOptions(QDir::homePath().toStdString().c_str()))
{
    setWindowTitle(tr("Preset Manager"));
    TreeViewPresets = new QListWidget(this);
    TreeViewPresets->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeViewPresets->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pnlOptions = new TKNOptionsPanel(this);
    pnlOptions->LoadOptions(FRecord);

    auto* buttons = new QWidget(this);
    CreateButtons(buttons);
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

void TKNPresetManagerForm::CreateButtons(QWidget* box)
{
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    btnAdd = new QPushButton(tr("&Add"), box);
    btnDelete = new QPushButton(tr("&Delete"), box);
    btnRename = new QPushButton(tr("Re&name"), box);
    auto* closing = new QDialogButtonBox(box);
    btnOk = closing->addButton(tr("&Ok"), QDialogButtonBox::AcceptRole);
    btnCancel = closing->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
    btnHelp = closing->addButton(tr("&Help"), QDialogButtonBox::HelpRole);
    btnOk->setDefault(true);
    for (QPushButton* b : {btnAdd, btnDelete, btnRename})
        row->addWidget(b);
    row->addStretch(1);
    row->addWidget(closing);

    connect(btnAdd, &QPushButton::clicked, this, &TKNPresetManagerForm::btnAddClick);
    connect(btnDelete, &QPushButton::clicked, this, &TKNPresetManagerForm::btnDeleteClick);
    connect(btnRename, &QPushButton::clicked, this, &TKNPresetManagerForm::btnRenameClick);
    connect(btnOk, &QPushButton::clicked, this, &TKNPresetManagerForm::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, [] { vex::HelpKeyword(QStringLiteral("PresetMgr")); });
}

void TKNPresetManagerForm::FillList(const QString& select)
{
    ++FFilling;
    TreeViewPresets->clear();
    int chosen = 0;
    for (int i = 0; i < FPresets.Count(); ++i) {
        QString caption = QString::fromStdString(FPresets.Names(i));
        TreeViewPresets->addItem(caption);
        if (caption == select)
            chosen = i;
    }
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
    if (FFilling > 0 || item == nullptr)
        return;
    if (const TKNOptionsRec* preset = FPresets.Find(item->text().toStdString())) {
        FRecord = *preset;
        pnlOptions->LoadOptions(FRecord);
    }
}

void TKNPresetManagerForm::WriteBack()
{
    pnlOptions->StoreOptions(FRecord);
    if (TreeViewPresets->currentItem() == nullptr)
        return;
    if (TKNOptionsRec* preset = FPresets.Find(vex::GetField(FRecord.Name)))
        *preset = FRecord;
}

std::string TKNPresetManagerForm::AcceptableName(const QString& entered, const QString& currentCaption)
{
    std::string name(vex::CutUtf8(entered.toStdString(), kNameMaxBytes));
    if (name.empty()) {
        vex::ErrorBox(this, tr("The name of a preset cannot be empty!"));
        return name;
    }
    if (QString::fromStdString(name) != currentCaption && FPresets.Find(name) != nullptr) {
        vex::ErrorBox(this, tr("A preset named \"%1\" already exists!").arg(entered));
        return std::string();
    }
    return name;
}

void TKNPresetManagerForm::btnAddClick()
{
    QString entered = QStringLiteral("Preset1");
    if (!vex::InputBox(this, tr("Add preset"), tr("Input the name of preset."), entered))
        return;
    std::string name = AcceptableName(entered, QString());
    if (name.empty())
        return;
    // The new preset starts with the settings shown now.
    pnlOptions->StoreOptions(FRecord);
    vex::SetField(FRecord.Name, name);
    FPresets.Add(FRecord);
    FillList(QString::fromStdString(name));
}

void TKNPresetManagerForm::btnDeleteClick()
{
    int row = TreeViewPresets->currentRow();
    if (row < 0)
        return;
    FPresets.Delete(row);
    FillList(QString());
}

void TKNPresetManagerForm::btnRenameClick()
{
    QListWidgetItem* item = TreeViewPresets->currentItem();
    if (item == nullptr)
        return;
    QString entered = item->text();
    if (!vex::InputBox(this, tr("Rename preset"), tr("Input the new name of preset."), entered))
        return;
    std::string name = AcceptableName(entered, item->text());
    if (name.empty())
        return;
    FPresets.Rename(TreeViewPresets->currentRow(), name);
    FillList(QString::fromStdString(name));
}

void TKNPresetManagerForm::btnOkClick()
{
    FConfig.Presets.Assign(FPresets);
    // The new list is in use from now on even when the file cannot take it, so the dialog closes
    // with OK either way and the menus follow the list; the user learns why the file kept the old one.
    if (!FConfig.SavePresets())
        vex::ErrorBox(this, tr("The presets could not be saved to the configuration file.\n%1")
                                .arg(QString::fromStdString(FConfig.ConfigFile.ErrorText())));
    accept();
}

}  // namespace kn
