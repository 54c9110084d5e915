// The differences window beyond showing: encodings per side, marks inside modified lines,
// ignore settings, search and the overview strip, copying changes, editing, undo, saving in the
// file's own encoding and line ends, asking before closing, windows that are not modal, and a
// side on a server saved back through its side.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <filesystem>

#include "tests/common/ftp_server.h"
#include "tests/common/temp_tree.h"
#include "tests/framework_qt/modal_helper.h"
#include "ui/kn_frmShowDifferences.h"

namespace {

using kn::TKNShowDifferencesForm;

std::string Utf16Le(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
}

kn::TDiffWindowSettings StripCr()
{
    kn::TDiffWindowSettings settings;
    settings.Ignore.TrailingCR = true;
    return settings;
}

class DifferencesEditing : public ::testing::Test {
protected:
    void Load(const std::string& left, const std::string& right)
    {
        testutil::WriteFile(dir / "left.txt", left);
        testutil::WriteFile(dir / "right.txt", right);
        QString error;
        ASSERT_TRUE(form.LoadFiles(Name("left.txt"), Name("right.txt"), error)) << error.toStdString();
        Wait(form);
    }

public:
    static void Wait(const TKNShowDifferencesForm& f)
    {
        while (f.Comparing()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(1);
        }
    }

protected:
    QString Name(const std::string& file) const { return QString::fromStdString(dir / file); }

    testutil::TempDir dir;
    TKNShowDifferencesForm form;
};

TEST_F(DifferencesEditing, EachSideIsDecodedAndShowsItsEncodingAndLineEnds)
{
    Load(Utf16Le("Caf\xE9\r\nsecond\r\n"), "Caf\xC3\xA9\nsecond\n");
    EXPECT_EQ(form.LeftView()->Lines().Get(0), "Caf\xC3\xA9");
    EXPECT_TRUE(form.SideHeader(true).contains("UTF-16 LE")) << form.SideHeader(true).toStdString();
    EXPECT_TRUE(form.SideHeader(true).contains("CR LF"));
    EXPECT_TRUE(form.SideHeader(false).contains("UTF-8"));
    EXPECT_TRUE(form.Summary().contains("2 lines modified"))
        << "CR LF against LF counts" << form.Summary().toStdString();
    EXPECT_TRUE(form.Summary().contains("The encodings differ."));

    form.SetSettings(StripCr());
    Wait(form);
    EXPECT_TRUE(form.Summary().startsWith("No differences.")) << form.Summary().toStdString();
    kn::TDiffWindowSettings badPattern = StripCr();
    badPattern.Ignore.Patterns = {"a\\{1"};
    form.SetSettings(badPattern);
    Wait(form);
    EXPECT_TRUE(form.Summary().startsWith("Invalid regular expression")) << form.Summary().toStdString();
    form.SetSettings(StripCr());
    Wait(form);

    // Reading the right side as Latin-1 shows its UTF-8 bytes as two characters.
    ASSERT_TRUE(form.SetSideEncoding(false, kn::TTextEncoding::Latin1));
    Wait(form);
    EXPECT_EQ(form.RightView()->Lines().Get(0), "Caf\xC3\x83\xC2\xA9");
    EXPECT_TRUE(form.SideHeader(false).contains("Latin-1"));
}

TEST_F(DifferencesEditing, ModifiedLinesMarkWhatChangedInside)
{
    Load("keep\nthe quick brown fox\n", "keep\nthe quick red fox\n");
    EXPECT_TRUE(form.LeftView()->Lines().Marks(0).empty());
    EXPECT_EQ(form.LeftView()->Lines().Marks(1), (std::vector<kn::TInlineMark>{{10, 5}}));
    EXPECT_EQ(form.RightView()->Lines().Marks(1), (std::vector<kn::TInlineMark>{{10, 3}}));
}

TEST_F(DifferencesEditing, FindAndTheOverviewStripMoveBothViews)
{
    std::string text;
    for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + "\n";
    Load(text, text + "needle\n");
    form.resize(700, 400);
    form.show();
    form.LeftView()->setFocus();
    EXPECT_FALSE(form.Find("NEEDLE")) << "the left side has none, all the way round";
    form.RightView()->setFocus();
    EXPECT_TRUE(form.Find("NEEDLE"));
    EXPECT_EQ(form.RightView()->CaretY(), 400);
    EXPECT_EQ(form.LeftView()->TopLine(), form.RightView()->TopLine());
    EXPECT_FALSE(form.Find("absent"));
    form.ShowOverviewPoint(5000);
    EXPECT_NEAR(form.LeftView()->TopLine() + form.LeftView()->VisibleLines() / 2, 200, 2);
    EXPECT_EQ(form.RightView()->TopLine(), form.LeftView()->TopLine());
}

// Copying, typing, undo and redo change the texts; saving keeps each file's encoding, byte-order
// mark and line ends, and goes through a whole new file.
TEST_F(DifferencesEditing, CopyEditUndoAndSaveKeepTheFilesFormat)
{
    Load(Utf16Le("one\r\ntwo\r\nthree\r\n"), "one\nTWO\nthree\nfour\n");
    form.SetSettings(StripCr());
    Wait(form);
    form.show();
    form.RightView()->setFocus();
    form.RightView()->MoveCaretTo(0, 1);
    ASSERT_TRUE(form.CopyChange(false));  // TWO to the left
    EXPECT_EQ(form.SideText(true), "one\r\nTWO\r\nthree\r\n");
    form.RightView()->MoveCaretTo(0, 3);
    ASSERT_TRUE(form.CopyChange(false));  // the added line "four"
    EXPECT_EQ(form.SideText(true), "one\r\nTWO\r\nthree\r\nfour\r\n");
    EXPECT_TRUE(form.Summary().startsWith("No differences.")) << form.Summary().toStdString();

    ASSERT_TRUE(form.Undo());
    EXPECT_EQ(form.SideText(true), "one\r\nTWO\r\nthree\r\n");
    ASSERT_TRUE(form.Redo());

    form.LeftView()->setFocus();
    form.LeftView()->MoveCaretTo(0, 0);
    form.LeftView()->InsertText("new ");
    form.CommitEdits();
    EXPECT_EQ(form.SideText(true), "new one\r\nTWO\r\nthree\r\nfour\r\n");
    EXPECT_TRUE(form.SideModified(true));
    EXPECT_FALSE(form.SideModified(false));
    EXPECT_TRUE(form.windowTitle().startsWith("*left.txt - right.txt")) << form.windowTitle().toStdString();

    ASSERT_TRUE(form.SaveChanges());
    EXPECT_EQ(testutil::ReadFile(dir / "left.txt"), Utf16Le("new one\r\nTWO\r\nthree\r\nfour\r\n"));
    EXPECT_EQ(testutil::ReadFile(dir / "right.txt"), "one\nTWO\nthree\nfour\n");
    EXPECT_FALSE(form.SideModified(true));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2u) << "no temporary file is left";
}

