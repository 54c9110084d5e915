// The main window with an SFTP side whose host is not known yet (a real sshd on loopback): it
// asks with the key's fingerprint; yes records the key and compares again, no records nothing.
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "tests/common/sshd_server.h"
#include "tests/framework_qt/modal_helper.h"
#include "tests/ui/ui_test_support.h"
#include "ui/kn_unitResultModel.h"

namespace {

using testutil::MainWindowTest;
using testutil::WaitUntil;

class SftpTrustWindow : public MainWindowTest {
protected:
    // Answers the host question with `button` and keeps its text; with `thenClose`, the next
    // box (the comparison's failure) is closed too and its text kept.
    void Answer(QMessageBox::StandardButton button, bool thenClose = false)
    {
        testutil::OnNextModal([this, button, thenClose](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                modal->close();
                return;
            }
            question = box->text();
            if (thenClose)
                testutil::OnNextModal([this](QWidget* next) {
                    if (auto* failureBox = qobject_cast<QMessageBox*>(next)) failure = failureBox->text();
                    next->close();
                });
            box->button(button)->click();
        });
    }
    QString question, failure;
};

TEST_F(SftpTrustWindow, YesRecordsTheKeyAndComparesAgain)
{
    testutil::SshServer server;
    testutil::WriteFile(server.Root() + "/only-remote.txt", "r");
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Answer(QMessageBox::Yes);
    Compare(window, left, server.Location(server.Root()));
    ASSERT_TRUE(WaitUntil([&] { return !window.IsBusy() && window.ResultModel().rowCount() == 1; }))
        << "no second comparison listed the remote file";
    EXPECT_TRUE(question.contains(QString::fromStdString(server.Fingerprint()))) << question.toStdString();
    EXPECT_TRUE(testutil::Exists(server.ClientHome() + "/.ssh/known_hosts"));
}

TEST_F(SftpTrustWindow, NoRecordsNothingAndTheComparisonFails)
{
    testutil::SshServer server;
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Answer(QMessageBox::No, true);
    Compare(window, left, server.Location(server.Root()));
    ASSERT_TRUE(WaitUntil([&] { return !failure.isEmpty(); }));
    EXPECT_TRUE(failure.contains("is not known")) << failure.toStdString();
    EXPECT_FALSE(testutil::Exists(server.ClientHome() + "/.ssh/known_hosts"));
    EXPECT_EQ(window.ResultModel().rowCount(), 0);
}

}  // namespace

namespace {

// Types `text` into the next password box and presses OK.
void TypeIntoNextBox(const QString& text, QString& prompt)
{
    testutil::OnNextModal([text, &prompt](QWidget* modal) {
        auto* label = modal->findChild<QLabel*>();
        auto* edit = modal->findChild<QLineEdit*>();
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!label || !edit || !dialog) {
            modal->close();
            return;
        }
        prompt = label->text();
        edit->setText(text);
        dialog->accept();
    });
}

TEST_F(SftpTrustWindow, AKeyWithAPassphraseIsAskedFor)
{
    testutil::SshServer::Options options;
    options.Passphrase = "open sesame";
    testutil::SshServer server(options);
    server.TrustHost();
    testutil::WriteFile(server.Root() + "/only-remote.txt", "r");
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    QString prompt;
    TypeIntoNextBox("open sesame", prompt);
    Compare(window, left, server.Location(server.Root()));
    EXPECT_TRUE(prompt.startsWith("Passphrase for a key in")) << prompt.toStdString();
    EXPECT_EQ(window.ResultModel().rowCount(), 1);
}

}  // namespace
