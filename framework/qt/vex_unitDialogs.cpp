#include "framework/qt/vex_unitDialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace vex {

namespace {

QString& TitleStore()
{
    static QString title;
    return title;
}

QString BoxTitle()
{
    return ApplicationTitle();
}

bool LineBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value, int maxLength,
             QLineEdit::EchoMode echo)
{
    QDialog dialog(parent);
    SetDialogFrame(&dialog);
    dialog.setWindowTitle(caption.isEmpty() ? BoxTitle() : caption);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(prompt, &dialog);
    auto* edit = new QLineEdit(value, &dialog);
    if (echo == QLineEdit::Password)
        MaskWithAsterisks(edit);
    else
        edit->setEchoMode(echo);
    if (maxLength > 0) edit->setMaxLength(maxLength);
    edit->setMinimumWidth(280);
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    edit->selectAll();
    if (dialog.exec() != QDialog::Accepted) return false;
    value = edit->text();
    return true;
}

}  // namespace

void SetDialogFrame(QDialog* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);
}

void MaskWithAsterisks(QLineEdit* edit)
{
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
}

void SetApplicationTitle(const QString& title)
{
    TitleStore() = title;
}

QString ApplicationTitle()
{
    return TitleStore().isEmpty() ? QApplication::applicationName() : TitleStore();
}

void ErrorBox(QWidget* parent, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, BoxTitle(), message, QMessageBox::Ok, parent);
    box.exec();
}

void InformationBox(QWidget* parent, const QString& message)
{
    QMessageBox box(QMessageBox::Information, BoxTitle(), message, QMessageBox::Ok, parent);
    box.exec();
}

bool QuestionBox(QWidget* parent, const QString& message)
{
    QMessageBox box(QMessageBox::Question, BoxTitle(), message, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool InputBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value, int maxLength)
{
    return LineBox(parent, caption, prompt, value, maxLength, QLineEdit::Normal);
}

bool PasswordBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value, int maxLength)
{
    return LineBox(parent, caption, prompt, value, maxLength, QLineEdit::Password);
}

bool BrowseForFolder(QWidget* parent, const QString& title, QString& folder)
{
    // Start at the deepest existing folder of the current text.
    QFileInfo start(folder.isEmpty() ? QDir::homePath() : folder);
    while (!start.isDir() && !start.isRoot() && !start.filePath().isEmpty()) start = QFileInfo(start.path());
    QString picked =
        QFileDialog::getExistingDirectory(parent, title, start.isDir() ? start.absoluteFilePath() : QDir::homePath(),
                                          QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (picked.isEmpty()) return false;
    folder = picked;
    return true;
}

}  // namespace vex