TEST_F(DifferencesEditing, ClosingWithUnsavedChangesAsksFirst)
{
    Load("a\n", "b\n");
    form.show();
    form.RightView()->MoveCaretTo(0, 0);
    ASSERT_TRUE(form.CopyChange(true));
    struct Answer {
        QMessageBox::StandardButton button;
        bool closed;
        std::string right;
    } answers[] = {{QMessageBox::Cancel, false, "b\n"}, {QMessageBox::Save, true, "a\n"}};
    for (const Answer& answer : answers) {
        bool asked = false;
        testutil::OnNextModal([&](QWidget* box) {
            asked = true;
            static_cast<QMessageBox*>(box)->button(answer.button)->click();
        });
        form.show();
        EXPECT_EQ(form.close(), answer.closed);
        EXPECT_TRUE(asked);
        EXPECT_EQ(testutil::ReadFile(dir / "right.txt"), answer.right);
    }
}

// Several windows at once, none modal; each hands back its settings when it closes.
TEST(DifferencesWindows, AreNotModalAndHandBackTheirSettings)
{
    testutil::TempDir dir;
    const auto side = [&](const char* file) {
        const QString name = QString::fromStdString(dir / file);
        return kn::TDiffSideSource{name, name, {}};
    };
    testutil::WriteFile(dir / "a.txt", "a\n");
    testutil::WriteFile(dir / "b.txt", "b\n");
    testutil::WriteFile(dir / "c.txt", "c\n");
    std::vector<kn::TDiffWindowSettings> closed;
    auto onClosed = [&closed](QSize, const kn::TDiffWindowSettings& s) { closed.push_back(s); };
    kn::TDiffWindowSettings settings;
    settings.Ignore.Case = true;
    settings.Ignore.Patterns = {"^#"};
    settings.ShowWhitespace = true;
    QPointer<TKNShowDifferencesForm> first =
        kn::ShowFileDifferences(nullptr, side("a.txt"), side("c.txt"), {}, settings, onClosed);
    QPointer<TKNShowDifferencesForm> second =
        kn::ShowFileDifferences(nullptr, side("a.txt"), side("b.txt"), {}, {}, onClosed);
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->isVisible() && second->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(first->LeftView()->ShowWhitespace());

    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].Ignore, settings.Ignore);
    EXPECT_TRUE(closed[0].ShowWhitespace);
    EXPECT_TRUE(second->isVisible());
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(closed.size(), 2u);
}

