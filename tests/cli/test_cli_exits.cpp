// One exit-status table for every command (0 in line or done, 1 differences or failures, 2 usage
// errors and refusals that changed nothing, 130 stopped), and the ways a run is stopped from
// outside: SIGTERM and SIGHUP as Ctrl+C, and a reader that goes away (a closed pipe).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "side/kn_unitSideRules.h"
#include "tests/cli/cli_run.h"
#include "tests/common/temp_tree.h"

using clitest::RunCli;
using namespace testutil;

namespace {

// Enough files that the records of an update fill a pipe nobody reads.
constexpr int kManyFiles = 1500;

void MakeManyFiles(const std::string& folder)
{
    for (int i = 0; i < kManyFiles; ++i) WriteFile(folder + "/file-" + std::to_string(i) + ".txt", "some bytes");
}

// The program's temporary files left in `folder`.
int TemporariesIn(const std::string& folder)
{
    int n = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        n += kn::IsOwnTempName(entry.path().filename().string()) ? 1 : 0;
    return n;
}

}  // namespace

TEST(CliExits, OneTableForEveryCommand)
{
    TempDir dir;
    WriteFile(dir / "L/a.txt", "a");
    WriteFile(dir / "L/sub/b.txt", "b");
    WriteFile(dir / "R/gone.txt", "g");
    WriteFile(dir / "E1/same.txt", "s");
    WriteFile(dir / "E2/same.txt", "s");
    SetMTime(dir / "E1/same.txt", 1500000000);
    SetMTime(dir / "E2/same.txt", 1500000000);
    WriteFile(dir / "x.txt", "one\n");
    WriteFile(dir / "y.txt", "two\n");
    for (int i = 0; i < 12; ++i) WriteFile(dir / ("M/" + std::to_string(i) + ".txt"), "m");
    WriteFile(dir / "M/same.txt", "s");
    SetMTime(dir / "M/same.txt", 1500000000);
    const std::string l = dir / "L", r = dir / "R", e1 = dir / "E1", e2 = dir / "E2", many = dir / "M";
    ASSERT_EQ(symlink(l.c_str(), (dir / "alias").c_str()), 0);
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;  // on standard error
    };
    const Case cases[] = {
        {{"compare", e1, e2}, 0, "Found 0"},
        {{"compare", l, r}, 1, "Found 4"},
        {{"compare", "--filter", "", l, r}, 2, "--filter: give at least one pattern"},
        {{"compare", "--filter=;", l, r}, 2, "--filter"},
        {{"compare", "--format", "xml", l, r}, 2, "expected text, tsv or jsonl"},
        {{"compare", l, dir / "missing"}, 2, "missing"},
        {{"compare", l, l + "/sub"}, 2, "lies inside"},
        {{"compare", "--format", "jsonl", l, dir / "alias"}, 2, "are one folder"},
        {{"update", "--format", "jsonl", l, dir / "missing"}, 2, "does not exist"},
        {{"update", "--force", "--action", "left-to-right", e1, many}, 2, "12 of the 13 entries"},
        {{"update", e1, e2}, 0, "Done: 0 files copied"},
        {{"update", "--force", "--action", "left-to-right", l, l + "/sub"}, 2, "lies inside"},
        {{"update", "--force", "--action", "left-to-right", "--max-delete", "0", l, r}, 2, "--max-delete 0"},
        {{"update", "--quiet", "--format", "jsonl", "--dry-run", l, r}, 0, "Plan:"},
        {{"diff", dir / "x.txt", dir / "x.txt"}, 0, ""},
        {{"diff", "--format=jsonl", dir / "x.txt", dir / "y.txt"}, 1, "1 line modified"},
        {{"diff", "--format", "csv", dir / "x.txt", dir / "y.txt"}, 2, "--format"},
        {{"batch", "--config-dir", dir / "config", "Nope"}, 2, "no batch named"},
        {{"batch", "--config-dir", dir / "config", "--format", "jsonl"}, 2, "one batch name"},
    };
    for (const Case& c : cases) {
        auto result = RunCli(c.args);
        EXPECT_EQ(result.status, c.status) << c.args[0] << " " << c.args[1] << "\n" << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.args[1] << "\n" << result.err;
        // Every jsonl run that took its folders ends with its summary, refusals included.
        if (c.args[0] != "batch" && std::find(c.args.begin(), c.args.end(), "jsonl") != c.args.end()) {
            EXPECT_NE(result.out.find("\"type\":\"summary\""), std::string::npos) << c.args[1] << "\n" << result.out;
        }
    }
    EXPECT_TRUE(Exists(many + "/0.txt")) << "the guard deleted nothing";
    EXPECT_FALSE(Exists(r + "/a.txt")) << "no refusal wrote anything";
    EXPECT_FALSE(Exists(l + "/sub/sub"));
    EXPECT_TRUE(Exists(r + "/gone.txt"));
}

