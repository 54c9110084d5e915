#include "modal_script.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "ui/kn_frmConfirm.h"

namespace updateui_test {

namespace {

const char* const kHandled = "updateuiHandled";

void Reject(QWidget* modal)
{
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
}

ModalScript::Step Press(QMessageBox::StandardButton which)
{
    return [which](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box && box->button(which))
            box->button(which)->click();
        else
            Reject(modal);
    };
}

}  // namespace

ModalScript::ModalScript(std::vector<Step> steps) : steps_(std::move(steps))
{
    connect(&timer_, &QTimer::timeout, this, &ModalScript::Poll);
    timer_.start(5);
}

void ModalScript::Poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal->property(kHandled).toBool()) return;
    modal->setProperty(kHandled, true);
    if (next_ >= steps_.size()) {
        Unexpected << Describe(modal);
        Reject(modal);
        return;
    }
    Seen << Describe(modal);
    Step step = steps_[next_++];
    step(modal);
}

ModalScript::Step ModalScript::Ok()
{
    return Press(QMessageBox::Ok);
}
ModalScript::Step ModalScript::Yes()
{
    return Press(QMessageBox::Yes);
}
ModalScript::Step ModalScript::No()
{
    return Press(QMessageBox::No);
}

ModalScript::Step ModalScript::OkSilencing()
{
    return [](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box && box->checkBox()) box->checkBox()->setChecked(true);
        Press(QMessageBox::Ok)(modal);
    };
}

ModalScript::Step ModalScript::Inspect(std::function<void(QWidget* modal)> look, Step answer)
{
    return [look, answer](QWidget* modal) {
        look(modal);
        answer(modal);
    };
}

ModalScript::Step ModalScript::Confirm(bool backup)
{
    return [backup](QWidget* modal) {
        auto* form = qobject_cast<kn::TKNConfirmForm*>(modal);
        if (!form) return Reject(modal);
        form->cbBackup->setChecked(backup);
        form->btnOk->click();
    };
}

ModalScript::Step ModalScript::CancelDialog()
{
    return [](QWidget* modal) {
        if (auto* form = qobject_cast<kn::TKNConfirmForm*>(modal))
            form->btnCancel->click();
        else
            Reject(modal);
    };
}

ModalScript::Step ModalScript::Browse(const QString& folder)
{
    return [folder](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog || folder.isEmpty()) return Reject(modal);
        dialog->setDirectory(folder);
        dialog->selectFile(folder);
        // The dialog's own Open button accepts the folder as a user's click would.
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

QString Describe(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        const char* kind = box->icon() == QMessageBox::Critical   ? "error"
                           : box->icon() == QMessageBox::Question ? "question"
                                                                  : "box";
        return QString("%1: %2").arg(kind, box->text());
    }
    if (auto* form = qobject_cast<kn::TKNConfirmForm*>(modal))
        return QString("confirm: %1 | %2 | %3")
            .arg(form->edLeftFolder->text(), form->edRightFolder->text(), form->edAction->text());
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) return "browse: " + dialog->windowTitle();
    return "window: " + modal->windowTitle();
}

}  // namespace updateui_test
