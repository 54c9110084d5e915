#include "modal_answers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace testing_dialogs {

namespace {
const char* const kHandled = "handledByTest";

void Reject(QWidget* modal)
{
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
}
}  // namespace

ModalAnswers::ModalAnswers(std::vector<Step> steps) : steps_(std::move(steps))
{
    connect(&timer_, &QTimer::timeout, this, &ModalAnswers::Poll);
    timer_.start(5);
}

void ModalAnswers::Poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal->property(kHandled).toBool()) return;
    modal->setProperty(kHandled, true);
    if (next_ >= steps_.size()) {
        Unexpected << ModalText(modal);
        Reject(modal);
        return;
    }
    Seen << ModalText(modal);
    Step step = steps_[next_++];
    step(modal);
}

ModalAnswers::Step ModalAnswers::Type(const QString& text)
{
    return [text](QWidget* modal) {
        if (auto* edit = modal->findChild<QLineEdit*>()) edit->setText(text);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->accept();
    };
}

ModalAnswers::Step ModalAnswers::Cancel()
{
    return Reject;
}

ModalAnswers::Step ModalAnswers::Close()
{
    return Reject;
}

ModalAnswers::Step ModalAnswers::Yes()
{
    return [](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) box->button(QMessageBox::Yes)->click();
    };
}

QString ModalText(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal)) return box->text();
    QStringList texts;
    for (QLabel* label : modal->findChildren<QLabel*>()) texts << label->text();
    return texts.join(QLatin1Char('\n'));
}

QStringList Click(QPushButton* button, std::vector<ModalAnswers::Step> steps)
{
    ModalAnswers answers(std::move(steps));
    button->click();
    EXPECT_EQ(answers.Pending(), 0u);
    EXPECT_TRUE(answers.Unexpected.isEmpty()) << answers.Unexpected.join("|").toStdString();
    return answers.Seen;
}

}  // namespace testing_dialogs