// A mistyped option or command is refused in two lines: the error, with the name meant where one
// is close, and where the help is. The usual short forms stand for their long options.
TEST(CliExits, MistypedOptionsSayWhatWasMeantAndShortFormsWork)
{
    TempDir dir;
    WriteFile(dir / "L/a.txt", "a");
    MakeDirs(dir / "R");
    WriteFile(dir / "x.txt", "x\n");
    const std::string l = dir / "L", r = dir / "R", x = dir / "x.txt";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case refused[] = {
        {{"update", "--dryrun", l, r},
         "kestrune-cli update: unknown option \"--dryrun\" (did you mean --dry-run?)\n"
         "See 'kestrune-cli update --help'.\n"},
        {{"compare", "--transfer", "2", l, r}, "kestrune-cli compare: unknown option \"--transfer\"\n"},
        {{"update", "--transfer", "2", l, r}, "(did you mean --transfers?)"},
        {{"batch", "--quite", "Nightly"}, "(did you mean --quiet?)"},
        {{"diff", "--recrods", x, x}, "kestrune-cli diff: unknown option \"--recrods\" (did you mean --records?)\n"},
        {{"diff", "-bx", x, x}, "kestrune-cli diff: unknown option letter \"x\" in \"-bx\"\n"},
        {{"comapre", l, r},
         "kestrune-cli: unknown command \"comapre\" (did you mean compare?)\nSee 'kestrune-cli --help'.\n"},
    };
    for (const Case& c : refused) {
        auto result = RunCli(c.args);
        EXPECT_EQ(result.status, 2) << c.args[1];
        EXPECT_NE(result.err.find(c.err), std::string::npos) << c.args[1] << "\n" << result.err;
        EXPECT_EQ(result.err.find("Usage:"), std::string::npos) << c.args[1] << "\n" << result.err;
    }
    auto dry = RunCli({"update", "-n", "-q", l, r});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out, "") << "quiet";
    EXPECT_NE(dry.err.find("Plan: 1 file to copy"), std::string::npos) << dry.err;
    EXPECT_FALSE(Exists(r + "/a.txt")) << "a dry run";
    EXPECT_EQ(RunCli({"-V"}).out.rfind("kestrune-cli ", 0), 0u);
    EXPECT_NE(RunCli({"update", "-h"}).out.find("-n, --dry-run"), std::string::npos);
}

// --progress writes its live line on a terminal (here a pseudo-terminal made by script(1)),
// never into a pipe.
TEST(CliExits, TheProgressLineShowsOnATerminalOnly)
{
    TempDir dir;
    WriteFile(dir / "L/a.txt", "a");
    MakeDirs(dir / "R");
    auto piped = RunCli({"update", "--progress", "--quiet", dir / "L", dir / "R"});
    EXPECT_EQ(piped.err.find("operations"), std::string::npos) << piped.err;
    WriteFile(dir / "L/b.txt", "b");
    const std::string command = "script -qec \"" + std::string(KESTRUNE_CLI) + " update --progress --quiet " +
                                dir / "L" + " " + dir / "R" + "\" " + dir / "typescript" + " </dev/null >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_NE(ReadFile(dir / "typescript").find("1/1 operations, 1 byte of 1 byte"), std::string::npos)
        << ReadFile(dir / "typescript");
}

