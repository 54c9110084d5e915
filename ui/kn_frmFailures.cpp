#include "ui/kn_frmFailures.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/kn_unitShownText.h"

namespace kn {

namespace {

// A provider's message holds "\r\n" between what failed and the system's reason.
QString OneLine(const std::string& text)
{
    QString line = ShownText(text);
    line.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

// The system's reason alone: a provider's message names the paths first, which the other
// columns show.
QString Reason(const std::string& message)
{
    const QString text = ShownText(message).trimmed();
    const qsizetype cut = text.lastIndexOf(QLatin1Char('\n'));
    return cut < 0 ? text : text.mid(cut + 1).trimmed();
}

QStringList Fields(const TKNUpdateFailure& failure)
{
    return {QString::fromStdString(OperationName(failure.Op)), ShownText(failure.Source), ShownText(failure.Target),
            OneLine(failure.Message)};
}

}  // namespace

QString TKNFailuresForm::FailuresText(const std::vector<TKNUpdateFailure>& failures)
{
    QString text;
    for (const TKNUpdateFailure& failure : failures)
        text += Fields(failure).join(QLatin1Char('\t')) + QLatin1Char('\n');
    return text;
}

TKNFailuresForm::TKNFailuresForm(const std::vector<TKNUpdateFailure>& failures, QWidget* parent)
    : QDialog(parent), text_(FailuresText(failures))
{
    setWindowTitle(tr("Update Failures"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(tr("%n operation(s) of the update failed:", nullptr, static_cast<int>(failures.size())), this));
    lvFailures = new QTreeWidget(this);
    lvFailures->setObjectName("lvFailures");
    lvFailures->setRootIsDecorated(false);
    // The reason first, where a narrow window still shows it; the paths follow.
    lvFailures->setHeaderLabels({tr("Reason"), tr("Operation"), tr("Target"), tr("Source")});
    lvFailures->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const TKNUpdateFailure& failure : failures) {
        const QStringList fields = Fields(failure);
        auto* item = new QTreeWidgetItem(lvFailures, {Reason(failure.Message), fields[0], fields[2], fields[1]});
        for (int column = 0; column < 4; ++column)
            item->setToolTip(column, column == 0 ? ShownText(failure.Message) : item->text(column));
    }
    lvFailures->header()->resizeSections(QHeaderView::ResizeToContents);
    layout->addWidget(lvFailures);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnCopy = new QPushButton(tr("&Copy"), this);
    btnClose = new QPushButton(tr("Close"), this);
    btnClose->setDefault(true);
    buttons->addWidget(btnCopy);
    buttons->addWidget(btnClose);
    layout->addLayout(buttons);
    connect(btnCopy, &QPushButton::clicked, this, &TKNFailuresForm::CopyToClipboard);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
    resize(720, 320);
}

void TKNFailuresForm::CopyToClipboard()
{
    QGuiApplication::clipboard()->setText(text_);
}

}  // namespace kn
