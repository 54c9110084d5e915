// The main window never shows the password of an FTP location: a comparison, an update and a
// failed comparison against a real server on loopback, with every text the window and its boxes
// show collected on the way (caption, status bar, list captions and cells, tool tips, boxes and
// the confirmation dialog) and the differences window of a server file. Only the folder fields,
// where the user types the location, hold it.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "tests/common/ftp_server.h"
#include "tests/ui/ui_test_support.h"
#include "ui/kn_frmShowDifferences.h"
#include "ui/kn_unitResultModel.h"

namespace {

using testutil::MainWindowTest;
using testutil::WaitUntil;

const char* const kPassword = "pw-3xq7-secret";

// The texts a widget tree shows, its folder fields (typed input) aside.
void CollectTexts(QWidget* root, const std::vector<QWidget*>& inputs, QStringList& texts)
{
    texts << root->windowTitle() << root->toolTip();
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (std::find(inputs.begin(), inputs.end(), widget) != inputs.end()) continue;
        texts << widget->toolTip() << widget->statusTip() << widget->windowTitle();
        if (auto* label = qobject_cast<QLabel*>(widget)) texts << label->text();
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) texts << edit->text();
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) texts << button->text();
    }
    if (auto* box = qobject_cast<QMessageBox*>(root)) texts << box->text() << box->informativeText();
}

void CollectList(kn::TKNResultModel& model, QStringList& texts)
{
    for (int column = 0; column < model.columnCount(); ++column) {
        texts << model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        for (int row = 0; row < model.rowCount(); ++row)
            for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole)})
                texts << model.data(model.index(row, column), role).toString();
    }
}

class PasswordsInWindow : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        setenv("KESTRUNE_HOME", home.path().c_str(), 1);
        testutil::FtpServer::Options options;
        options.Password = kPassword;
        server = std::make_unique<testutil::FtpServer>(options);
        for (const char* name : {"a/one.txt", "a/b/two.txt", "c/three.txt", "top.txt"})
            testutil::WriteFile(server->Root() + "/www/" + name, name);
        testutil::WriteFile(left + "/local-only.txt", "l");
        config = OpenConfig();
        window = std::make_unique<kn::TKNMainForm>(*config);
        inputs = {window->edFolderLeft, window->edFolderRight};
        boxAnswerer.setInterval(5);
        QObject::connect(&boxAnswerer, &QTimer::timeout, [this] { AnswerBox(); });
        boxAnswerer.start();
    }
    void TearDown() override
    {
        boxAnswerer.stop();
        unsetenv("KESTRUNE_HOME");
    }

    // Sets the folders and runs `command`, collecting what the window shows while it is busy
    // and once it is done, and the text of every box that opens.
    void Run(const std::string& rightFolder, const char* command)
    {
        window->edFolderLeft->setText(QString::fromStdString(left));
        window->edFolderRight->setText(QString::fromStdString(rightFolder));
        window->FindAction(command)->trigger();
        ASSERT_TRUE(WaitUntil([&] {
            CollectTexts(window.get(), inputs, texts);
            return !window->IsBusy();
        })) << command;
        WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }, 2000);
        CollectTexts(window.get(), inputs, texts);
        CollectList(window->ResultModel(), texts);
    }

    // Every box and dialog: its texts are kept, then it is accepted (the confirmation) or closed.
    void AnswerBox()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == answered) return;
        answered = modal;
        ++boxes;
        CollectTexts(modal, {}, texts);
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && !qobject_cast<QMessageBox*>(modal))
            dialog->accept();
        else
            modal->close();
    }

    void ExpectNoPassword(const char* what)
    {
        EXPECT_FALSE(texts.isEmpty());
        for (const QString& text : texts) EXPECT_FALSE(text.contains(kPassword)) << what << ": " << text.toStdString();
    }

    std::unique_ptr<testutil::FtpServer> server;
    std::unique_ptr<kn::TKNConfig> config;
    std::unique_ptr<kn::TKNMainForm> window;
    std::vector<QWidget*> inputs;
    QStringList texts;
    int boxes = 0;
    QTimer boxAnswerer;
    QPointer<QWidget> answered;
};

