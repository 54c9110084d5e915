// Comparisons of two local trees: pairing, statuses, events and stopping.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitScanProviderSide.h"
#include "tests/common/temp_tree.h"

using namespace kn;

namespace {

constexpr int64_t kTen = testutil::TwoTrees::kDefaultTime;  // 2020-01-01 10:00:00 UTC

using Trees = testutil::TwoTrees;

// "status left right", each side relative to its root ("-" when absent, a folder ending "/").
std::string Describe(const TMyFileOpt& row, const TKNFileCompare& engine)
{
    auto side = [](const TKNFileRec& rec, std::size_t rootLen) -> std::string {
        if (rec.Path.empty()) return "-";
        std::string rel = rec.Path.str().substr(rootLen);
        return rec.IsFolder() ? rel + "/" : rel + "/" + rec.Name;
    };
    static const char* kStatus[] = {"left", "right", "differ"};
    return std::string(kStatus[static_cast<int>(row.Status)]) + " " + side(row.Left, engine.LeftRootLen) + " " +
           side(row.Right, engine.RightRootLen);
}

std::vector<std::string> Compare(TKNFileCompare& engine, const Trees& t)
{
    engine.SetLeftFolder(t.left);
    engine.SetRightFolder(t.right);
    engine.Compare(true);
    std::vector<std::string> rows;
    for (const auto& row : engine.Items) rows.push_back(Describe(*row, engine));
    return rows;
}

using Rows = std::vector<std::string>;

}  // namespace

TEST(Pairing, IdenticalTreesGiveNoRows)
{
    Trees t;
    for (const auto* side : {&t.left, &t.right}) {
        t.File(*side, "a.txt", "abc");
        t.File(*side, "d/b.txt", "xy");
        testutil::SetMTime(*side + "/d", kTen);
    }
    TKNFileCompare engine;
    EXPECT_EQ(Compare(engine, t), Rows{});
    EXPECT_EQ(engine.State, 0);
    EXPECT_TRUE(engine.LeftList.Items.empty());  // scan lists are emptied after pairing
    EXPECT_TRUE(engine.RightList.Items.empty());
}

TEST(Pairing, OneSidedEntriesAndStatuses)
{
    Trees t;
    t.File(t.left, "only-left.txt", "1");
    t.File(t.right, "newdir/inside.txt", "1");
    t.File(t.left, "newer-left.txt", "1", kTen + 2);
    t.File(t.right, "newer-left.txt", "1", kTen);
    t.File(t.left, "newer-right.txt", "1", kTen);
    t.File(t.right, "newer-right.txt", "1", kTen + 2);
    t.File(t.left, "size.txt", "0123456789");
    t.File(t.right, "size.txt", "01234567890");
    t.File(t.left, "ro.txt", "1");
    t.File(t.right, "ro.txt", "1");
    chmod((t.right + "/ro.txt").c_str(), 0444);
    t.File(t.left, "same.txt", "1");
    t.File(t.right, "same.txt", "1");
    TKNFileCompare engine;
    EXPECT_EQ(Compare(engine, t), (Rows{
                                      "left /newer-left.txt /newer-left.txt",
                                      "right /newer-right.txt /newer-right.txt",
                                      "left /only-left.txt -",
                                      "differ /ro.txt /ro.txt",
                                      "differ /size.txt /size.txt",
                                      "right - /newdir/",
                                      "right - /newdir/inside.txt",
                                  }));
    const TMyFileOpt& oneSided = *engine.Items[2];
    EXPECT_EQ(oneSided.Right.Time, -1.0);
    EXPECT_EQ(oneSided.Right.Size, 0);
    EXPECT_EQ(oneSided.Right.Attr, 0u);
    EXPECT_EQ(oneSided.LeftImage, -2);
    EXPECT_EQ(oneSided.Left.Name, "only-left.txt");
    EXPECT_EQ(oneSided.Left.Path.str(), t.left);
}

