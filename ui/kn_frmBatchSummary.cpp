#include "ui/kn_frmBatchSummary.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kn {

TKNBatchSummaryForm::TKNBatchSummaryForm(const QString& batch, const std::vector<TKNBatchStep>& steps, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Batch \"%1\"").arg(batch));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(tr("The batch \"%1\" ran %n step(s):", nullptr, static_cast<int>(steps.size())).arg(batch), this));
    lvSteps = new QTreeWidget(this);
    lvSteps->setObjectName("lvSteps");
    lvSteps->setRootIsDecorated(false);
    lvSteps->setHeaderLabels({tr("Step"), tr("Preset"), tr("Action"), tr("Outcome")});
    int number = 0;
    for (const TKNBatchStep& step : steps) {
        auto* item = new QTreeWidgetItem(lvSteps, {QString::number(++number), step.Preset, step.Action, step.Outcome});
        item->setToolTip(3, step.Outcome);
    }
    lvSteps->header()->resizeSections(QHeaderView::ResizeToContents);
    layout->addWidget(lvSteps);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnClose = new QPushButton(tr("Close"), this);
    btnClose->setDefault(true);
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
    resize(760, 280);
}

}  // namespace kn
