// The desktop program's command line: the expert switch, the compare and delete forms, their
// error boxes, and whether the program goes on.
#include <QAction>
#include <QLineEdit>
#include <filesystem>

#include "modal_script.h"
#include "updateui_support.h"

namespace updateui_test {
namespace {

using testutil::Exists;
using testutil::MakeDirs;
using testutil::ReadFile;
using testutil::WriteFile;

class CommandLine : public UpdateWindowTest {
protected:
    struct Outcome {
        bool goesOn;
        QStringList seen;
        QStringList unexpected;
    };

    Outcome Apply(kn::TKNMainForm& window, const QStringList& params, std::vector<ModalScript::Step> steps)
    {
        ModalScript script(std::move(steps));
        bool goesOn = window.ApplyCommandLine(params);
        EXPECT_TRUE(WaitIdle(window));
        return {goesOn, script.Seen, script.Unexpected};
    }
};

struct FormCase {
    const char* name;
    std::vector<const char*> params;  // "LEFT" stands for an existing folder, "NONE" for a missing one
    const char* box;                  // the error box shown, or null
    bool goesOn;
    bool expert;
};

const FormCase kForms[] = {
    {"NoParameters", {}, nullptr, true, false},
    {"ExpertAlone", {"/e"}, nullptr, true, true},
    {"ExpertUpperCase", {"/E"}, nullptr, true, true},
    {"SingleOtherIgnored", {"/x"}, nullptr, true, false},
    {"SingleFolderIgnored", {"LEFT"}, nullptr, true, false},
    {"ExpertWithFolder", {"/e", "LEFT"}, "Command line error!", true, true},
    {"UnknownSwitch", {"/x", "LEFT"}, "Command line error!", true, false},
    {"CompareTwoFolders", {"/o", "LEFT", "LEFT"}, "Too many compare parameters!", true, false},
    {"CompareMissingFolder", {"/O", "NONE"}, "Compare param must be a folder!", true, false},
    {"DeleteTwoFolders", {"/d", "LEFT", "LEFT"}, "Too many delete parameters!", false, false},
    {"DeleteMissingFolder", {"/D", "NONE"}, "Delete param must be a folder!", false, false},
};

void PrintTo(const FormCase& c, std::ostream* os)
{
    *os << c.name;
}

class CommandLineForms : public CommandLine, public ::testing::WithParamInterface<FormCase> {};

TEST_P(CommandLineForms, ShowTheirBoxAndGoOnOrEnd)
{
    const FormCase& c = GetParam();
    QStringList params;
    for (const char* p : c.params)
        params << (p == std::string("LEFT")   ? QString::fromStdString(left)
                   : p == std::string("NONE") ? QString::fromStdString(trees / "missing")
                                              : QString(p));
    WriteFile(left + "/keep.txt", "keep");
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Outcome outcome = Apply(window, params, c.box ? std::vector{ModalScript::Ok()} : std::vector<ModalScript::Step>{});
    EXPECT_EQ(outcome.goesOn, c.goesOn);
    EXPECT_EQ(window.IsExpertMode(), c.expert);
    EXPECT_EQ(window.FindAction("actHelpExpertMode")->isChecked(), c.expert) << "the check marks follow";
    if (c.box) {
        ASSERT_EQ(outcome.seen.size(), 1);
        EXPECT_EQ(outcome.seen[0], QString("error: ") + c.box);
    }
    EXPECT_TRUE(outcome.unexpected.isEmpty()) << outcome.unexpected.join("; ").toStdString();
    EXPECT_EQ(ReadFile(left + "/keep.txt"), "keep");
}

INSTANTIATE_TEST_SUITE_P(Forms, CommandLineForms, ::testing::ValuesIn(kForms),
                         [](const ::testing::TestParamInfo<FormCase>& row) { return std::string(row.param.name); });

TEST_F(CommandLine, CompareWithCancelledBrowseStartsNothing)
{
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    const QString leftBefore = window.edFolderLeft->text();
    const QString rightBefore = window.edFolderRight->text();
    Outcome outcome = Apply(window, {"/o", QString::fromStdString(left)}, {ModalScript::Browse({})});
    EXPECT_TRUE(outcome.goesOn);
    ASSERT_EQ(outcome.seen.size(), 1);
    EXPECT_EQ(outcome.seen[0], "browse: Browse for right folder.");
    EXPECT_EQ(window.edFolderLeft->text(), leftBefore);
    EXPECT_EQ(window.edFolderRight->text(), rightBefore);
    EXPECT_EQ(window.ResultModel().rowCount(), 0);
}

TEST_F(CommandLine, ComparePicksTheRightFolderAndCompares)
{
    WriteFile(left + "/only.txt", "x");
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Outcome outcome =
        Apply(window, {"/o", QString::fromStdString(left)}, {ModalScript::Browse(QString::fromStdString(right))});
    EXPECT_TRUE(outcome.goesOn);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.edFolderLeft->text().toStdString(), left);
    EXPECT_EQ(window.edFolderRight->text().toStdString(), right);
    EXPECT_EQ(window.ResultModel().rowCount(), 1);
}

// A folder to delete beside things that must survive: a sibling, a file in the parent, and a
// folder outside that a link inside the deleted folder points to.
class CommandLineDelete : public CommandLine {
protected:
    void SetUp() override
    {
        CommandLine::SetUp();
        victim = trees / "victim";
        WriteFile(victim + "/a.txt", "a");
        WriteFile(victim + "/sub/deep/b.txt", "b");
        MakeDirs(victim + "/empty");
        WriteFile(trees / "outside/kept.txt", "kept");
        std::filesystem::create_directory_symlink(trees / "outside", victim + "/link");
        WriteFile(trees / "sibling/s.txt", "s");
        WriteFile(trees / "parent.txt", "p");
    }

