#include <gtest/gtest.h>
#include <sys/stat.h>

#include "diff/kn_unitDiff.h"
#include "diff/kn_unitTextFile.h"
#include "tests/common/temp_tree.h"

namespace {

using Lines = std::vector<std::string>;

TEST(SplitTextLinesTest, BreaksAndEnds)
{
    struct Row {
        const char* name;
        std::string text;
        Lines expected;
    } rows[] = {
        {"empty", "", {}},
        {"no final break", "a\nb", {"a", "b"}},
        {"final break adds no line", "a\nb\n", {"a", "b"}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"CR alone", "a\rb\r", {"a", "b"}},
        {"mixed", "a\r\n\rb\n\nc", {"a", "", "b", "", "c"}},
        {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
        {"only a break", "\n", {""}},
        {"text ends at NUL", std::string("a\nb\0c\nd", 7), {"a", "b"}},
        {"NUL first", std::string("\0a", 2), {}},
        {"8-bit bytes kept", "\xe4\xf6\n\xc3\xa9", {"\xe4\xf6", "\xc3\xa9"}},
    };
    for (const Row& row : rows) EXPECT_EQ(kn::SplitTextLines(row.text), row.expected) << row.name;
}

// Past the first 64 KiB the list's room is estimated: lines unlike the head's still all come out.
TEST(SplitTextLinesTest, LongTextsWhoseHeadIsUnlikeTheRest)
{
    struct Row {
        const char* name;
        std::string head, body;
        size_t headLines, bodyLines;
    } rows[] = {
        {"short lines, then long ones", "a\n", std::string(500, 'x') + "\r\n", 70000, 1000},
        {"long lines, then short ones", std::string(300, 'y') + "\n", "b\r", 400, 200000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string text;
        for (size_t i = 0; i < row.headLines; ++i) text += row.head;
        for (size_t i = 0; i < row.bodyLines; ++i) text += row.body;
        text += "tail";
        const std::vector<std::string_view> lines = kn::SplitTextLineViews(text);
        ASSERT_EQ(lines.size(), row.headLines + row.bodyLines + 1);
        EXPECT_EQ(lines.front(), row.head.substr(0, row.head.size() - 1));
        EXPECT_EQ(lines[row.headLines], row.body.substr(0, row.body.find_first_of("\r\n")));
        EXPECT_EQ(lines.back(), "tail");
    }
}

TEST(LoadTextLinesTest, ReadsFilesAndReportsFailures)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "f.txt", "one\r\ntwo\n");
    Lines lines{"stale"};
    std::string error;
    ASSERT_TRUE(kn::LoadTextLines(dir / "f.txt", lines, error));
    EXPECT_EQ(lines, (Lines{"one", "two"}));

    EXPECT_FALSE(kn::LoadTextLines(dir / "missing.txt", lines, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_TRUE(lines.empty());

    EXPECT_FALSE(kn::LoadTextLines(dir.path(), lines, error));
    EXPECT_EQ(error, "Is a directory");
}

TEST(ReadTextFileTest, ReadsLargeFilesWholeAndEndsAtNul)
{
    testutil::TempDir dir;
    std::string big(300000, 'x');
    big[123456] = '\n';
    testutil::WriteFile(dir / "big.txt", big);
    std::string content, error;
    ASSERT_TRUE(kn::ReadTextFile(dir / "big.txt", content, error));
    EXPECT_EQ(content, big);
    testutil::WriteFile(dir / "nul.txt", std::string("ab\0cd", 5));
    ASSERT_TRUE(kn::ReadTextFile(dir / "nul.txt", content, error));
    EXPECT_EQ(content, "ab");
    testutil::WriteFile(dir / "empty.txt", "");
    ASSERT_TRUE(kn::ReadTextFile(dir / "empty.txt", content, error));
    EXPECT_EQ(content, "");
}

TEST(ReadTextFileTest, OnlyRegularFilesAreRead)
{
    testutil::TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    struct Row {
        const char* name;
        std::string path, reason;
    } rows[] = {
        {"named pipe without a writer (never waited on)", dir / "fifo", "Not a regular file but a named pipe."},
        {"character device", "/dev/null", "Not a regular file but a device."},
        {"endless device", "/dev/zero", "Not a regular file but a device."},
        {"folder", dir.path(), "Is a directory"},
    };
    for (const Row& row : rows) {
        std::string content = "stale", error;
        EXPECT_FALSE(kn::ReadTextFile(row.path, content, error)) << row.name;
        EXPECT_EQ(error, row.reason) << row.name;
        EXPECT_EQ(content, "") << row.name;
    }
}

TEST(ReadTextFileTest, FilesAboveTheSizeLimitAreRefused)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "k.txt", std::string(1024, 'a'));
    std::string content, error;
    EXPECT_TRUE(kn::ReadTextFile(dir / "k.txt", content, error, 1024)) << "exactly at the limit";
    EXPECT_EQ(content.size(), 1024u);
    EXPECT_FALSE(kn::ReadTextFile(dir / "k.txt", content, error, 1023));
    EXPECT_EQ(error, "The file is larger than the limit of 1023 bytes.");
    EXPECT_EQ(content, "");
    EXPECT_FALSE(kn::ReadTextFile(dir / "k.txt", content, error, 0));
}

TEST(FormatSizeLimitTest, WholeBinaryUnitsOrBytes)
{
    EXPECT_EQ(kn::FormatSizeLimit(kn::DefaultMaxTextFileSize), "1 GiB");
    EXPECT_EQ(kn::FormatSizeLimit(3 << 20), "3 MiB");
    EXPECT_EQ(kn::FormatSizeLimit(1536), "1536 bytes") << "not a whole KiB";
    EXPECT_EQ(kn::FormatSizeLimit(2048), "2 KiB");
    EXPECT_EQ(kn::FormatSizeLimit(0), "0 bytes");
}

TEST(HashLinesTest, OneHashPerLineInOrder)
{
    auto hashes = kn::HashLines({"x", "", "x"});  // views of literals
    ASSERT_EQ(hashes.size(), 3u);
    EXPECT_EQ(hashes[0], kn::LineHash("x"));
    EXPECT_EQ(hashes[1], 0u);
    EXPECT_EQ(hashes[2], hashes[0]);
}

}  // namespace
