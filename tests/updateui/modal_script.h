// Answers the modal windows that the code under test opens, one step per window, in order:
// a step names what it expects ("error", "question", "confirm", "browse") and how it answers.
// Every window handled is recorded with its text, so tests can check what the user was shown.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

class QWidget;

namespace updateui_test {

class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget* modal)>;

    explicit ModalScript(std::vector<Step> steps = {});

    // Message boxes: OK / Yes / No.
    static Step Ok();
    static Step Yes();
    static Step No();
    // An error box of an update: ticks "Don't show further errors of this update", then OK.
    static Step OkSilencing();
    // Runs `look` on the window, then answers it with `answer`.
    static Step Inspect(std::function<void(QWidget* modal)> look, Step answer);
    // The confirmation dialog: ticks Backup when asked, then OK; or Cancel.
    static Step Confirm(bool backup = false);
    static Step CancelDialog();
    // The folder-browse dialog: picks `folder`, or cancels when it is empty.
    static Step Browse(const QString& folder);

    // One line per window handled: its kind and text ("error: ...", "question: ...",
    // "confirm: LEFT | RIGHT | ACTION", "browse: TITLE").
    QStringList Seen;
    // Windows that appeared with no step left; they were cancelled.
    QStringList Unexpected;
    std::size_t Pending() const { return steps_.size() - next_; }

private:
    void Poll();

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    QTimer timer_;
};

// What the window shows, as recorded in Seen.
QString Describe(QWidget* modal);

}  // namespace updateui_test