    void ExpectSurroundingsIntact()
    {
        EXPECT_EQ(ReadFile(trees / "outside/kept.txt"), "kept") << "a link's target is never entered";
        EXPECT_EQ(ReadFile(trees / "sibling/s.txt"), "s");
        EXPECT_EQ(ReadFile(trees / "parent.txt"), "p");
        EXPECT_TRUE(Exists(left)) << "the fixture's other folders stay";
    }

    std::string victim;
};

TEST_F(CommandLineDelete, YesAndOkDeleteTheContentsAndTheFolderOnly)
{
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Outcome outcome =
        Apply(window, {"/d", QString::fromStdString(victim)}, {ModalScript::Yes(), ModalScript::Confirm()});
    EXPECT_FALSE(outcome.goesOn) << "the program ends after a delete";
    ASSERT_EQ(outcome.seen.size(), 2) << outcome.seen.join("; ").toStdString();
    EXPECT_EQ(outcome.seen[0], "question: Are you sure to delete all files and folders?");
    EXPECT_EQ(outcome.seen[1].toStdString(), "confirm: " + victim + " | CC: | Right to Left, All Files, Force Update");
    EXPECT_TRUE(outcome.unexpected.isEmpty()) << outcome.unexpected.join("; ").toStdString();
    EXPECT_FALSE(Exists(victim));
    EXPECT_FALSE(Exists("CC:")) << "the right side names no folder and gets nothing";
    ExpectSurroundingsIntact();
}

TEST_F(CommandLineDelete, RelativeFolderIsTakenFromTheWorkingFolder)
{
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(trees.path());
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Outcome outcome = Apply(window, {"/d", "victim"}, {ModalScript::Yes(), ModalScript::Confirm()});
    std::filesystem::current_path(before);
    EXPECT_FALSE(outcome.goesOn);
    ASSERT_EQ(outcome.seen.size(), 2);
    EXPECT_TRUE(outcome.seen[1].startsWith("confirm: " + QString::fromStdString(victim) + " | "))
        << outcome.seen[1].toStdString();
    EXPECT_FALSE(Exists(victim));
    ExpectSurroundingsIntact();
}

TEST_F(CommandLineDelete, NoOrCancelChangesNothing)
{
    for (auto steps : {std::vector{ModalScript::No()}, std::vector{ModalScript::Yes(), ModalScript::CancelDialog()}}) {
        auto config = OpenConfig();
        kn::TKNMainForm window(*config);
        Outcome outcome = Apply(window, {"/d", QString::fromStdString(victim)}, steps);
        EXPECT_FALSE(outcome.goesOn);
        EXPECT_FALSE(window.IsBusy());
        EXPECT_EQ(ReadFile(victim + "/a.txt"), "a");
        EXPECT_EQ(ReadFile(victim + "/sub/deep/b.txt"), "b");
        EXPECT_TRUE(Exists(victim + "/empty"));
        ExpectSurroundingsIntact();
    }
}

TEST_F(CommandLineDelete, LinkToAFolderIsRefused)
{
    std::filesystem::create_directory_symlink(victim, trees / "alias");
    auto config = OpenConfig();
    kn::TKNMainForm window(*config);
    Outcome outcome = Apply(window, {"/d", QString::fromStdString(trees / "alias")}, {ModalScript::Ok()});
    EXPECT_FALSE(outcome.goesOn);
    ASSERT_EQ(outcome.seen.size(), 1);
    EXPECT_EQ(outcome.seen[0], "error: Delete param must be a folder!");
    EXPECT_EQ(ReadFile(victim + "/a.txt"), "a");
}

}  // namespace
}  // namespace updateui_test
