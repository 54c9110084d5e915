// kestrune-cli diff run as a program: its output, records and exit statuses.
#include "tests/common/temp_tree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

namespace {

struct CliOutput {
    int status;
    std::string out, err;
};

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CliOutput Cli(const testutil::TempDir& dir, const std::string& args)
{
    const std::string out = dir / "stdout.txt", err = dir / "stderr.txt";
    const int raw = std::system((std::string(KESTRUNE_CLI) + " diff " + args + " > " + Quote(out) + " 2> " + Quote(err) + " < /dev/null").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, testutil::ReadFile(out), testutil::ReadFile(err)};
}

TEST(CliDiffTest, CountsRecordsAndStatuses)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "a.txt", "a\nb\nc\na\nb\nb\na\n");
    testutil::WriteFile(dir / "b.txt", "c\r\nb\r\na\r\nb\r\na\r\nc");
    testutil::WriteFile(dir / "same.txt", "a\rb\rc\ra\rb\rb\ra");
    const std::string a = Quote(dir / "a.txt"), b = Quote(dir / "b.txt");

    CliOutput r = Cli(dir, a + " " + b);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "1 lines added, 1 lines modified, 2 lines deleted.\n");

    r = Cli(dir, "--records " + a + " " + b);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "modify\t0\t0\t1\ndelete\t2\t0\t1\ndelete\t5\t0\t1\nadd\t7\t5\t1\n"
                     "1 lines added, 1 lines modified, 2 lines deleted.\n");

    r = Cli(dir, "--records " + a + " " + Quote(dir / "same.txt"));
    EXPECT_EQ(r.status, 0) << "line breaks do not count";
    EXPECT_EQ(r.out, "No differences.\n");
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
    EXPECT_EQ(r.out, "1 lines added, 0 lines modified, 0 lines deleted.\n");
}

}  // namespace
