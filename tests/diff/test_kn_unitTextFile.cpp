#include "diff/kn_unitTextFile.h"

#include "diff/kn_unitDiff.h"
#include "tests/common/temp_tree.h"

#include <gtest/gtest.h>

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
    for (const Row& row : rows)
        EXPECT_EQ(kn::SplitTextLines(row.text), row.expected) << row.name;
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
    ASSERT_TRUE(kn::ReadTextFile("/dev/null", content, error)) << "a file of unknown size";
    EXPECT_EQ(content, "");
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
