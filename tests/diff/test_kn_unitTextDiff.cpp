// Comparing texts with differences ignored: every ignore option against GNU diff's verdict on
// the same pairs, the ignored changes the records keep, the marks inside modified lines and
// replacing a file atomically.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "diff/kn_unitAtomicSave.h"
#include "diff/kn_unitInlineDiff.h"
#include "diff/kn_unitTextDiff.h"
#include "diff/kn_unitTextFile.h"
#include "tests/common/temp_tree.h"

namespace {

// The window's and the summary's way of taking lines.
kn::TTextDiffResult Compare(const std::string& a, const std::string& b, const kn::TIgnoreOptions& options)
{
    kn::TTextDiffResult result;
    std::string error;
    EXPECT_TRUE(kn::CompareTextLines(kn::LinesWithBreaks(a, kn::SplitTextLineViews(a)),
                                     kn::LinesWithBreaks(b, kn::SplitTextLineViews(b)), options, {}, result, error))
        << error;
    return result;
}

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

// Options from diff's letters ("C" for --strip-trailing-cr) and an -I expression.
kn::TIgnoreOptions Ignore(std::string_view letters, const std::string& pattern = "")
{
    kn::TIgnoreOptions o;
    o.SpaceChange = letters.find('b') != std::string_view::npos;
    o.AllSpace = letters.find('w') != std::string_view::npos;
    o.Case = letters.find('i') != std::string_view::npos;
    o.BlankLines = letters.find('B') != std::string_view::npos;
    o.TrailingCR = letters.find('C') != std::string_view::npos;
    if (!pattern.empty()) o.Patterns = {pattern};
    return o;
}

TEST(TextDiffTest, EveryIgnoreOptionAgreesWithDiff)
{
    const std::pair<std::string, std::string> pairs[] = {
        {"a\tb\n", "a    b\n"},
        {"a b  \n", "a b\n"},
        {"ab\n", "a b\n"},
        {"Hello\n", "hello\n"},
        {"a\n\nb\n", "a\nb\n"},
        {"a\n  \nb\n", "a\nb\n"},
        {"a\r\nb\r\n", "a\nb\n"},
        {"x\n# c1\ny\n", "x\n# c2\ny\n"},
        {"x\n# c1\ny\n", "x\n#c2\nz\n"},
        {"a\n", "a"},
        {"\r\n", "\n"},
        {"a\n\n\n", "a\n"},
        {"int x;\n", "int  X;\r\n"},
        {"same\n", "same\n"},
        {"a\n#x\n\nb\n", "a\nb\n"},
    };
    struct Flag {
        const char* args;
        kn::TIgnoreOptions options;
    } flags[] = {
        {"", {}},
        {"-b", Ignore("b")},
        {"-w", Ignore("w")},
        {"-i", Ignore("i")},
        {"-B", Ignore("B")},
        {"-I '^#'", Ignore("", "^#")},
        {"--strip-trailing-cr", Ignore("C")},
        {"-B -I '^#' -i -b", Ignore("Bib", "^#")},
    };
    testutil::TempDir dir;
    const std::string left = dir / "l", right = dir / "r";
    for (const auto& [a, b] : pairs) {
        testutil::WriteFile(left, a);
        testutil::WriteFile(right, b);
        for (const Flag& flag : flags) {
            const int raw = std::system(
                ("diff -q " + std::string(flag.args) + " " + Quote(left) + " " + Quote(right) + " > /dev/null")
                    .c_str());
            ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) < 2) << "diff is needed for this test";
            EXPECT_EQ(!Compare(a, b, flag.options).Summary.Empty(), WEXITSTATUS(raw) == 1)
                << flag.args << " on \"" << a << "\" and \"" << b << "\"";
        }
    }
}

