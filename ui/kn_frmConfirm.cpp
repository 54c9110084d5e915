#include "ui/kn_frmConfirm.h"

#include <QAbstractListModel>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "framework/qt/vex_frmHelp.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_unitThemeMarks.h"

namespace kn {

namespace {

constexpr int kIconSize = 32;

// The operations as the list asks for them: each line is made when it is drawn.
class TOperationModel : public QAbstractListModel {
public:
    TOperationModel(int count, std::function<QString(int)> line, QObject* parent)
        : QAbstractListModel(parent), count_(count), line_(std::move(line))
    {
    }
    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : count_; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
        return line_(index.row());
    }

private:
    int count_;
    std::function<QString(int)> line_;
};

}  // namespace

QString TKNConfirmForm::ActionText(TKNAction action, bool selectionOnly, bool force)
{
    QString text;
    switch (action) {
        case TKNAction::LeftToRight:
            text = tr("Left to Right");
            break;
        case TKNAction::RightToLeft:
            text = tr("Right to Left");
            break;
        case TKNAction::TwoWay:
            text = tr("Two-way");
            break;
        default:
            text = tr("Auto");
            break;
    }
    text += selectionOnly ? tr(", Selection Only") : tr(", All Files");
    if (force && action != TKNAction::TwoWay) text += tr(", Force Update");
    return text;
}

QLineEdit* TKNConfirmForm::NewFolderEdit()
{
    auto* edit = new QLineEdit(this);
    edit->setReadOnly(true);
    // Click focus lets the user select and copy a long path; Tab passes the field by.
    edit->setFocusPolicy(Qt::ClickFocus);
    return edit;
}

TKNConfirmForm::TKNConfirmForm(QWidget* parent) : QDialog(parent)
{
    vex::SetDialogFrame(this);
    setWindowTitle(tr("Updating Confirmation"));
    setSizeGripEnabled(true);

    Image1 = new QLabel(this);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(kIconSize, kIconSize));
    Label4 = new QLabel(tr("Update these folders as listed below?"), this);
    Label2 = new QLabel(tr("Left Folder:"), this);
    edLeftFolder = NewFolderEdit();
    Label1 = new QLabel(tr("Right Folder:"), this);
    edRightFolder = NewFolderEdit();
    Label3 = new QLabel(tr("Action:"), this);
    edAction = NewFolderEdit();
    Label2->setBuddy(edLeftFolder);
    Label1->setBuddy(edRightFolder);
    Label3->setBuddy(edAction);
    lblTotals = new QLabel(this);
    lblTotals->setObjectName("lblTotals");
    lblTotals->setWordWrap(true);
    lblOperations = new QLabel(tr("O&perations:"), this);
    lvOperations = new QListView(this);
    lvOperations->setObjectName("lvOperations");
    lvOperations->setUniformItemSizes(true);
    lvOperations->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lblOperations->setBuddy(lvOperations);

    cbBackup = new QCheckBox(tr("&Backup"), this);
    vex::MarkFocusPlainly(cbBackup);
    cbBackup->setToolTip(tr("Copy every file the update replaces or deletes to a backup folder first"));
    btnOk = new QPushButton(tr("&OK"), this);
    btnCancel = new QPushButton(tr("&Cancel"), this);
    btnHelp = new QPushButton(tr("Help"), this);
    btnOk->setDefault(true);
    btnOk->setAutoDefault(true);
    btnCancel->setAutoDefault(false);
    btnHelp->setAutoDefault(false);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    // Esc reaches QDialog::reject as well, which makes btnCancel the cancel button.
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, &TKNConfirmForm::btnHelpClick);

    LayOutControls();
    resize(640, 440);
    btnOk->setFocus();
}

// The folders and the action beside the warning icon, the operations below taking what height
// the dialog is given, the buttons under them; Tab goes from OK through the buttons to the list.
void TKNConfirmForm::LayOutControls()
{
    auto* fields = new QFormLayout;
    fields->addRow(Label4);
    fields->addRow(Label2, edLeftFolder);
    fields->addRow(Label1, edRightFolder);
    fields->addRow(Label3, edAction);
    fields->addRow(lblTotals);
    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(fields, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cbBackup);
    buttons->addStretch(1);
    for (QPushButton* button : {btnOk, btnCancel, btnHelp}) buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lblOperations);
    layout->addWidget(lvOperations, 1);
    layout->addLayout(buttons);

    setTabOrder(btnOk, btnCancel);
    setTabOrder(btnCancel, btnHelp);
    setTabOrder(btnHelp, cbBackup);
    setTabOrder(cbBackup, lvOperations);
}

void TKNConfirmForm::SetContent(const QString& leftFolder, const QString& rightFolder, const QString& actionText)
{
    edLeftFolder->setText(leftFolder);
    edRightFolder->setText(rightFolder);
    edAction->setText(actionText);
    // Long folder texts show their beginning, where they differ least from what was typed; the
    // whole text is in the tooltip.
    for (QLineEdit* edit : {edLeftFolder, edRightFolder, edAction}) {
        edit->setCursorPosition(0);
        edit->setToolTip(edit->text());
    }
}

void TKNConfirmForm::SetTotals(const QString& totals)
{
    lblTotals->setText(totals);
}

void TKNConfirmForm::SetOperations(int count, std::function<QString(int)> line)
{
    QAbstractItemModel* old = lvOperations->model();
    lvOperations->setModel(new TOperationModel(count, std::move(line), this));
    delete old;
    lblOperations->setText(tr("O&perations (%1):").arg(QLocale().toString(count)));
}

bool TKNConfirmForm::BackupChecked() const
{
    return cbBackup->isChecked();
}

void TKNConfirmForm::btnHelpClick()
{
    vex::HelpKeyword(QStringLiteral("UpdateConfirm"));
}

}  // namespace kn
