// The program's standard boxes: an error box with OK, a question box with Yes and No, input
// and password boxes, and the folder-browse dialog. Every box carries the application's title.
#pragma once

#include <QString>

class QDialog;
class QLineEdit;
class QWidget;

namespace vex {

// The application's title, shown as the caption of the boxes and of the main window. Until it
// is set it is the application name.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

void ErrorBox(QWidget* parent, const QString& message);
void InformationBox(QWidget* parent, const QString& message);
// True when the user answered Yes.
bool QuestionBox(QWidget* parent, const QString& message);

// Asks for one line of text, starting with `value`. True and the new text in `value` on OK;
// `value` is left alone on Cancel.
bool InputBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value, int maxLength = 0);
// Like InputBox, with the typed characters hidden.
bool PasswordBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value, int maxLength = 0);

// Gives a dialog a title bar with a close button only: no minimise or maximise buttons.
void SetDialogFrame(QDialog* dialog);
// Hides what is typed into `edit`, every character shown as "*".
void MaskWithAsterisks(QLineEdit* edit);

// Lets the user pick an existing local folder, starting at `folder`. True and the picked
// folder in `folder` when one was picked.
bool BrowseForFolder(QWidget* parent, const QString& title, QString& folder);

}  // namespace vex