// Answers the next question box with the button of `text`, letting the boxes that only say
// what is being done (fetching, saving) pass; sets `asked` when it has answered.
void AnswerNextQuestion(const QString& text, bool& asked)
{
    testutil::OnNextModal([text, &asked](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return AnswerNextQuestion(text, asked);
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove('&') != text) continue;
            asked = true;
            button->click();
        }
    });
}

// A file on a server is fetched through its side, edited and saved back there in its own line
// ends. Once the server's file has changed, a save asks first: cancelling or reloading leaves
// the server's file (a reload keeps the edit one Undo away); saving over it replaces it.
TEST(DifferencesWindows, AServerSideIsEditableAndSavesThroughItsSide)
{
    testutil::FtpServer server;
    testutil::TempDir dir;
    testutil::WriteFile(dir / "a.txt", "one\nTWO\n");
    const std::string onServer = server.Root() + "/site/r.txt";
    std::filesystem::create_directory(server.Root() + "/site");
    testutil::WriteFile(onServer, "one\r\ntwo\r\n");
    kn::TDiffSideSource remote{{}, QStringLiteral("ftp://tester@127.0.0.1/site/r.txt"), kn::TKNSideFile()};
    remote.Server->Location = server.Location("/site");
    remote.Server->Path = kn::TKNSidePath().Child("r.txt");
    TKNShowDifferencesForm form;
    QString error;
    const QString local = QString::fromStdString(dir / "a.txt");
    ASSERT_TRUE(form.LoadSides({local, local, {}}, remote, error)) << error.toStdString();
    DifferencesEditing::Wait(form);
    form.show();
    EXPECT_FALSE(form.RightView()->ReadOnly());
    form.LeftView()->setFocus();
    form.LeftView()->MoveCaretTo(0, 1);
    ASSERT_TRUE(form.CopyChange(true));
    ASSERT_TRUE(form.SaveChanges());
    EXPECT_EQ(testutil::ReadFile(onServer), "one\r\nTWO\r\n");

    const std::string ours = "xone\r\nTWO\r\n";
    form.RightView()->setFocus();
    form.RightView()->MoveCaretTo(0, 0);
    form.RightView()->InsertText("x");
    form.CommitEdits();
    struct Answer {
        QString button;
        bool saved;
    } answers[] = {{"Cancel", false}, {"Reload", false}, {"Save Over It", true}};
    std::string theirs = "theirs\r\n";
    for (const Answer& answer : answers) {
        theirs += "more\r\n";
        testutil::WriteFile(onServer, theirs);
        bool asked = false;
        AnswerNextQuestion(answer.button, asked);
        EXPECT_EQ(form.SaveChanges(), answer.saved) << answer.button.toStdString();
        EXPECT_TRUE(asked) << answer.button.toStdString();
        EXPECT_EQ(testutil::ReadFile(onServer), answer.saved ? ours : theirs) << answer.button.toStdString();
        if (answer.button == "Reload") {
            EXPECT_EQ(form.SideText(false), theirs);
            ASSERT_TRUE(form.Undo());
        }
        EXPECT_EQ(form.SideText(false), ours);
    }
}

}  // namespace