TEST(Pairing, FoldersCompareByAttributesOnly)
{
    Trees t;
    testutil::MakeDirs(t.left + "/same");
    testutil::MakeDirs(t.right + "/same");
    testutil::SetMTime(t.left + "/same", kTen);  // folder times never make a row
    testutil::MakeDirs(t.left + "/ro");
    testutil::MakeDirs(t.right + "/ro");
    chmod((t.left + "/ro").c_str(), 0555);
    TKNFileCompare engine;
    EXPECT_EQ(Compare(engine, t), Rows{"differ /ro/ /ro/"});
    chmod((t.left + "/ro").c_str(), 0755);
}

TEST(Pairing, CaseSensitiveNamesAndFileFolderClash)
{
    Trees t;
    t.File(t.left, "Readme.txt", "1");
    t.File(t.right, "README.txt", "1");
    t.File(t.left, "x", "file");
    testutil::MakeDirs(t.right + "/x");
    TKNFileCompare engine;
    EXPECT_EQ(Compare(engine, t), (Rows{
                                      "right - /README.txt",
                                      "left /Readme.txt -",
                                      "left /x -",
                                      "right - /x/",
                                  }));
}

// A missing side is no empty tree: pairing it would make every entry one-sided, and a forced
// update would then delete the other side's files.
TEST(Pairing, MissingSideFailsTheComparison)
{
    Trees t;
    t.File(t.left, "a.txt", "1");
    t.File(t.dir.path(), "file", "1");
    for (const std::string& missing : {t.dir / "missing", t.dir / "file"}) {
        TKNFileCompare engine;
        engine.SetLeftFolder(t.left);
        engine.SetRightFolder(missing);
        engine.Compare(true);
        EXPECT_TRUE(engine.Items.empty()) << missing;
        EXPECT_EQ(engine.ErrorText, "The folder \"" + missing + "\" does not exist.");
    }
}

TEST(Pairing, RootWithTrailingSeparatorPairsTheSame)
{
    Trees t;
    t.File(t.left, "d/a.txt", "1", kTen + 2);
    t.File(t.right, "d/a.txt", "1");
    TKNFileCompare engine;
    engine.SetLeftFolder(t.left + "/");
    engine.SetRightFolder(t.right);
    engine.Compare(true);
    std::vector<std::string> rows;
    for (const auto& row : engine.Items) rows.push_back(Describe(*row, engine));
    EXPECT_EQ(rows, (Rows{"left /d/a.txt /d/a.txt"}));
}

// A provider whose attribute keys are a fixed value: -1, unknown as on an FTP side, or a known
// key that never equals a local entry's.
template <int32_t Key>
class FixedAttrKeyProvider : public TKNScanProviderSide {
public:
    int32_t AttrKey(const TKNFileRec&) override { return Key; }
};

Rows PairedWithRightProvider(std::unique_ptr<TKNScanProvider> provider)
{
    Trees t;
    t.File(t.left, "f.txt", "1");
    t.File(t.right, "f.txt", "1");
    testutil::MakeDirs(t.left + "/d");
    testutil::MakeDirs(t.right + "/d");
    TKNFileCompare engine;
    engine.SetLeftFolder(t.left);
    engine.SetRightFolder(t.right);
    engine.RightList.Provider = std::move(provider);
    engine.Compare(true);
    Rows rows;
    for (const auto& row : engine.Items) rows.push_back(Describe(*row, engine));
    return rows;
}

TEST(Pairing, AttributeKeysComeFromEachSidesProvider)
{
    EXPECT_EQ(PairedWithRightProvider(std::make_unique<FixedAttrKeyProvider<0x7F>>()),
              (Rows{"differ /f.txt /f.txt", "differ /d/ /d/"}));
    // A key the side does not know is no difference, for files and folders alike.
    EXPECT_EQ(PairedWithRightProvider(std::make_unique<FixedAttrKeyProvider<-1>>()), Rows{});
}

// A side that could not show names beginning with ".", as a server hiding them: its scan lists
// none, and the other side's dot entries must not be taken for entries it lacks.
class DotHidingProvider : public TKNScanProviderSide {
public:
    void Close() override
    {
        TKNScanProviderSide::Close();
        DotEntriesUnknown = true;
    }
};

