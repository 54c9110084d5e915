#include "ui/kn_unitNamedListEdit.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPushButton>

#include "config/kn_unitConfig.h"
#include "framework/qt/vex_frmHelp.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/vex_unitText.h"

namespace kn {

TKNNamedListEdit::TKNNamedListEdit(TKNConfig& config, TKNNamedListTexts texts, QWidget* parent)
    : QDialog(parent), FConfig(config), FTexts(std::move(texts))
{
    vex::SetDialogFrame(this);
}

QWidget* TKNNamedListEdit::CreateButtons(QListWidget* names)
{
    FNames = names;
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    btnAdd = new QPushButton(tr("&Add"), box);
    btnDelete = new QPushButton(tr("&Delete"), box);
    btnRename = new QPushButton(tr("Re&name"), box);
    auto* closing = new QDialogButtonBox(box);
    btnOk = closing->addButton(tr("&OK"), QDialogButtonBox::AcceptRole);
    btnCancel = closing->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
    btnHelp = closing->addButton(tr("&Help"), QDialogButtonBox::HelpRole);
    btnOk->setDefault(true);
    for (QPushButton* b : {btnAdd, btnDelete, btnRename}) row->addWidget(b);
    row->addStretch(1);
    row->addWidget(closing);

    connect(btnAdd, &QPushButton::clicked, this, &TKNNamedListEdit::btnAddClick);
    connect(btnDelete, &QPushButton::clicked, this, &TKNNamedListEdit::btnDeleteClick);
    connect(btnRename, &QPushButton::clicked, this, &TKNNamedListEdit::btnRenameClick);
    connect(btnOk, &QPushButton::clicked, this, &TKNNamedListEdit::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, [keyword = FTexts.HelpKeyword] { vex::HelpKeyword(keyword); });
    return box;
}

std::string TKNNamedListEdit::AcceptableName(const QString& entered, const QString& currentCaption)
{
    std::string name(vex::CutUtf8(entered.toStdString(), FTexts.NameMaxBytes));
    if (name.empty()) {
        vex::ErrorBox(this, tr("The name of a %1 cannot be empty!").arg(FTexts.Noun));
        return name;
    }
    if (QString::fromStdString(name) != currentCaption && NameTaken(name)) {
        vex::ErrorBox(this, tr("A %1 named \"%2\" already exists!").arg(FTexts.Noun, entered));
        return std::string();
    }
    return name;
}

void TKNNamedListEdit::btnAddClick()
{
    QString entered = FTexts.FirstName;
    if (!vex::InputBox(this, tr("Add %1").arg(FTexts.Noun), tr("Input the name of %1.").arg(FTexts.Noun), entered,
                       FTexts.AddMaxLength))
        return;
    std::string name = AcceptableName(entered, QString());
    if (name.empty()) return;
    AddRecord(name);
    FillList(QString::fromStdString(name));
}

void TKNNamedListEdit::btnDeleteClick()
{
    int row = FNames->currentRow();
    if (row < 0) return;
    if (!vex::QuestionBox(this, tr("Delete the %1 \"%2\"?").arg(FTexts.Noun, FNames->currentItem()->text()))) return;
    DeleteRecord(row);
    FillList(QString());
}

void TKNNamedListEdit::btnRenameClick()
{
    QListWidgetItem* item = FNames->currentItem();
    if (item == nullptr) return;
    QString entered = item->text();
    if (!vex::InputBox(this, tr("Rename %1").arg(FTexts.Noun), tr("Input the new name of %1.").arg(FTexts.Noun),
                       entered, FTexts.RenameMaxLength))
        return;
    std::string name = AcceptableName(entered, item->text());
    if (name.empty()) return;
    RenameRecord(FNames->currentRow(), name);
    FillList(QString::fromStdString(name));
}

void TKNNamedListEdit::btnOkClick()
{
    // The new list is in use from now on even when the file cannot take it, so the dialog closes
    // with OK either way and the menus follow the list; the user learns why the file kept the old one.
    if (!StoreList())
        vex::ErrorBox(this, tr("The %1 could not be saved to the configuration file.\n%2")
                                .arg(FTexts.PluralNoun, QString::fromStdString(FConfig.ConfigFile.ErrorText())));
    accept();
}

}  // namespace kn
