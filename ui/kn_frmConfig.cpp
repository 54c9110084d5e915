#include "ui/kn_frmConfig.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>

#include "config/kn_unitConfig.h"
#include "framework/qt/vex_frmHelp.h"
#include "framework/qt/vex_unitDialogs.h"
#include "ui/kn_unitOptionsPanel.h"

namespace kn {

TKNConfigForm::TKNConfigForm(TKNConfig& config, QWidget* parent) : QDialog(parent), FConfig(config)
{
    vex::SetDialogFrame(this);
    setWindowTitle(tr("Configuration"));
    pnlOptions = new TKNOptionsPanel(this);
    pnlOptions->LoadOptions(FConfig.Header.CurrentOptions);

    auto* buttons = new QDialogButtonBox(this);
    btnOk = buttons->addButton(tr("&OK"), QDialogButtonBox::AcceptRole);
    btnCancel = buttons->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
    btnHelp = buttons->addButton(tr("&Help"), QDialogButtonBox::HelpRole);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &TKNConfigForm::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, [] { vex::HelpKeyword(QStringLiteral("CompareSetup")); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pnlOptions);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int TKNConfigForm::ActionIndex() const
{
    return pnlOptions->ActionIndex();
}

void TKNConfigForm::btnOkClick()
{
    TKNOptionsRec& options = FConfig.Header.CurrentOptions;
    std::memset(&options, 0, sizeof options);
    pnlOptions->StoreOptions(options);
    // A failed write is not reported: the options live in memory in any case, and the header is
    // written again when the program ends.
    FConfig.WriteHeader(true);
    accept();
}

}  // namespace kn