TEST(Pairing, RowsUnderDotNamesAreUnknownWhereASideHidesThem)
{
    Trees t;
    t.File(t.left, ".htaccess", "deny");
    t.File(t.left, ".git/config", "x");
    t.File(t.left, "page.html", "p");
    TKNFileCompare engine;
    engine.SetLeftFolder(t.left);
    engine.SetRightFolder(t.right);
    engine.RightList.Provider = std::make_unique<DotHidingProvider>();
    engine.Compare(true);
    std::map<std::string, bool> unlisted;
    for (const auto& row : engine.Items)
        unlisted[row->Left.Name.empty() ? row->Left.Path.str().substr(engine.LeftRootLen) : row->Left.Name] =
            row->Unlisted;
    const std::map<std::string, bool> expected = {
        {".htaccess", true}, {"/.git", true}, {"config", true}, {"page.html", false}};
    EXPECT_EQ(unlisted, expected);
}

// Records whose times are known only to the minute, as a LIST line gives them.
class MinuteProvider : public TKNScanProviderSide {
public:
    bool FindFirst(const std::string& Folder, uint32_t Mask, std::unique_ptr<TKNFileRec>& Rec) override
    {
        return Minute(TKNScanProviderSide::FindFirst(Folder, Mask, Rec), Rec);
    }
    bool FindNext(std::unique_ptr<TKNFileRec>& Rec) override { return Minute(TKNScanProviderSide::FindNext(Rec), Rec); }

private:
    static bool Minute(bool found, std::unique_ptr<TKNFileRec>& Rec)
    {
        if (found) Rec->TimeStep = 60;
        return found;
    }
};

TEST(Pairing, TimesCompareAtTheCoarserSidesStep)
{
    Trees t;
    t.File(t.left, "same-minute.txt", "1", kTen + 6);
    t.File(t.right, "same-minute.txt", "1", kTen + 58);
    t.File(t.left, "next-minute.txt", "1", kTen + 58);
    t.File(t.right, "next-minute.txt", "1", kTen + 62);
    TKNFileCompare engine;
    engine.SetLeftFolder(t.left);
    engine.SetRightFolder(t.right);
    engine.Compare(true);
    ASSERT_EQ(engine.Items.size(), 2u) << "both sides local: 2-second steps, both pairs differ";
    engine.RightList.Provider = std::make_unique<MinuteProvider>();
    engine.Compare(true);
    Rows rows;
    for (const auto& row : engine.Items) rows.push_back(Describe(*row, engine));
    EXPECT_EQ(rows, (Rows{"right /next-minute.txt /next-minute.txt"}));
}

// A local side that tells other capabilities: a coarse time step while its entries keep
// seconds, or no folders of its own (an object store).
class CapsProvider : public TKNScanProviderSide {
public:
    explicit CapsProvider(TKNSideCaps caps) : caps_(std::move(caps)) {}
    const TKNSideCaps* SideCaps() const override { return &caps_; }

private:
    TKNSideCaps caps_;
};

TEST(Pairing, SidesCapabilitiesDecideTimesAndFolders)
{
    Trees t;
    t.File(t.left, "same-minute.txt", "1", kTen + 6);
    t.File(t.right, "same-minute.txt", "1", kTen + 58);
    t.File(t.left, "next-minute.txt", "1", kTen + 58);
    t.File(t.right, "next-minute.txt", "1", kTen + 62);
    testutil::MakeDirs(t.left + "/empty/inner");
    t.File(t.left, "full/a.txt", "a");
    testutil::MakeDirs(t.right + "/alone");
    TKNSideCaps minutes, noFolders;
    minutes.TimeStep = 60;
    noFolders.EmptyFolders = false;
    struct Case {
        const char* name;
        TKNSideCaps caps;
        Rows rows;
    } cases[] = {
        {"Everything",
         {},
         {"left /empty/ -", "left /full/ -", "right - /alone/", "left /empty/inner/ -", "left /full/a.txt -",
          "right /same-minute.txt /same-minute.txt", "right /next-minute.txt /next-minute.txt"}},
        {"Minutes",
         minutes,
         {"left /empty/ -", "left /full/ -", "right - /alone/", "left /empty/inner/ -", "left /full/a.txt -",
          "right /next-minute.txt /next-minute.txt"}},
        // The right holds no folders: the left's empty ones are no difference, one holding a
        // file is; the right's own folder still is one for the left.
        {"NoEmptyFolders",
         noFolders,
         {"left /full/ -", "right - /alone/", "left /full/a.txt -", "right /same-minute.txt /same-minute.txt",
          "right /next-minute.txt /next-minute.txt"}},
    };
    for (const Case& c : cases) {
        TKNFileCompare engine;
        engine.SetLeftFolder(t.left);
        engine.SetRightFolder(t.right);
        engine.RightList.Provider = std::make_unique<CapsProvider>(c.caps);
        engine.Compare(true);
        Rows rows;
        for (const auto& row : engine.Items) rows.push_back(Describe(*row, engine));
        std::sort(rows.begin(), rows.end());
        Rows expected = c.rows;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(rows, expected) << c.name;
    }
}

