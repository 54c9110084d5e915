// kestrune-cli compare as a script sees it: rows on standard output, the count on standard
// error, options, exit statuses and messages.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <sstream>

#include "framework/vex_unitDateTime.h"
#include "tests/cli/cli_run.h"
#include "tests/common/temp_tree.h"

using clitest::RunCli;
using testutil::WriteFile;

namespace {

constexpr int64_t kTen = testutil::TwoTrees::kDefaultTime;  // 2020-01-01 10:00:00 UTC

// The time a file has, to the second (the comparison's two-second cut is never shown).
std::string LocalTime(int64_t unixSeconds)
{
    return vex::FormatDateTime(vex::UnixToDateTime(unixSeconds, vex::LocalOffsetNow()));
}

using Trees = testutil::TwoTrees;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The relative names of the rows (the left name, or the right one for a right-only row).
std::set<std::string> RowNames(const std::string& out)
{
    std::set<std::string> names;
    for (const auto& line : Lines(out)) {
        std::vector<std::string> f;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
        names.insert(f.size() > 1 && !f[1].empty() ? f[1] : f.back());
    }
    return names;
}

// The row names of `kestrune-cli compare OPTIONS LEFT RIGHT`.
std::set<std::string> CompareRowNames(const std::vector<std::string>& options, const Trees& t)
{
    std::vector<std::string> args{"compare"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(t.left);
    args.push_back(t.right);
    auto r = RunCli(args);
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err;
    return RowNames(r.out);
}

}  // namespace

TEST(CliCompare, RowsFieldsAndCount)
{
    Trees t;
    t.File(t.left, "newer.txt", "abc", kTen + 3);
    t.File(t.right, "newer.txt", "abcd", kTen);
    t.File(t.left, "same-time.txt", "1234567890");
    t.File(t.right, "same-time.txt", "12345678901");
    t.File(t.left, "only-left.bin", "12");
    t.Folder(t.right, "sub");
    t.File(t.right, "sub/in.txt", "x");
    t.Folder(t.right, "sub");
    t.File(t.left, "equal.txt", "same");
    t.File(t.right, "equal.txt", "same");
    auto r = RunCli({"compare", t.left, t.right});
    EXPECT_EQ(r.status, 1);
    const std::string ten = LocalTime(kTen), tenThree = LocalTime(kTen + 3);
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                                "left\tnewer.txt\t3\t" + tenThree + "\t" + ten + "\t4\tnewer.txt",
                                "left\tonly-left.bin\t2\t" + ten + "\t\t\t",
                                "differ\tsame-time.txt\t10\t" + ten + "\t" + ten + "\t11\tsame-time.txt",
                                "right\t\t\t\t" + ten + "\tdir\tsub/",
                                "right\t\t\t\t" + ten + "\t1\tsub/in.txt",
                            }));
    EXPECT_EQ(r.err, "Found 5 folder(s) and file(s).\n");  // no progress: standard error is no terminal
}

TEST(CliCompare, IdenticalTreesExitZero)
{
    Trees t;
    t.File(t.left, "a", "1");
    t.File(t.right, "a", "1");
    auto r = RunCli({"compare", t.left, t.right});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Found 0 folder(s) and file(s).\n");
}

TEST(CliCompare, OptionsSetTheFilters)
{
    Trees t;
    t.File(t.left, "a.txt", "1");
    t.File(t.left, "b.doc", "12345");
    t.File(t.left, ".hidden", "1");
    t.File(t.left, "old.txt", "1", 946684800);  // 2000-01-01
    t.File(t.left, "d/c.txt", "1");
    t.Folder(t.left, "d");
    t.File(t.left, "ro.txt", "1");
    chmod((t.left + "/ro.txt").c_str(), 0444);
    using Names = std::set<std::string>;
    const Names all{"a.txt", "b.doc", ".hidden", "old.txt", "d/", "d/c.txt", "ro.txt"};
    struct Case {
        const char* name;
        std::vector<std::string> options;
        Names rows;
    } cases[] = {
        {"defaults", {}, all},
        {"include filter: a folder that fails it is not entered",
         {"--filter", "*.txt"},
         {"a.txt", "old.txt", "ro.txt"}},
        {"a name without extension is tested with a dot", {"--filter=*.doc;d*"}, {"b.doc", "d/"}},
        {"exclude filter", {"--exclude", "*.txt;.*"}, {"b.doc", "d/"}},
        {"no recursion", {"--no-recursive"}, {"a.txt", "b.doc", ".hidden", "old.txt", "ro.txt"}},
        {"size range inclusive", {"--min-size", "2", "--max-size", "5"}, {"b.doc", "d/"}},
        {"begin date", {"--begin", "2010-01-01"}, {"a.txt", "b.doc", ".hidden", "d/", "d/c.txt", "ro.txt"}},
        {"end date takes the whole day", {"--end", "2000-01-01"}, {"old.txt"}},
        {"hidden entries need h", {"--attributes", "rsa"}, {"a.txt", "b.doc", "old.txt", "d/", "d/c.txt", "ro.txt"}},
        {"exclude read-only", {"--exclude-attributes", "r"}, {"a.txt", "b.doc", ".hidden", "old.txt", "d/", "d/c.txt"}},
    };
    for (const auto& c : cases) EXPECT_EQ(CompareRowNames(c.options, t), c.rows) << c.name;
}

