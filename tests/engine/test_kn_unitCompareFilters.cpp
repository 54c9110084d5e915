// Filter parsing, wildcard and name matching, path helpers and applying an options record.
#include <gtest/gtest.h>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitSideRegistry.h"
#include "framework/vex_unitText.h"

using namespace kn;

TEST(ParseFilter, CutsAtSemicolonsKeepsBlanksDropsDuplicates)
{
    struct Case {
        const char* name;
        const char* text;
        std::vector<std::string> patterns;
    } cases[] = {
        {"blank piece stays its own pattern", "*.txt; *.doc", {"*.TXT", " *.DOC"}},
        {"duplicate ignoring case and empty pieces", "*.TXT;;*.txt", {"*.TXT"}},
        {"empty text gives empty list", "", {}},
        {"only separators", ";;;", {}},
        {"upper-cases ASCII only", "\xc3\xa4x.a", {"\xc3\xa4X.A"}},
        {"trailing piece runs to the end", "a;b", {"A", "B"}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseFilter(c.text), c.patterns) << c.name;
}

TEST(MatchWildcard, Table)
{
    struct Case {
        const char* text;
        const char* pattern;
        bool match;
    } cases[] = {
        {"ABC", "a?c", true},
        {"abc", "A?C", true},
        {"a", "a*", true},
        {"", "*x", false},
        {"", "*", true},
        {"", "*.*", true},
        {"", "", true},
        {"x", "", false},
        {"", "**", false},      // an exhausted text needs an exhausted pattern or exactly "*" / "*.*"
        {"abc", "a*.*", true},  // the rest "*.*" matches whatever remains, dot or not
        {"readme.", "*.", true},
        {"readme.txt", "*.", false},
        {"a/b.txt", "a?b.*", true},  // "?" and "*" match separators too
        {"ab", "abc", false},
        {"\xc3\xa4", "\xc3\x84", false},  // non-ASCII letters compare exactly
        {"report-2024-final.doc", "*-*-*.doc", true},
        {"report.doc", "*-*-*.doc", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchWildcard(c.text, c.pattern), c.match) << '"' << c.text << "\" vs \"" << c.pattern << '"';
}

TEST(MatchWildcard, ManyStarsStayFast)
{
    // A naive recursion tries every split of the text among the stars: 10^20 paths here.
    std::string text(200, 'a');
    EXPECT_FALSE(MatchWildcard(text, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(MatchWildcard(text + "b", "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(MatchName, ExtensionDotAndLists)
{
    TKNFileBuffer list;
    list.SetFilter("*.*");
    EXPECT_TRUE(list.MatchName("README"));
    EXPECT_TRUE(list.MatchName(""));  // an empty text is accepted
    list.SetFilter("*.");
    EXPECT_TRUE(list.MatchName("README"));  // tested as "README."
    EXPECT_FALSE(list.MatchName("a.txt"));
    list.SetFilter("*.TXT");
    EXPECT_FALSE(list.MatchName("README"));
    EXPECT_TRUE(list.MatchName("notes.txt"));
    list.SetExcludeFilter("note*");
    EXPECT_FALSE(list.MatchName("notes.txt"));  // exclusion wins
    EXPECT_TRUE(list.MatchName("other.txt"));
    list.SetFilter("*.txt; *.doc");
    EXPECT_FALSE(list.MatchName("a.doc"));
    EXPECT_TRUE(list.MatchName(" a.doc"));
    list.SetFilter("");
    EXPECT_FALSE(list.MatchName("a.txt"));  // an empty include list rejects every name
    EXPECT_TRUE(list.MatchName(""));
}

TEST(Paths, PathJoinAndKindOfLocation)
{
    EXPECT_EQ(PathJoin("/a", "b"), "/a/b");
    EXPECT_EQ(PathJoin("/a/", "b"), "/a/b");
    EXPECT_EQ(PathJoin("/a", "/b/"), "/a/b");
    EXPECT_EQ(PathJoin("", "b"), "/b");
    // What a location's kind tells before any side is opened: only a scheme at the very start
    // with "//" or "\\" after it counts, in any ASCII case.
    using Trust = TKNServerTrust;
    const struct {
        const char* location;
        bool remote;
        Trust trust;
        bool asks;
    } rows[] = {
        {"FTP://kn@host", true, Trust::None, true},
        {"ftp:\\\\kn:pw@host\\x", true, Trust::None, false},  // a password is given: nothing to ask
        {"ftps://kn@host:990/x;tz=+0100", true, Trust::Certificate, true},
        {"ftp://Anonymous:me@host/x", true, Trust::None, false},
        {"ftp://host/x", true, Trust::None, false},
        {"ftp://a@b@host/x@y", true, Trust::None, true},      // the user ends at the last "@" before the path
        {"ftp://kn@host:99999/x", true, Trust::None, false},  // no port: nothing to log in to
        {"SFTP://kn@host/x", true, Trust::HostKey, false},
        {"sftp:\\\\kn@host", true, Trust::HostKey, false},
        {"ftp:/host", false, Trust::None, false},
        {"ftp:/", false, Trust::None, false},
        {"/home/ftp://kn@x", false, Trust::None, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsRemoteLocation(row.location), row.remote) << row.location;
        EXPECT_EQ(ServerTrustOf(row.location), row.trust) << row.location;
        EXPECT_EQ(AsksForPassword(row.location), row.asks) << row.location;
    }
}

TEST(Paths, SetFolderDropsOneTrailingSeparator)
{
    TKNFileBuffer list;
    list.SetFolder("/data/");
    EXPECT_EQ(list.Folder, "/data");
    EXPECT_FALSE(list.IsRemote());
    list.SetFolder("/data//");
    EXPECT_EQ(list.Folder, "/data/");
    list.SetFolder("/");
    EXPECT_EQ(list.Folder, "");  // the root names no folder: the side scans empty
    list.SetFolder("FTP://host/dir/");
    EXPECT_TRUE(list.IsRemote());
    EXPECT_EQ(list.Folder, "FTP://host/dir");
    ASSERT_NE(list.Provider, nullptr);
    // An FTP location's options are no part of the tree's paths.
    list.SetFolder("ftp://host/dir/;tz=+0100");
    EXPECT_EQ(list.Folder, "ftp://host/dir");
    EXPECT_EQ(list.Location(), "ftp://host/dir;tz=+0100") << "shown as given";
    list.SetFolder("/data/a;tz=+0100");
    EXPECT_EQ(list.Folder, "/data/a;tz=+0100") << "a local name";
}

namespace {

struct HiddenCase {
    const char* name;
    const char* text;
    const char* shown;
};

void PrintTo(const HiddenCase& row, std::ostream* os)
{
    *os << row.name;
}

class LocationPasswordsHidden : public ::testing::TestWithParam<HiddenCase> {};

TEST_P(LocationPasswordsHidden, LeaveOnlyTheUser)
{
    EXPECT_EQ(HideLocationPasswords(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocationPasswordsHidden,
    ::testing::Values(
        HiddenCase{"Ftp", "ftp://joe:pw@h/a", "ftp://joe@h/a"},
        HiddenCase{"Sftp", "sftp://joe:pw@h:22/a", "sftp://joe@h:22/a"},
        HiddenCase{"SftpPasswordWithAt", "sftp://joe:p@ss@h/a", "sftp://joe@h/a"},
        HiddenCase{"SftpPasswordWithColonAndAt", "Searching... SFTP://joe:a:b@c@h/x", "Searching... SFTP://joe@h/x"},
        HiddenCase{"SftpBackslashes", "sftp:\\\\joe:pw@h\\x", "sftp:\\\\joe@h\\x"},
        HiddenCase{"SftpAtInPathOnly", "sftp://h/mail/a@b", "sftp://h/mail/a@b"},
        HiddenCase{"SftpNoPassword", "sftp://joe@h/a", "sftp://joe@h/a"},
        HiddenCase{"BothInAMessage", "Failed to copy file \"sftp://a:x@y@h/f\" to \"ftps://b:z@k/f\".\r\nrefused",
                   "Failed to copy file \"sftp://a@h/f\" to \"ftps://b@k/f\".\r\nrefused"},
        HiddenCase{"FtpZoneKept", "ftp://joe:pw@h/a;tz=+0100", "ftp://joe@h/a;tz=+0100"},
        HiddenCase{"LocalText", "/home/joe:pw@x", "/home/joe:pw@x"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace

TEST(ApplyOptions, CheckFlagsChooseOptionsOrDefaults)
{
    TKNOptionsRec r = DefaultOptions("/home/u");
    vex::SetField(r.LeftFolder, "/l/");
    vex::SetField(r.RightFolder, "/r");
    vex::SetField(r.Filter, "*.c;*.h");
    vex::SetField(r.ExcludeFilter, "x*");
    r.Attributes = 0x3F;  // bit 3 never reaches a mask
    r.ExcludeAttributes = 0x02;
    r.BeginDate = 100.0;
    r.EndDate = 200.0;
    r.MinSize = 5;
    r.MaxSize = 50;
    r.Recursive = 0;
    r.Transfers = 7;

    TKNFileCompare engine;
    engine.ApplyOptions(r);
    EXPECT_EQ(engine.GetLeftFolder(), "/l");
    EXPECT_EQ(engine.LeftRootLen, 2);
    for (TKNFileBuffer* list : {&engine.LeftList, &engine.RightList}) {
        EXPECT_EQ(list->IncludeList, (std::vector<std::string>{"*.C", "*.H"}));
        EXPECT_EQ(list->ExcludeList, std::vector<std::string>{"X*"});
        EXPECT_EQ(list->AttrMask, 0x37u);
        EXPECT_EQ(list->ExcludeAttrMask, 0x02u);
        EXPECT_EQ(list->BeginDate, 100.0);
        EXPECT_EQ(list->EndDate, 200.0);
        EXPECT_EQ(list->MinSize, 5);
        EXPECT_EQ(list->MaxSize, 50);
        EXPECT_FALSE(list->Recursive);
    }
    EXPECT_EQ(engine.Transfers, 7);

    r.CheckFilter = r.CheckAttr = r.CheckDate = r.CheckSize = 0;
    engine.ApplyOptions(r);
    for (TKNFileBuffer* list : {&engine.LeftList, &engine.RightList}) {
        EXPECT_EQ(list->IncludeList, std::vector<std::string>{"*.*"});
        EXPECT_TRUE(list->ExcludeList.empty());
        EXPECT_EQ(list->AttrMask, 0x37u);
        EXPECT_EQ(list->ExcludeAttrMask, 0u);
        EXPECT_EQ(list->BeginDate, -1.0);
        EXPECT_EQ(list->EndDate, vex::Today() + 36524.0);
        EXPECT_EQ(list->MinSize, 0);
        EXPECT_EQ(list->MaxSize, -1);
    }
}

TEST(ApplyOptions, EmptyFilterRejectsEveryName)
{
    TKNOptionsRec r = DefaultOptions("/");
    vex::SetField(r.Filter, "");
    TKNFileCompare engine;
    engine.ApplyOptions(r);
    TKNFileRec file;
    file.Path = "/x";
    file.Name = "a.txt";
    file.Attr = faArchive;
    TKNFileRec folder;
    folder.Path = "/x/sub";
    folder.Attr = faDirectory;
    EXPECT_FALSE(engine.LeftList.Accepts(file));
    EXPECT_FALSE(engine.LeftList.Accepts(folder));
}