TEST(CompareEvents, OrderOfReports)
{
    Trees t;
    t.File(t.left, "a.txt", "1");
    TKNFileCompare engine;
    std::vector<std::string> log;
    engine.OnCompareStart = [&](void* sender) {
        EXPECT_EQ(sender, &engine);
        log.push_back("start");
    };
    engine.OnCompareDone = [&](void*) {
        log.push_back("done rows=" + std::to_string(engine.Items.size()));
        EXPECT_NE(engine.State, 0);  // State returns to 0 after the end report
    };
    engine.OnProgress = [&](void* sender, uint8_t state, const std::string& path) {
        std::string who = sender == &engine ? "engine" : sender == &engine.LeftList ? "left" : "right";
        if (state == 1 && sender != &engine) return;  // folder reports of two threads interleave
        log.push_back(who + " " + std::to_string(state) + (path.empty() ? "" : " path"));
    };
    Compare(engine, t);
    ASSERT_GE(log.size(), 8u);
    EXPECT_EQ(log[0], "engine 1");
    EXPECT_EQ(log[1], "start");
    std::vector<std::string> tail(log.end() - 3, log.end());
    EXPECT_EQ(tail, (Rows{"engine 3", "engine 0", "done rows=1"}));
    // Each side reports sorting and its end, both with State 2.
    EXPECT_EQ(std::count(log.begin(), log.end(), "left 2"), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), "right 2"), 2);
}

TEST(CompareEvents, StopDuringScanEndsWithEmptyResult)
{
    Trees t;
    for (int i = 0; i < 50; ++i) t.File(t.left, "d" + std::to_string(i) + "/f.txt", "1");
    TKNFileCompare engine;
    int done = 0;
    int lastState = -1;
    engine.OnCompareDone = [&](void*) { ++done; };
    engine.OnProgress = [&](void*, uint8_t state, const std::string& path) {
        lastState = state;
        if (state == 1 && !path.empty() && path != t.left && path != t.right) engine.StopCompare();
    };
    EXPECT_EQ(Compare(engine, t), Rows{});
    EXPECT_EQ(done, 1);
    EXPECT_EQ(lastState, 0);
    EXPECT_EQ(engine.State, 0);
    EXPECT_NE(engine.Stop, 0);

    // The engine compares normally again afterwards.
    engine.OnProgress = nullptr;
    EXPECT_EQ(Compare(engine, t).size(), 100u);
}

TEST(CompareEvents, StopBeforeTheScansStartIsKept)
{
    Trees t;
    t.File(t.left, "a.txt", "1");
    TKNFileCompare engine;
    engine.OnCompareStart = [&](void*) { engine.StopCompare(); };
    EXPECT_EQ(Compare(engine, t), Rows{});
}

TEST(CompareEvents, DestroyingARunningEngineStopsIt)
{
    Trees t;
    for (int i = 0; i < 50; ++i) t.File(t.left, "d" + std::to_string(i) + "/f.txt", "1");
    auto engine = std::make_unique<TKNFileCompare>();
    int done = 0;
    engine->OnCompareDone = [&](void*) { ++done; };
    engine->SetLeftFolder(t.left);
    engine->SetRightFolder(t.right);
    engine->Compare(false);
    engine.reset();      // must neither hang nor touch freed memory
    EXPECT_EQ(done, 1);  // the run still ended through its end report
}
