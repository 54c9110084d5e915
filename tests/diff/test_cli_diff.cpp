// kestrune-cli diff run as a program: its output, records and exit statuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <random>
#include <thread>

#include "tests/common/temp_tree.h"

namespace {

struct CliOutput {
    int status;
    std::string out, err;
};

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CliOutput Cli(const testutil::TempDir& dir, const std::string& args)
{
    const std::string out = dir / "stdout.txt", err = dir / "stderr.txt";
    const int raw = std::system(
        (std::string(KESTRUNE_CLI) + " diff " + args + " > " + Quote(out) + " 2> " + Quote(err) + " < /dev/null")
            .c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, testutil::ReadFile(out), testutil::ReadFile(err)};
}

TEST(CliDiffTest, CountsRecordsAndStatuses)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "a.txt", "a\nb\nc\na\nb\nb\na\n");
    testutil::WriteFile(dir / "b.txt", "c\r\nb\r\na\r\nb\r\na\r\nc");
    testutil::WriteFile(dir / "same.txt", "a\rb\rc\ra\rb\rb\ra\r");
    const std::string a = Quote(dir / "a.txt"), b = Quote(dir / "b.txt");

    CliOutput r = Cli(dir, "--strip-trailing-cr " + a + " " + b);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "1 line added, 1 line modified, 2 lines deleted.\n");

    r = Cli(dir, "--records --strip-trailing-cr " + a + " " + b);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "modify\t0\t0\t1\ndelete\t2\t0\t1\ndelete\t4\t0\t1\nadd\t7\t5\t1\n"
              "1 line added, 1 line modified, 2 lines deleted.\n");

    r = Cli(dir, a + " " + Quote(dir / "same.txt"));
    EXPECT_EQ(r.status, 1) << "lines are compared with their breaks";
    r = Cli(dir, "--records --strip-trailing-cr " + a + " " + Quote(dir / "same.txt"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "No differences.\n");
}

// The same text in another encoding is no difference, and the summary says what differs.
TEST(CliDiffTest, EncodingsAreDecodedBeforeComparing)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "utf8.txt", "Caf\xC3\xA9\n");
    testutil::WriteFile(dir / "latin1.txt", "Caf\xE9\n");
    testutil::WriteFile(dir / "utf16.txt", std::string("\xFF\xFE"
                                                       "C\0a\0f\0\xE9\0\n\0",
                                                       12));
    for (const char* other : {"latin1.txt", "utf16.txt"}) {
        CliOutput r = Cli(dir, Quote(dir / "utf8.txt") + " " + Quote(dir / other));
        EXPECT_EQ(r.status, 0) << other;
        EXPECT_NE(r.out.find("the encodings differ (UTF-8, "), std::string::npos) << r.out;
    }
}

