// Preset and batch lists: the name rule, finding, adding, renaming, deleting, sorting, copying.
#include <gtest/gtest.h>

#include "config/kn_unitConfigLists.h"
#include "framework/vex_unitText.h"

namespace {

kn::TKNOptionsRec Preset(const std::string& name, kn::TKNAction action = kn::TKNAction::Auto)
{
    kn::TKNOptionsRec rec{};
    vex::SetField(rec.Name, name);
    rec.Action = action;
    return rec;
}

kn::TKNPresetList ListOf(std::initializer_list<const char*> names)
{
    kn::TKNPresetList list;
    for (const char* n : names) list.Add(Preset(n));
    return list;
}

std::vector<std::string> NamesOf(const kn::TKNPresetList& list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list.Names(i));
    return names;
}

}  // namespace

TEST(ConfigLists, NamesFoldOnlyAsciiLetters)
{
    struct Case {
        const char* stored;
        const char* sought;
        bool same;
    };
    const Case cases[] = {
        {"PRESET1", "preset1", true},
        {"Mixed Case", "mIXED cASE", true},
        {"\xc3\xa4pfel", "\xc3\x84pfel", false},  // a letter outside a-z differs by case
        {"name", "name ", false},
        {"", "", true},
        {"[x]", "{X}", false},  // neighbours of the letters are not letters
    };
    for (const Case& c : cases) {
        kn::TKNPresetList list = ListOf({c.stored});
        EXPECT_EQ(list.Find(c.sought) != nullptr, c.same) << c.stored << " / " << c.sought;
        EXPECT_EQ(list.Add(Preset(c.sought)) == -1, c.same) << c.stored << " / " << c.sought;
    }
}

TEST(ConfigLists, FindSearchesFromTheLast)
{
    kn::TKNPresetList list;
    list.Append(Preset("twin", kn::TKNAction::LeftToRight));
    list.Append(Preset("TWIN", kn::TKNAction::RightToLeft));  // as a damaged file may hold them
    ASSERT_NE(list.Find("twin"), nullptr);
    EXPECT_EQ(list.Find("twin")->Action, kn::TKNAction::RightToLeft);
    EXPECT_EQ(list.IndexOf("Twin"), 1);
    EXPECT_EQ(list.Find("other"), nullptr);
}

TEST(ConfigLists, AddCopiesAndReturnsTheIndex)
{
    kn::TKNPresetList list;
    kn::TKNOptionsRec rec = Preset("a");
    EXPECT_EQ(list.Add(rec), 0);
    EXPECT_EQ(list.Add(Preset("b")), 1);
    vex::SetField(rec.Name, "changed");
    EXPECT_EQ(list.Names(0), "a") << "the list owns a copy";
    EXPECT_NE(list.Items(0), &rec);
}

TEST(ConfigLists, OutOfRangeIndexesAreIgnored)
{
    kn::TKNPresetList list = ListOf({"a", "b"});
    for (int i : {-1, 2, 100}) {
        EXPECT_EQ(list.Items(i), nullptr) << i;
        EXPECT_EQ(list.Names(i), "") << i;
        list.Delete(i);
        list.Rename(i, "x");
    }
    EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"a", "b"}));
}

TEST(ConfigLists, DeleteAndClear)
{
    kn::TKNPresetList list = ListOf({"a", "b", "c"});
    list.Delete(1);
    EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"a", "c"}));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(ConfigLists, RenameCutsToTheField)
{
    kn::TKNPresetList list = ListOf({"old name that is long"});
    list.Rename(0, std::string(40, 'x'));
    EXPECT_EQ(list.Names(0), std::string(31, 'x'));
    list.Rename(0, "b");
    EXPECT_EQ(list.Names(0), "b");
    const char* raw = list.Items(0)->Name;
    for (int i = 1; i < 32; ++i) EXPECT_EQ(raw[i], 0) << "byte " << i << " of the zero-filled field";
    // 30 ASCII bytes and a 2-byte letter do not fit 31 bytes: the letter is dropped whole.
    list.Rename(0, std::string(30, 'y') + "\xc3\xa9");
    EXPECT_EQ(list.Names(0), std::string(30, 'y'));
}

TEST(ConfigLists, SortFoldsAsciiAndComparesBytesUnsigned)
{
    kn::TKNPresetList list = ListOf({"beta", "\xc3\xa9t\xc3\xa9", "Alpha", "alphabet", "_under", "Zulu", "10"});
    list.Sort();
    EXPECT_EQ(NamesOf(list),
              (std::vector<std::string>{"10", "Alpha", "alphabet", "beta", "Zulu", "_under", "\xc3\xa9t\xc3\xa9"}));
}

TEST(ConfigLists, AssignAndCloneCopyEveryRecord)
{
    kn::TKNPresetList list = ListOf({"a", "b"});
    kn::TKNPresetList copy = list.Clone();
    copy.Rename(0, "changed");
    copy.Add(Preset("c"));
    EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"a", "b"})) << "a clone is independent";
    list.Assign(copy);
    EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"changed", "b", "c"}));
    EXPECT_NE(list.Items(0), copy.Items(0));

    kn::TKNPresetList damaged;
    damaged.Append(Preset("dup"));
    damaged.Append(Preset("DUP"));
    list.Assign(damaged);
    EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"dup"})) << "Assign adds, so duplicates are dropped";
}

TEST(ConfigLists, BatchEntriesStopAt63)
{
    kn::TKNBatchList list;
    kn::TKNBatchRec batch{};
    vex::SetField(batch.Name, "b");
    for (int i = 0; i < kn::kMaxBatchEntries; ++i)
        ASSERT_TRUE(kn::AddBatchEntry(batch, "p" + std::to_string(i), kn::TKNAction::Auto, false));
    EXPECT_FALSE(kn::AddBatchEntry(batch, "one too many", kn::TKNAction::Auto, false));
    EXPECT_EQ(batch.EntryCount, 63);
    EXPECT_EQ(vex::GetField(batch.Entries[62].PresetName), "p62");
    batch.EntryCount = 200;  // as a damaged file may claim
    EXPECT_EQ(kn::UsedEntries(batch), 63);
    EXPECT_EQ(list.Add(batch), 0);
    EXPECT_EQ(list.Find("B")->EntryCount, 200);
}