// `kestrune-cli update ... | head -c 1`: the program is not killed by SIGPIPE half way through;
// it stops the run, ends quietly as common tools do and leaves no temporary file. Output that
// cannot be written for another reason (a full disk) is said. Every output is larger than a
// pipe holds, so the reader is gone while the program still writes.
TEST(CliExits, AClosedPipeStopsTheRunQuietly)
{
    TempDir dir;
    MakeManyFiles(dir / "L");
    MakeDirs(dir / "R");
    std::string many;
    for (int i = 0; i < 4000; ++i) many += "line " + std::to_string(i) + " of a longer file\n";
    WriteFile(dir / "x.txt", many);
    WriteFile(dir / "y.txt", "");
    const std::string l = "'" + dir / "L" + "' ", r = "'" + dir / "R" + "' ";
    struct Case {
        std::string args, sink;
        const char* said;  // on standard error; "" for nothing
    };
    const Case cases[] = {
        {"compare " + l + r, "| head -c 1 >/dev/null", ""},
        {"update --dry-run " + l + r, "| head -c 1 >/dev/null", ""},
        {"diff -u '" + dir / "x.txt" + "' '" + dir / "y.txt" + "'", "| head -c 1 >/dev/null", ""},
        {"update --format jsonl " + l + r, "| head -c 1 >/dev/null", ""},
        {"compare " + l + r, ">/dev/full", "kestrune-cli compare: standard output could not be written; stopped\n"},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "run.sh", std::string(KESTRUNE_CLI) + " " + c.args + " 2>'" + dir / "err" + "' </dev/null " +
                                      c.sink + "\necho ${PIPESTATUS[0]} >'" + dir / "status" + "'\n");
        ASSERT_EQ(std::system(("bash '" + dir / "run.sh" + "'").c_str()), 0);
        EXPECT_EQ(ReadFile(dir / "status"), "130\n") << c.args;
        EXPECT_EQ(ReadFile(dir / "err"), c.said) << c.args;
    }
    EXPECT_EQ(TemporariesIn(dir / "R"), 0);
}

// SIGTERM and SIGHUP stop an update as Ctrl+C does. The program is held still by a full pipe
// on its standard output, so the signal always comes while it runs.
TEST(CliExits, TermAndHangUpStopLikeControlC)
{
    TempDir dir;
    MakeManyFiles(dir / "L");
    for (int signal : {SIGTERM, SIGHUP}) {
        const std::string right = dir / ("R" + std::to_string(signal));
        MakeDirs(right);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, (dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string left = dir / "L";
        std::vector<std::string> args = {KESTRUNE_CLI, "update", "--format", "jsonl", left, right};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, KESTRUNE_CLI, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        int queued = 0;
        for (int tries = 0; tries < 600 && queued < 60000; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ioctl(out[0], FIONREAD, &queued);
        }
        ASSERT_GE(queued, 60000) << "the pipe filled";
        kill(pid, signal);
        char buffer[65536];
        while (read(out[0], buffer, sizeof buffer) > 0) {
        }
        close(out[0]);
        int raw = 0;
        ASSERT_EQ(waitpid(pid, &raw, 0), pid);
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 130) << "signal " << signal << ", status " << raw;
        EXPECT_NE(ReadFile(dir / "err").find("kestrune-cli update: stopped"), std::string::npos)
            << ReadFile(dir / "err");
        EXPECT_EQ(TemporariesIn(right), 0);
    }
}