TEST(CliDiffTest, ErrorsNameTheFileAndTheReason)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "a.txt", "a\n");
    CliOutput r = Cli(dir, Quote(dir / "a.txt") + " " + Quote(dir / "missing.txt"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    EXPECT_EQ(Cli(dir, Quote(dir / "a.txt")).status, 2) << "one file is not enough";
    EXPECT_EQ(Cli(dir, "--bogus " + Quote(dir / "a.txt") + " " + Quote(dir / "a.txt")).status, 2);
}

TEST(CliDiffTest, EmptyFileAgainstLines)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "empty.txt", "");
    testutil::WriteFile(dir / "two.txt", "x\ny\n");
    CliOutput r = Cli(dir, "--records " + Quote(dir / "empty.txt") + " " + Quote(dir / "two.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "add\t0\t0\t2\n2 lines added, 0 lines modified, 0 lines deleted.\n");
}

// `lines` random lines from an alphabet of `alphabet` distinct ones.
std::string RandomText(std::mt19937& rng, int lines, int alphabet)
{
    std::string text;
    for (int i = 0; i < lines; ++i) text += "line " + std::to_string(rng() % static_cast<unsigned>(alphabet)) + "\n";
    return text;
}

TEST(CliDiffTest, HugeEditDistanceIsApproximateUnlessMinimal)
{
    testutil::TempDir dir;
    std::mt19937 rng(3);
    testutil::WriteFile(dir / "a.txt", RandomText(rng, 8000, 26));
    testutil::WriteFile(dir / "b.txt", RandomText(rng, 8000, 26));
    const std::string files = Quote(dir / "a.txt") + " " + Quote(dir / "b.txt");
    CliOutput approximate = Cli(dir, files);
    EXPECT_EQ(approximate.status, 1) << approximate.err;
    EXPECT_NE(approximate.out.find(" lines deleted. (approximate)\n"), std::string::npos) << approximate.out;

    testutil::WriteFile(dir / "c.txt", RandomText(rng, 300, 4));
    testutil::WriteFile(dir / "d.txt", RandomText(rng, 300, 4));
    CliOutput minimal = Cli(dir, "--minimal " + Quote(dir / "c.txt") + " " + Quote(dir / "d.txt"));
    EXPECT_EQ(minimal.status, 1) << minimal.err;
    EXPECT_EQ(minimal.out.find("approximate"), std::string::npos) << minimal.out;
}

TEST(CliDiffTest, SpecialAndOversizedInputsAreRefused)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "a.txt", "a\n");
    testutil::WriteFile(dir / "big.txt", std::string(5000, 'x'));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    struct Row {
        const char* name;
        std::string args, message;
    } rows[] = {
        {"named pipe, never waited on", Quote(dir / "fifo") + " " + Quote(dir / "a.txt"),
         "Not a regular file but a named pipe."},
        {"endless device", "/dev/zero " + Quote(dir / "a.txt"), "Not a regular file but a device."},
        {"folder", Quote(dir.path()) + " " + Quote(dir / "a.txt"), "Is a directory"},
        {"above --max-size", "--max-size 4K " + Quote(dir / "big.txt") + " " + Quote(dir / "a.txt"),
         "larger than the limit of 4 KiB."},
        {"bad --max-size", "--max-size lots " + Quote(dir / "a.txt") + " " + Quote(dir / "a.txt"),
         "--max-size needs a size"},
    };
    for (const Row& row : rows) {
        CliOutput r = Cli(dir, row.args);
        EXPECT_EQ(r.status, 2) << row.name;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << row.name << ": " << r.err;
    }
    CliOutput r = Cli(dir, "--max-size 5000 " + Quote(dir / "big.txt") + " " + Quote(dir / "a.txt"));
    EXPECT_EQ(r.status, 1) << "exactly at the limit: " << r.err;
}

// Ctrl+C during a search that would take minutes: the command stops and says so.
TEST(CliDiffTest, InterruptStopsALongDiff)
{
    testutil::TempDir dir;
    std::mt19937 rng(9);
    testutil::WriteFile(dir / "a.txt", RandomText(rng, 200000, 2));
    testutil::WriteFile(dir / "b.txt", RandomText(rng, 200000, 3));
    const std::string err = dir / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string a = dir / "a.txt", b = dir / "b.txt";
    const char* argv[] = {KESTRUNE_CLI, "diff", "--minimal", a.c_str(), b.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, KESTRUNE_CLI, &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(pid, SIGINT);
    // Far longer than a stop takes, far shorter than the search.
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "still running after the interrupt";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal instead of stopping";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_NE(testutil::ReadFile(err).find("kestrune-cli diff: stopped"), std::string::npos);
}

TEST(CliDiffTest, BinaryFilesAreComparedByteForByte)
{
    testutil::TempDir dir;
    const std::string zeroAt100 = std::string(100, 'a') + '\0' + "tail\n";
    testutil::WriteFile(dir / "bin1", std::string("\0\1\2", 3) + "abc");
    testutil::WriteFile(dir / "bin2", std::string("\0\1\2", 3) + "abcdef");
    testutil::WriteFile(dir / "text.txt", "line\n");
    testutil::WriteFile(dir / "late-zero.txt", std::string(9000, 'x') + '\0' + "\nmore\n");
    testutil::WriteFile(dir / "late-zero2.txt", std::string(9000, 'x') + "\nmore\n");
    const std::string bin1 = dir / "bin1", bin2 = dir / "bin2";

    CliOutput r = Cli(dir, Quote(bin1) + " " + Quote(bin2));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Binary files " + bin1 + " and " + bin2 + " differ\n");

    r = Cli(dir, Quote(dir / "text.txt") + " " + Quote(bin1));
    EXPECT_EQ(r.status, 1) << "one binary side makes the pair binary";
    EXPECT_EQ(r.out, "Binary files " + (dir / "text.txt") + " and " + bin1 + " differ\n");

    r = Cli(dir, "--records " + Quote(bin1) + " " + Quote(bin1));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "No differences.\n");

    r = Cli(dir, Quote(dir / "late-zero.txt") + " " + Quote(dir / "late-zero2.txt"));
    EXPECT_EQ(r.status, 1) << "a zero byte after the first 8 KB leaves the file text, cut there";
    EXPECT_EQ(r.out, "1 line added, 1 line modified, 0 lines deleted.\n") << "the cut line has no break";
}

}  // namespace
