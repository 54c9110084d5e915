// Answers the modal boxes that a dialog under test opens: each step handles the next modal
// window that appears (types a text and presses OK, cancels, or closes a message box).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

class QPushButton;
class QWidget;

namespace testing_dialogs {

class ModalAnswers : public QObject {
public:
    using Step = std::function<void(QWidget* modal)>;

    explicit ModalAnswers(std::vector<Step> steps);

    static Step Type(const QString& text);  // sets the box's line edit, then OK
    static Step Cancel();
    static Step Close();  // closes a message box
    static Step Yes();    // answers a question box with Yes

    std::size_t Pending() const { return steps_.size() - next_; }
    // The text of every box a step handled, in order: a message, or an input box's prompt.
    QStringList Seen;
    // Texts of boxes that appeared when no step was left (closed with Cancel so the test ends).
    QStringList Unexpected;

private:
    void Poll();

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QTimer timer_;
};

// The text a message box shows, or all label texts of another modal window.
QString ModalText(QWidget* modal);

// Clicks `button` and answers the boxes it opens with `steps`; fails the test when a step is
// left over or a box appears unasked. Returns the texts of the boxes answered.
QStringList Click(QPushButton* button, std::vector<ModalAnswers::Step> steps);

}  // namespace testing_dialogs
