// The rules above the sides: plain names, path values, the program's temporary names, the modes
// of copies and the changed-since-compared check.
#include <gtest/gtest.h>

#include "side/kn_unitSidePath.h"
#include "side/kn_unitSideRules.h"

namespace kn {
namespace {

TEST(SideRules, NamesAreOnePlainComponent)
{
    struct Case {
        std::string name;
        std::string forbidden;
        bool plain;
    };
    const Case cases[] = {
        {"a.txt", "", true},
        {"..\\important", "\\", false},
        {"..\\important", "", true},
        {"", "", false},
        {".", "", false},
        {"..", "", false},
        {"a/b", "", false},
        {std::string("a\0b", 3), "", false},
        {"..a", "", true},
        {"sub\\victim.txt", "\\", false},
    };
    for (const Case& c : cases) EXPECT_EQ(NameProblem(c.name, c.forbidden).empty(), c.plain) << c.name;
}

TEST(SideRules, PathsAreSplitOnceAndChecked)
{
    TKNSidePath path;
    std::string reason;
    ASSERT_TRUE(TKNSidePath::FromRelative("sub/a.txt", path, reason));
    EXPECT_EQ(path.Names(), (std::vector<std::string>{"sub", "a.txt"}));
    EXPECT_EQ(path.Text(), "sub/a.txt");
    EXPECT_EQ(path.Parent().Text(), "sub");
    EXPECT_EQ(path.Under("/srv/www/"), "/srv/www/sub/a.txt");
    for (const char* bad : {"sub/../x", "/abs", "a//b", "a/."})
        EXPECT_FALSE(TKNSidePath::FromRelative(bad, path, reason)) << bad;
    EXPECT_TRUE(TKNSidePath::FromRelative("", path, reason));
    EXPECT_TRUE(path.IsRoot());
    EXPECT_FALSE(HasDotName(path));
    for (const auto& [text, dotted] : {std::pair{".git/config", true}, std::pair{"www/.htaccess", true},
                                       std::pair{"a.b/c..", false}, std::pair{"..a", true}}) {
        ASSERT_TRUE(TKNSidePath::FromRelative(text, path, reason)) << text;
        EXPECT_EQ(HasDotName(path), dotted) << text;
    }
}

// Where a link's text leads, by the text alone, from the folder "a/b" of a root at "/r".
TEST(SideRules, LinkTextsLeadBelowTheRootOrOut)
{
    const struct {
        const char* text;
        const char* leads;  // null: out of the tree
    } cases[] = {
        {"x", "a/b/x"},
        {"../x", "a/x"},
        {"../../x", "x"},
        {"../../../x", nullptr},
        {"./x//y/", "a/b/x/y"},
        {"..", "a"},
        {"../..", ""},
        {"/r/x/y", "x/y"},
        {"/r", ""},
        {"/rx/y", nullptr},
        {"/etc/passwd", nullptr},
        {"/r/../etc", nullptr},
        {"x/../../..", ""},
        {"x/../../../..", nullptr},
    };
    TKNSidePath folder;
    std::string reason;
    ASSERT_TRUE(TKNSidePath::FromRelative("a/b", folder, reason));
    for (const auto& c : cases) {
        TKNSidePath to;
        const bool below = LinkLeadsTo(folder, c.text, "/r", to);
        EXPECT_EQ(below, c.leads != nullptr) << c.text;
        if (below && c.leads) {
            EXPECT_EQ(to.Text(), c.leads) << c.text;
        }
    }
    TKNSidePath to;
    EXPECT_FALSE(LinkLeadsTo(folder, "/r/x", "", to)) << "a side without an absolute root path";
}

TEST(SideRules, TempNamesAreProvablyOwnAndShort)
{
    const std::string longName(300, 'x');
    const std::string utf8 = std::string(100, 'a') + "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9.txt";
    for (const std::string& name : {std::string("index.html"), longName, utf8}) {
        const std::string temp = TempName(name);
        EXPECT_TRUE(IsOwnTempName(temp)) << temp;
        EXPECT_LE(temp.size(), kMaxTempNameLength);
        EXPECT_NE(temp, TempName(name));
        // A cut never leaves half a UTF-8 sequence.
        const std::size_t tilde = temp.rfind('~');
        EXPECT_NE(static_cast<unsigned char>(temp[tilde - 1]) & 0xC0, 0xC0u) << temp;
    }
    std::string forged = TempName("a.txt");
    forged[forged.size() - 1] = forged.back() == '0' ? '1' : '0';
    for (const std::string& user : {std::string(".kn-notes-backup"), std::string(".kn-todo-2024q1"),
                                    std::string(".kn~a.txt~abcdefgh12345678"), forged})
        EXPECT_FALSE(IsOwnTempName(user)) << user;
}

TEST(SideRules, CopiesDropSetIdBitsAcrossOwners)
{
    EXPECT_EQ(ModeForCopy(0104755, false), 0755u);
    EXPECT_EQ(ModeForCopy(02750, false), 0750u);
    EXPECT_EQ(ModeForCopy(04755, true), 04755u);
    EXPECT_EQ(ModeForCopy(01777, false), 01777u);
}

TEST(SideRules, ChangedSinceComparedIsRefused)
{
    TKNSideEntry listed;
    listed.Size = 5;
    listed.MTime = 1000;
    listed.TimeStep = 2;
    listed.Inode = 7;
    const TKNExpected expected = ExpectedOf(listed);
    const TKNSideResult found = TKNSideResult::Ok();
    const TKNSideResult missing = TKNSideResult::Fail(TKNSideError::NotFound, "gone");
    struct Case {
        int64_t size, mtime;
        uint64_t inode;
        bool link;
        TKNSideResult stat;
        bool ok;
    };
    const Case cases[] = {
        {5, 1000, 7, false, found, true},  {5, 1001, 7, false, found, true},  // within the step
        {6, 1000, 7, false, found, false}, {5, 1002, 7, false, found, false},   {5, 1000, 8, false, found, false},
        {5, 1000, 7, true, found, false},  {5, 1000, 7, false, missing, false},
    };
    for (const Case& c : cases) {
        TKNSideEntry now = listed;
        now.Size = c.size;
        now.MTime = c.mtime;
        now.Inode = c.inode;
        now.Link = c.link;
        const TKNSideResult r = CheckExpected(expected, c.stat, now, "a.txt");
        EXPECT_EQ(static_cast<bool>(r), c.ok) << c.size << " " << c.mtime << " " << c.inode;
        if (!c.ok) {
            EXPECT_EQ(r.Kind, TKNSideError::Changed);
        }
    }
    EXPECT_TRUE(CheckExpected(ExpectedAbsent(), missing, listed, "a.txt"));
    EXPECT_EQ(CheckExpected(ExpectedAbsent(), found, listed, "a.txt").Kind, TKNSideError::Changed);
}

}  // namespace
}  // namespace kn