TEST(CliCompare, ContentAndHourShiftOptions)
{
    Trees t;
    t.File(t.left, "checkout.txt", "same", kTen + 600);
    t.File(t.right, "checkout.txt", "same", kTen);
    t.File(t.left, "rewritten.db", "page 2", kTen);
    t.File(t.right, "rewritten.db", "page 1", kTen);
    t.File(t.left, "dst.txt", "clock", kTen + 3600);
    t.File(t.right, "dst.txt", "clock", kTen);
    struct Case {
        const char* name;
        std::vector<std::string> options;
        std::set<std::string> rows;
    } cases[] = {
        {"times alone", {}, {"checkout.txt", "dst.txt"}},
        {"contents", {"--content"}, {"rewritten.db"}},
        {"an hour ignored", {"--ignore-hours", "1"}, {"checkout.txt"}},
        {"both", {"--content", "--ignore-hours=2"}, {"rewritten.db"}},
    };
    for (const auto& c : cases) EXPECT_EQ(CompareRowNames(c.options, t), c.rows) << c.name;
    const std::string ten = LocalTime(kTen);
    EXPECT_EQ(RunCli({"compare", "--content", t.left, t.right}).out,
              "differ\trewritten.db\t6\t" + ten + "\t" + ten + "\t6\trewritten.db\n");
}

TEST(CliCompare, UsageErrorsExitTwoWithAMessage)
{
    Trees t;
    WriteFile(t.dir / "file", "1");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {"no folders", {"compare"}, "give exactly two folders"},
        {"one folder", {"compare", t.left}, "give exactly two folders"},
        {"three folders", {"compare", t.left, t.right, t.left}, "give exactly two folders"},
        {"unknown option", {"compare", "--fast", t.left, t.right}, "unknown option \"--fast\""},
        {"missing value", {"compare", t.left, t.right, "--filter"}, "--filter needs TEXT"},
        {"bad date", {"compare", "--begin", "2020-13-01", t.left, t.right}, "is not a date"},
        {"bad size", {"compare", "--min-size", "12k", t.left, t.right}, "is not a whole number"},
        {"bad attribute letter", {"compare", "--attributes", "rx", t.left, t.right}, "unknown attribute letter \"x\""},
        {"flag with a value", {"compare", "--no-recursive=1", t.left, t.right}, "takes no value"},
        {"hours beyond a day", {"compare", "--ignore-hours", "25", t.left, t.right}, "from 0 to 24"},
        {"hours not a number", {"compare", "--ignore-hours=one", t.left, t.right}, "\"one\" is not a whole number"},
        {"unknown link policy",
         {"compare", "--links", "keep", t.left, t.right},
         "\"keep\" is not one of copy, skip, follow"},
        {"filter too long", {"compare", "--filter", std::string(300, 'a'), t.left, t.right}, "longer than 255"},
        {"missing left folder",
         {"compare", t.dir / "nope", t.right},
         "The folder \"" + t.dir / "nope" + "\" does not exist."},
        {"right root is a file",
         {"compare", t.left, t.dir / "file"},
         "The folder \"" + t.dir / "file" + "\" does not exist."},
    };
    for (const auto& c : cases) {
        auto r = RunCli(c.args);
        EXPECT_EQ(r.status, 2) << c.name;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err.find("Usage:"), std::string::npos) << c.name << ": the error stays in sight";
    }
}

TEST(CliCompare, RelativeFoldersStartFromTheWorkingFolder)
{
    Trees t;
    t.File(t.left, "x/a.txt", "1");
    auto r = RunCli({"compare", "L/x", "./R/"}, t.dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(RowNames(r.out), std::set<std::string>{"a.txt"});
}

TEST(CliCompare, OddNamesStayOneLine)
{
    Trees t;
    t.File(t.left, "tab\there", "1");
    t.File(t.left, "new\nline", "1");
    t.File(t.left, "back\\slash", "1");
    t.File(t.left, "latin1-\xe9.txt", "1");  // not UTF-8: printed as the bytes it is
    auto r = RunCli({"compare", t.left, t.right});
    EXPECT_EQ(RowNames(r.out), (std::set<std::string>{"tab\\there", "new\\nline", "back\\\\slash", "latin1-\xe9.txt"}));
}

// A link shows as one: its text after its name, "link" for its size, and its text in jsonl;
// under follow it is what it leads to.
TEST(CliCompare, LinksShowAsLinks)
{
    Trees t;
    t.File(t.left, "a.txt", "abc", kTen);
    ASSERT_EQ(symlink("a.txt", (t.left + "/l\tink").c_str()), 0);
    auto r = RunCli({"compare", t.left, t.right});
    ASSERT_EQ(Lines(r.out).size(), 2u) << r.out;
    EXPECT_EQ(Lines(r.out)[1].substr(0, 26), "left\tl\\tink -> a.txt\tlink\t");
    r = RunCli({"compare", "--format", "jsonl", t.left, t.right});
    EXPECT_NE(r.out.find("\"link\":\"a.txt\""), std::string::npos) << r.out;
    r = RunCli({"compare", "--links", "follow", t.left, t.right});
    ASSERT_EQ(Lines(r.out).size(), 2u) << r.out;
    EXPECT_EQ(Lines(r.out)[1], "left\tl\\tink\t3\t" + LocalTime(kTen) + "\t\t\t");
}

TEST(CliCompare, HelpDescribesEveryOption)
{
    auto r = RunCli({"compare", "--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* text :
         {"--filter", "--exclude", "--attributes", "--exclude-attributes", "--begin", "--end", "--min-size",
          "--max-size", "--no-recursive", "--content", "--ignore-hours", "Exit status", "Found"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
}