TEST(TextDiffTest, IgnoredChangesStayAsRecordsAndBadPatternsFail)
{
    const kn::TTextDiffResult blank = Compare("a\n\nb\nc\n", "a\nb\nC\n\n", Ignore("B"));
    const std::vector<kn::TDiffChange> expected = {{kn::TDiffKind::dkDelete, 1, 0, 1, true},
                                                   {kn::TDiffKind::dkModify, 3, 2, 1, false},
                                                   {kn::TDiffKind::dkAdd, 4, 3, 1, true}};
    EXPECT_EQ(blank.Changes, expected);
    EXPECT_EQ(blank.Summary.Modified, 1);
    EXPECT_EQ(blank.Summary.Added + blank.Summary.Deleted, 0);

    kn::TTextDiffResult result;
    std::string error;
    EXPECT_FALSE(kn::CompareTextLines({}, {}, Ignore("", "a\\{1"), {}, result, error));
    EXPECT_NE(error.find("a\\{1"), std::string::npos) << error;
}

TEST(InlineDiffTest, MarksChangedWordsAndCharacters)
{
    using M = std::vector<kn::TInlineMark>;
    struct Row {
        std::string left, right;
        M leftMarks, rightMarks;
    } rows[] = {
        {"the quick brown fox", "the quick red fox", {{10, 5}}, {{10, 3}}},
        {"same", "same", {}, {}},
        {"x = f(a, b);", "x = f(a, b, c);", {}, {{10, 3}}},
        {"\tindent", "    indent", {{0, 1}}, {{0, 4}}},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\xE6\x97\xA5\xE6\x9C\xAC\xE4\xBA\xBA", {{2, 1}}, {{2, 1}}},
        {"", "new", {}, {{0, 3}}},
    };
    for (const Row& row : rows) {
        const kn::TInlineMarks marks = kn::InlineChanges(row.left, row.right);
        EXPECT_EQ(marks.Left, row.leftMarks) << row.left << " / " << row.right;
        EXPECT_EQ(marks.Right, row.rightMarks) << row.left << " / " << row.right;
    }
    // One changed word in a very long line is found where it is.
    std::string a, b;
    for (int k = 0; k < 3000; ++k) a += "word" + std::to_string(k) + " ";
    b = a;
    b.replace(b.find("word1500 "), 8, "changed1");
    const kn::TInlineMarks marks = kn::InlineChanges(a, b);
    ASSERT_EQ(marks.Left.size(), 1u);
    EXPECT_EQ(marks.Left[0].First, static_cast<int32_t>(a.find("word1500 ")));
}

TEST(AtomicSaveTest, ReplacesOnlyAnUnchangedRegularFile)
{
    testutil::TempDir dir;
    const std::string file = dir / "notes.txt";
    testutil::WriteFile(file, "old\n");
    chmod(file.c_str(), 0640);
    std::string bytes, error;
    kn::TFileStamp stamp;
    ASSERT_TRUE(kn::ReadFileBytes(file, bytes, error, 1000, stamp));
    const auto entries = [&] {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++n;
        return n;
    };

    ASSERT_TRUE(kn::SaveFileAtomically(file, "new\r\n", stamp, error)) << error;
    EXPECT_EQ(testutil::ReadFile(file), "new\r\n");
    struct stat st {};
    stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the permission bits are kept";
    EXPECT_TRUE(kn::SaveFileAtomically(file, "again\n", stamp, error)) << "the new stamp is handed back";

    kn::TFileStamp stale = stamp;
    testutil::WriteFile(file, "changed by someone else\n");
    EXPECT_FALSE(kn::SaveFileAtomically(file, "mine\n", stale, error));
    EXPECT_EQ(testutil::ReadFile(file), "changed by someone else\n");

    const std::string link = dir / "link.txt";
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    kn::TFileStamp linkStamp;
    ASSERT_TRUE(kn::ReadFileBytes(link, bytes, error, 1000, linkStamp));
    EXPECT_FALSE(kn::SaveFileAtomically(link, "through the link\n", linkStamp, error));
    EXPECT_EQ(testutil::ReadFile(file), "changed by someone else\n");
    EXPECT_EQ(entries(), 2u) << "no temporary file is left behind";
}

}  // namespace