TEST_F(PasswordsInWindow, AComparisonAndAnUpdateShowOnlyTheUser)
{
    // The zone is of no effect on this MLSD server, but is shown with the location.
    const std::string www = server->Location("/www") + ";tz=+0100";
    ASSERT_NE(www.find(kPassword), std::string::npos) << "the location holds the password";
    Run(www, "actCompareCompare");
    EXPECT_EQ(window->ResultModel().rowCount(), 8) << "one local file, three server folders and four files";
    ExpectNoPassword("comparison");

    texts.clear();
    Run(www, "actCompareUpdate");
    EXPECT_GE(boxes, 1) << "the confirmation was shown";
    EXPECT_TRUE(testutil::Exists(server->Root() + "/www/local-only.txt") || testutil::Exists(left + "/top.txt"))
        << "the update copied";
    const QString shown = QString::fromStdString("ftp://" + server->User() +
                                                 "@127.0.0.1:" + std::to_string(server->Port()) + "/www;tz=+0100");
    EXPECT_TRUE(texts.contains(shown)) << "the confirmation names the server without the password, with its zone";
    ExpectNoPassword("update");
}

TEST_F(PasswordsInWindow, AFailedComparisonsBoxShowsOnlyTheUser)
{
    Run(server->Location("/missing"), "actCompareCompare");
    ASSERT_EQ(boxes, 1) << "the comparison's failure box";
    EXPECT_TRUE(texts.filter("The comparison failed.").size() > 0) << texts.join("\n").toStdString();
    ExpectNoPassword("failure");
}

TEST_F(PasswordsInWindow, AnUntrustedFtpsServersQuestionShowsOnlyTheUser)
{
    testutil::TempDir certs;
    testutil::MakeCertificate(certs.path(), "kestrune-test.invalid");
    testutil::FtpServer::Options options;
    options.Password = kPassword;
    options.TlsCert = certs / "cert.pem";
    options.TlsKey = certs / "key.pem";
    testutil::FtpServer tls(options);
    Run(tls.Location("/"), "actCompareCompare");
    EXPECT_EQ(boxes, 2) << "the question, then the failure once it is answered No";
    ExpectNoPassword("trust");
}

// The differences of a pair with a file on the server: the window names the server without the
// password, and a save goes back through the side of the location, its options included.
TEST_F(PasswordsInWindow, TheDifferencesOfAServerFileShowOnlyTheUserAndSaveThere)
{
    testutil::WriteFile(left + "/top.txt", "local top\n");
    Run(server->Location("/www") + ";tz=+0100", "actCompareCompare");
    boxAnswerer.stop();  // the boxes of fetching and saving must run their course
    kn::TKNResultModel& model = window->ResultModel();
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.CellText(row, 0) == "top.txt")
            window->ListViewFiles->selectionModel()->select(
                model.index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    window->FindAction("actCompareShowDifferences")->trigger();
    kn::TKNShowDifferencesForm* form = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* shown = qobject_cast<kn::TKNShowDifferencesForm*>(widget); shown && shown->isVisible()) form = shown;
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !form->Comparing(); }));
    texts.clear();
    CollectTexts(form, {}, texts);
    ExpectNoPassword("differences");
    EXPECT_TRUE(form->SideHeader(false).startsWith(QString::fromStdString(
        "ftp://" + server->User() + "@127.0.0.1:" + std::to_string(server->Port()) + "/www/top.txt")))
        << form->SideHeader(false).toStdString();
    form->LeftView()->setFocus();
    form->LeftView()->MoveCaretTo(0, 0);
    ASSERT_TRUE(form->CopyChange(true));
    ASSERT_TRUE(form->SaveChanges());
    EXPECT_EQ(testutil::ReadFile(server->Root() + "/www/top.txt"), "local top") << "still without a final break";
    form->close();
}

}  // namespace
