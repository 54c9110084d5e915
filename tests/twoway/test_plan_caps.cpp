// Both planners under every combination of the written side's capabilities that changes a
// decision: one-way rows (content-equal copy, a folder to make, attributes) and two-way plans
// (a moved file, a moved folder, a new folder, equal bytes at other times).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/kn_unitUpdatePlan.h"
#include "tests/twoway/twoway_fixture.h"

namespace {

using kn::TKNOperation;
using kn::TKNPlannedOp;
using kn::TKNSkipReason;
using twtest::File;
using twtest::Folder;
using Entries = std::vector<kn::TKNListedEntry>;
using Lines = std::vector<std::string>;

struct Caps {
    bool setTime = true, emptyFolders = true, setMode = true, rename = true, serverCopy = false;
};

kn::TKNSideCaps SideCaps(const Caps& c)
{
    kn::TKNSideCaps caps;
    caps.SetTime = c.setTime;
    caps.EmptyFolders = c.emptyFolders;
    caps.SetMode = c.setMode;
    caps.Rename = c.rename;
    caps.ServerCopy = c.serverCopy;
    return caps;
}

kn::TKNFileRec Rec(const std::string& path, const std::string& name, bool folder)
{
    kn::TKNFileRec rec;
    rec.Path = path;
    rec.Name = name;
    rec.Size = folder ? 0 : 5;
    if (folder) rec.Attr = kn::faDirectory;
    return rec;
}

// The one-way rows, each forced left to right: a copy of equal bytes at another time, a folder
// the right lacks, a pair that differs only in attributes.
std::vector<TKNPlannedOp> OneWay(const kn::TKNPairCaps& caps)
{
    kn::TMyFileOpt equal{Rec("/l", "a", false), Rec("/r", "a", false), kn::TKNStatus::Left};
    equal.ContentEqual = true;
    const kn::TMyFileOpt& same = equal;
    const kn::TMyFileOpt folder{Rec("/l/d", "", true), {}, kn::TKNStatus::Left};
    const kn::TMyFileOpt attrs{Rec("/l", "a", false), Rec("/r", "a", false), kn::TKNStatus::Differ};
    std::vector<TKNPlannedOp> ops;
    for (const kn::TMyFileOpt* row : {&same, &folder, &attrs})
        ops.push_back(kn::PlanRow(*row, kn::TKNAction::LeftToRight, true, caps));
    return ops;
}

Lines Ops(const kn::TKNTwoWayPlan& plan)
{
    Lines lines;
    for (const kn::TKNOp& op : plan.Ops) {
        std::string line = kn::OperationName(op.Op) + (op.WritesRight ? " R " : " L ") + op.Path;
        if (!op.NewPath.empty()) line += ">" + op.NewPath;
        lines.push_back(line);
    }
    return lines;
}

kn::TKNTwoWaySide Side(Entries entries)
{
    for (kn::TKNListedEntry& e : entries)
        if (e.Kind == kn::TKNEntryKind::File)
            e.Facts.Hash = std::to_string(e.Facts.Size) + "@" + std::to_string(e.Facts.MTime);
    kn::TKNTwoWaySide side;
    side.Entries = std::move(entries);
    return side;
}

// The two-way plans, with the right side holding `caps`: the left moved a file (c to c2) and a
// folder (d to e), and made a folder n holding a file and an empty folder m; both sides made p
// with the same bytes, the right's at an older time.
Lines TwoWay(const kn::TKNSideCaps& caps)
{
    const Entries was = {File("c", 20, 200), Folder("d"), File("d/x", 3, 30)};
    auto left = Side({File("c2", 20, 200), Folder("e"), File("e/x", 3, 30), Folder("m"), Folder("n"),
                      File("n/y", 1, 50), File("p", 4, 90)});
    auto right = Side({File("c", 20, 200), Folder("d"), File("d/x", 3, 30), File("p", 4, 40)});
    left.Entries.back().Facts.Hash = right.Entries.back().Facts.Hash = "same bytes";
    kn::TKNTwoWayOptions options;
    options.Caps[1] = caps;
    return Ops(kn::PlanTwoWay(twtest::Records(was), left, right, options));
}

const TKNPlannedOp kTime{TKNOperation::SetTime, true};
const TKNPlannedOp kMake{TKNOperation::CreateFolder, true};
const TKNPlannedOp kAttrs{TKNOperation::SetAttributes, true};
const TKNPlannedOp kSame{TKNOperation::Nothing, false, TKNSkipReason::SameBytes};
const TKNPlannedOp kNoFolder{TKNOperation::Nothing, false, TKNSkipReason::NoEmptyFolders};
const TKNPlannedOp kNoModes{TKNOperation::Nothing, false, TKNSkipReason::NoModes};

struct CapsCase {
    const char* name;
    Caps right;
    std::vector<TKNPlannedOp> oneWay;
    Lines twoWay;
};

const Lines kMoved = {"Create folder R m", "Create folder R n", "Rename R d>e",
                      "Rename R c>c2",     "Copy R n/y",        "Set time R p"};

const CapsCase kCases[] = {
    {"Everything", {}, {kTime, kMake, kAttrs}, kMoved},
    {"NoSetTime",
     {.setTime = false},
     {kSame, kMake, kAttrs},
     {"Create folder R m", "Create folder R n", "Rename R d>e", "Rename R c>c2", "Copy R n/y"}},
    {"NoModes", {.setMode = false}, {kTime, kMake, kNoModes}, kMoved},
    {"NoEmptyFolders",
     {.emptyFolders = false},
     {kTime, kNoFolder, kAttrs},
     {"Rename R d>e", "Rename R c>c2", "Copy R n/y", "Set time R p"}},
    // No rename but a copy of its own: the moved files are copied there, file by file for a
    // folder, never sent across.
    {"ServerCopyNoRename",
     {.rename = false, .serverCopy = true},
     {kTime, kMake, kAttrs},
     {"Create folder R e", "Create folder R m", "Create folder R n", "Copy on the side R d/x>e/x",
      "Copy on the side R c>c2", "Copy R n/y", "Set time R p", "Delete R d/x", "Delete R c", "Remove folder R d"}},
    {"ServerCopyNoRenameNoFolders",
     {.emptyFolders = false, .rename = false, .serverCopy = true},
     {kTime, kNoFolder, kAttrs},
     {"Copy on the side R d/x>e/x", "Copy on the side R c>c2", "Copy R n/y", "Set time R p", "Delete R d/x",
      "Delete R c", "Remove folder R d"}},
    {"NoRenameNoCopy",
     {.rename = false},
     {kTime, kMake, kAttrs},
     {"Create folder R e", "Create folder R m", "Create folder R n", "Copy R c2", "Copy R e/x", "Copy R n/y",
      "Set time R p", "Delete R c", "Delete R d/x", "Remove folder R d"}},
};

TEST(PlanCaps, EveryCombinationThatChangesADecision)
{
    for (const CapsCase& c : kCases) {
        kn::TKNPairCaps pair;
        pair.Right = SideCaps(c.right);
        EXPECT_EQ(OneWay(pair), c.oneWay) << c.name;
        // The capabilities of the side read, not written, change nothing.
        kn::TKNPairCaps swapped;
        swapped.Left = SideCaps(c.right);
        EXPECT_EQ(OneWay(swapped), (std::vector<TKNPlannedOp>{kTime, kMake, kAttrs})) << c.name;
        EXPECT_EQ(TwoWay(SideCaps(c.right)), c.twoWay) << c.name;
    }
}

}  // namespace
