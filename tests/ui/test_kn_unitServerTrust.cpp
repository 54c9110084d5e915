// The main window with a remote side whose server is not trusted yet: an SFTP host not known
// (a real sshd on loopback) or an FTPS certificate the system does not trust (pyftpdlib with a
// certificate made for the test). It asks with the fingerprint; yes records it and compares
// again, no records nothing, and a changed recorded one is only warned about.
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "tests/common/ftp_server.h"
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

// An FTPS server with a self-signed certificate, and a settings folder of the test's own, in
// which known_servers is written.
class FtpsTrustWindow : public SftpTrustWindow {
protected:
    void SetUp() override
    {
        SftpTrustWindow::SetUp();
        setenv("KESTRUNE_HOME", home.path().c_str(), 1);
        fingerprint = testutil::MakeCertificate(certs.path(), "kestrune-test.invalid");
        testutil::FtpServer::Options options;
        options.TlsCert = certs / "cert.pem";
        options.TlsKey = certs / "key.pem";
        server = std::make_unique<testutil::FtpServer>(options);
        testutil::WriteFile(server->Root() + "/www/only-remote.txt", "r");
        key = "127.0.0.1:" + std::to_string(server->Port());
    }
    void TearDown() override { unsetenv("KESTRUNE_HOME"); }

    std::string KnownServers() const { return testutil::ReadFile(home / "known_servers"); }

    testutil::TempDir certs;
    std::unique_ptr<testutil::FtpServer> server;
    std::string fingerprint, key;
};

TEST_F(FtpsTrustWindow, YesRecordsTheFingerprintAndComparesAgain)
{
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Answer(QMessageBox::Yes);
    Compare(window, left, server->Location("/www"));
    ASSERT_TRUE(WaitUntil([&] { return !window.IsBusy() && window.ResultModel().rowCount() == 1; }))
        << "no second comparison listed the remote file";
    EXPECT_TRUE(question.contains(QString::fromStdString(fingerprint))) << question.toStdString();
    EXPECT_TRUE(question.contains(QString::fromStdString(key + " is not trusted"))) << question.toStdString();
    EXPECT_EQ(KnownServers(), key + " " + fingerprint + "\n");
}

TEST_F(FtpsTrustWindow, NoRecordsNothingAndTheComparisonFails)
{
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Answer(QMessageBox::No, true);
    Compare(window, left, server->Location("/www"));
    ASSERT_TRUE(WaitUntil([&] { return !failure.isEmpty(); }));
    EXPECT_TRUE(failure.contains("is not trusted")) << failure.toStdString();
    EXPECT_FALSE(testutil::Exists(home / "known_servers"));
    EXPECT_EQ(window.ResultModel().rowCount(), 0);
}

TEST_F(FtpsTrustWindow, AChangedCertificateIsWarnedAboutAndNeverRecorded)
{
    const std::string other = key + " sha256:" + std::string(64, 'a') + "\n";
    testutil::WriteFile(home / "known_servers", other);
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    int boxes = 0;
    testutil::OnNextModal([&](QWidget* modal) {
        ++boxes;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) failure = box->text();
        modal->close();
    });
    Compare(window, left, server->Location("/www"));
    ASSERT_TRUE(WaitUntil([&] { return !failure.isEmpty(); }));
    EXPECT_TRUE(failure.contains("WARNING: the certificate of " + QString::fromStdString(key)))
        << failure.toStdString();
    EXPECT_TRUE(failure.contains(QString::fromStdString(fingerprint))) << failure.toStdString();
    EXPECT_EQ(boxes, 1) << "no question follows the warning";
    EXPECT_EQ(KnownServers(), other);
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
