#include "ui/kn_frmConfirm.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <cmath>

#include "engine/kn_unitCompareOptions.h"
#include "framework/qt/vex_frmHelp.h"
#include "framework/qt/vex_unitDialogs.h"

namespace kn {

namespace {

constexpr double kDesignDpi = 96.0;
constexpr int kClientWidth = 505;
constexpr int kClientHeight = 272;
constexpr int kIconSize = 32;

// One control's place at 96 dots per inch; a zero width or height keeps the control's own.
struct TPlacement {
    QWidget* control;
    int left, top, width, height;
};

}  // namespace

int TKNConfirmForm::ScaleToDpi(int pixels, double dpi)
{
    if (dpi <= 0) dpi = kDesignDpi;
    return static_cast<int>(std::lround(pixels * dpi / kDesignDpi));
}

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
        default:
            text = tr("Auto");
            break;
    }
    text += selectionOnly ? tr(", Selection Only") : tr(", All Files");
    if (force) text += tr(", Force Update");
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

    Image1 = new QLabel(this);
    Label4 = new QLabel(tr("Are you sure to update?"), this);
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

    cbBackup = new QCheckBox(tr("&Backup"), this);
    cbBackup->setChecked(false);
    btnOk = new QPushButton(tr("&Ok"), this);
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

    setTabOrder(btnOk, btnCancel);
    setTabOrder(btnCancel, btnHelp);
    setTabOrder(btnHelp, cbBackup);

    QScreen* shownOn = screen();
    PlaceControls(shownOn ? shownOn->logicalDotsPerInch() : kDesignDpi);
    btnOk->setFocus();
}

void TKNConfirmForm::PlaceControls(double dpi)
{
    auto scaled = [dpi](int pixels) { return ScaleToDpi(pixels, dpi); };
    const TPlacement placements[] = {
        {Image1, 16, 16, kIconSize, kIconSize},
        {Label4, 64, 16, 0, 0},
        {Label2, 64, 48, 0, 0},
        {edLeftFolder, 64, 64, 425, 0},
        {Label1, 64, 96, 0, 0},
        {edRightFolder, 64, 112, 425, 0},
        {Label3, 64, 144, 0, 0},
        {edAction, 64, 160, 425, 0},
        {lblTotals, 64, 188, 425, 17},
        {cbBackup, 16, 230, 97, 17},
        {btnOk, 256, 230, 75, 25},
        {btnCancel, 336, 230, 75, 25},
        {btnHelp, 416, 230, 75, 25},
    };
    for (const TPlacement& p : placements) {
        QSize natural = p.control->sizeHint();
        int width = p.width ? scaled(p.width) : natural.width();
        int height = p.height ? scaled(p.height) : natural.height();
        p.control->setGeometry(scaled(p.left), scaled(p.top), width, height);
    }
    int iconSize = scaled(kIconSize);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize, iconSize));
    setFixedSize(scaled(kClientWidth), scaled(kClientHeight));
}

void TKNConfirmForm::SetContent(const QString& leftFolder, const QString& rightFolder, const QString& actionText)
{
    edLeftFolder->setText(leftFolder);
    edRightFolder->setText(rightFolder);
    edAction->setText(actionText);
    // Long folder texts show their beginning, where they differ least from what was typed.
    for (QLineEdit* edit : {edLeftFolder, edRightFolder, edAction}) edit->setCursorPosition(0);
}

void TKNConfirmForm::SetTotals(const QString& totals)
{
    lblTotals->setText(totals);
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
