// The row rule as a table: every row shape (status, file or folder, one side or both) under
// every direction with and without force; then the totals, their words and the guard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/kn_unitUpdate.h"
#include "engine/kn_unitUpdateOp.h"
#include "engine/kn_unitUpdatePlan.h"

namespace {

using kn::TKNAction;
using kn::TKNOperation;
using kn::TKNPlannedOp;
using kn::TKNSkipReason;
using kn::TKNStatus;

kn::TKNFileRec File(const std::string& folder, const std::string& name, int64_t size)
{
    kn::TKNFileRec rec;
    rec.Path = folder;
    rec.Name = name;
    rec.Size = size;
    return rec;
}

kn::TKNFileRec Folder(const std::string& path)
{
    kn::TKNFileRec rec;
    rec.Path = path;
    rec.Attr = kn::faDirectory;
    return rec;
}

enum class Shape { FileOnly, FileBoth, FolderOnly, DifferSameSize, DifferSizes, DifferFolder };

// A row of the shape with its status side `left` (for the Differ shapes, status Differ).
kn::TMyFileOpt Row(Shape shape, bool left)
{
    kn::TMyFileOpt row;
    kn::TKNFileRec& mine = left ? row.Left : row.Right;
    kn::TKNFileRec& other = left ? row.Right : row.Left;
    const std::string root = left ? "/l" : "/r", otherRoot = left ? "/r" : "/l";
    row.Status = left ? TKNStatus::Left : TKNStatus::Right;
    switch (shape) {
        case Shape::FileOnly:
            mine = File(root, "a.txt", 5);
            break;
        case Shape::FileBoth:
            mine = File(root, "a.txt", 5);
            other = File(otherRoot, "a.txt", 7);
            break;
        case Shape::FolderOnly:
            mine = Folder(root + "/d");
            break;
        case Shape::DifferSameSize:
            row = {File("/l", "a.txt", 5), File("/r", "a.txt", 5), TKNStatus::Differ};
            break;
        case Shape::DifferSizes:
            row = {File("/l", "a.txt", 5), File("/r", "a.txt", 9), TKNStatus::Differ};
            break;
        case Shape::DifferFolder:
            row = {Folder("/l/d"), Folder("/r/d"), TKNStatus::Differ};
            break;
    }
    return row;
}

const TKNPlannedOp CLR{TKNOperation::CopyLeftToRight, true};
const TKNPlannedOp CRL{TKNOperation::CopyRightToLeft, false};
const TKNPlannedOp DL{TKNOperation::DeleteLeft, false};
const TKNPlannedOp DR{TKNOperation::DeleteRight, true};
const TKNPlannedOp MkL{TKNOperation::CreateFolder, false};
const TKNPlannedOp MkR{TKNOperation::CreateFolder, true};
const TKNPlannedOp RmL{TKNOperation::RemoveFolder, false};
const TKNPlannedOp RmR{TKNOperation::RemoveFolder, true};
const TKNPlannedOp AtL{TKNOperation::SetAttributes, false};
const TKNPlannedOp AtR{TKNOperation::SetAttributes, true};
const TKNPlannedOp NF{TKNOperation::Nothing, false, TKNSkipReason::NotForced};
const TKNPlannedOp AD{TKNOperation::Nothing, false, TKNSkipReason::AutoDiffer};

// Expected operations in the order: L2R, L2R forced, R2L, R2L forced, Auto, Auto forced.
struct RuleRow {
    const char* name;
    Shape shape;
    bool left;
    TKNPlannedOp expected[6];
};

const RuleRow kRules[] = {
    {"LeftFileOnly", Shape::FileOnly, true, {CLR, CLR, NF, DL, CLR, CLR}},
    {"LeftFileNewer", Shape::FileBoth, true, {CLR, CLR, NF, CRL, CLR, CLR}},
    {"LeftFolderOnly", Shape::FolderOnly, true, {MkR, MkR, NF, RmL, MkR, MkR}},
    {"RightFileOnly", Shape::FileOnly, false, {NF, DR, CRL, CRL, CRL, CRL}},
    {"RightFileNewer", Shape::FileBoth, false, {NF, CLR, CRL, CRL, CRL, CRL}},
    {"RightFolderOnly", Shape::FolderOnly, false, {NF, RmR, MkL, MkL, MkL, MkL}},
    {"DifferSameSize", Shape::DifferSameSize, true, {NF, AtR, NF, AtL, AD, AD}},
    {"DifferSizes", Shape::DifferSizes, true, {NF, CLR, NF, CRL, AD, AD}},
    {"DifferFolder", Shape::DifferFolder, true, {NF, AtR, NF, AtL, AD, AD}},
};

// Sides that can do everything the rules ask (as two local folders can).
const kn::TKNPairCaps kAll{};

struct Command {
    const char* name;
    TKNAction action;
    bool force;
};
const Command kRuns[6] = {{"LeftToRight", TKNAction::LeftToRight, false},
                          {"ForceLeftToRight", TKNAction::LeftToRight, true},
                          {"RightToLeft", TKNAction::RightToLeft, false},
                          {"ForceRightToLeft", TKNAction::RightToLeft, true},
                          {"Auto", TKNAction::Auto, false},
                          {"ForceAuto", TKNAction::Auto, true}};

std::string Describe(const TKNPlannedOp& op)
{
    return kn::PlanText(op) + (op.IsNothing() ? "" : op.WritesRight ? " [writes right]" : " [writes left]");
}

TEST(UpdatePlanRule, EveryStatusDirectionForceAndKind)
{
    for (const RuleRow& rule : kRules)
        for (int i = 0; i < 6; ++i) {
            const TKNPlannedOp got = kn::PlanRow(Row(rule.shape, rule.left), kRuns[i].action, kRuns[i].force, kAll);
            EXPECT_EQ(got, rule.expected[i]) << rule.name << " under " << kRuns[i].name << ": got \"" << Describe(got)
                                             << "\", expected \"" << Describe(rule.expected[i]) << "\"";
        }
}

// A row alone cannot tell a deletion from a new entry: TwoWay, and any value a damaged record
// may hold, plan as Auto does and never delete, forced or not.
TEST(UpdatePlanRule, TwoWayAndUnknownActionsPlanAsAutoAndNeverDelete)
{
    for (const RuleRow& rule : kRules)
        for (TKNAction action : {TKNAction::TwoWay, static_cast<TKNAction>(4), static_cast<TKNAction>(255)})
            for (bool force : {false, true})
                EXPECT_EQ(kn::PlanRow(Row(rule.shape, rule.left), action, force, kAll), rule.expected[4])
                    << rule.name << " under action " << static_cast<int>(action) << (force ? " forced" : "");
}

TEST(UpdatePlanRule, UnlistedRowsGetNothingWhateverTheCommand)
{
    for (const RuleRow& rule : kRules)
        for (const Command& run : kRuns) {
            kn::TMyFileOpt row = Row(rule.shape, rule.left);
            row.Unlisted = true;
            EXPECT_EQ(kn::PlanRow(row, run.action, run.force, kAll),
                      (TKNPlannedOp{TKNOperation::Nothing, false, TKNSkipReason::Unlisted}))
                << rule.name << " under " << run.name;
        }
}

// A link kept as a link is copied like a file, onto a side that holds links only; against a
// file of the same size it is no attribute change.
TEST(UpdatePlanRule, LinksAreMadeOnlyWhereTheWrittenSideHoldsThem)
{
    kn::TKNFileRec link = File("/l", "a", 5);
    link.Link = true;
    kn::TKNPairCaps links;
    links.Left.Links = links.Right.Links = true;
    const kn::TMyFileOpt lone{link, {}, TKNStatus::Left};
    EXPECT_EQ(kn::PlanRow(lone, TKNAction::LeftToRight, false, links), CLR);
    EXPECT_EQ(kn::PlanRow(lone, TKNAction::LeftToRight, false, kAll),
              (TKNPlannedOp{TKNOperation::Nothing, false, TKNSkipReason::NoLinks}));
    const kn::TMyFileOpt overFile{link, File("/r", "a", 5), TKNStatus::Differ};
    EXPECT_EQ(kn::PlanRow(overFile, TKNAction::LeftToRight, true, links), CLR);
    EXPECT_EQ(kn::PlanRow(overFile, TKNAction::RightToLeft, true, links), CRL) << "a file over the link";
    EXPECT_EQ(kn::PlanRow(overFile, TKNAction::LeftToRight, true, kAll).Reason, TKNSkipReason::NoLinks);
}

TEST(UpdatePlanTotals, CountsEachKindAndTheBytesOfTheCopiedSide)
{
    std::vector<std::unique_ptr<kn::TMyFileOpt>> rows;
    auto add = [&rows](kn::TMyFileOpt row) { rows.push_back(std::make_unique<kn::TMyFileOpt>(std::move(row))); };
    add(Row(Shape::FileBoth, true));        // copy 5 bytes to the right
    add(Row(Shape::DifferSizes, true));     // copy 5 bytes (the left's size) to the right
    add(Row(Shape::FileOnly, false));       // delete on the right
    add(Row(Shape::FolderOnly, false));     // remove on the right
    add(Row(Shape::FolderOnly, true));      // create on the right
    add(Row(Shape::DifferSameSize, true));  // attributes
    add(Row(Shape::DifferFolder, true));    // attributes
    kn::TMyFileOpt unlisted = Row(Shape::FileOnly, false);
    unlisted.Unlisted = true;
    add(unlisted);
    const kn::TKNPlanTotals all =
        kn::PlanTotals(rows, {0, 1, 2, 3, 4, 5, 6, 7, 99, -1}, TKNAction::LeftToRight, true, kAll);
    EXPECT_EQ(all.FilesToCopy, 2);
    EXPECT_EQ(all.BytesToCopy, 10);
    EXPECT_EQ(all.FilesToDelete, 1);
    EXPECT_EQ(all.FoldersToRemove, 1);
    EXPECT_EQ(all.FoldersToCreate, 1);
    EXPECT_EQ(all.AttributeChanges, 2);
    EXPECT_EQ(all.Deletions(), 2);
    // Only the rows asked for count; without force the one-sided right entries stay.
    const kn::TKNPlanTotals some = kn::PlanTotals(rows, {1, 2, 3}, TKNAction::LeftToRight, false, kAll);
    EXPECT_EQ(some.FilesToCopy, 0);
    EXPECT_EQ(some.Deletions(), 0);
    const kn::TKNPlanTotals back = kn::PlanTotals(rows, {0, 2, 3}, TKNAction::RightToLeft, true, kAll);
    EXPECT_EQ(back.FilesToCopy, 2);
    EXPECT_EQ(back.BytesToCopy, 12);  // the right sides: 7 and 5 bytes
    EXPECT_EQ(back.FoldersToCreate, 1);
    EXPECT_EQ(back.Deletions(), 0);
}

TEST(UpdatePlanTotals, SummaryNamesOnlyWhatHappens)
{
    struct Case {
        const char* name;
        kn::TKNPlanTotals totals;
        const char* expected;
    } cases[] = {
        {"Empty", {}, "Nothing to do"},
        {"Issue", {12, 3565158, 328, 2, 0, 0}, "12 files to copy (3.4 MiB), 328 to delete, 2 folders to create"},
        {"Singular",
         {1, 1, 1, 1, 1, 1},
         "1 file to copy (1 byte), 1 to delete, 1 folder to create, 1 folder to remove, 1 attribute change"},
        {"DeleteOnly", {0, 0, 5, 0, 3, 0}, "5 to delete, 3 folders to remove"},
        {"Attributes", {0, 0, 0, 0, 0, 4}, "4 attribute changes"},
    };
    for (const Case& c : cases) EXPECT_EQ(kn::PlanSummary(c.totals), c.expected) << c.name;
}

TEST(UpdatePlanGuard, MoreThanTenAndMoreThanHalf)
{
    EXPECT_TRUE(kn::TripsDeletionGuard(328, 333));
    EXPECT_TRUE(kn::TripsDeletionGuard(11, 21));
    EXPECT_FALSE(kn::TripsDeletionGuard(11, 22));   // exactly half
    EXPECT_FALSE(kn::TripsDeletionGuard(10, 10));   // not more than ten
    EXPECT_TRUE(kn::TripsDeletionGuard(333, 333));  // everything
    EXPECT_FALSE(kn::TripsDeletionGuard(0, 0));
}

TEST(UpdatePlanTotals, PlanAndDoneLinesNameEveryKind)
{
    const kn::TKNPlanTotals totals{12, 3565158, 328, 2, 1, 4};
    EXPECT_EQ(kn::PlanLine(totals),
              "Plan: 12 files to copy (3565158 bytes), 328 to delete, 2 folders to create, 1 "
              "folder to remove, 4 attribute changes.");
    kn::TKNUpdateOutcome outcome;
    outcome.Done = totals;
    outcome.Failures.resize(3);
    EXPECT_EQ(kn::DoneLine(outcome),
              "Done: 12 files copied (3565158 bytes), 328 deleted, 2 folders created, 1 "
              "folder removed, 4 attribute changes, 3 failed.");
    outcome.BackupFolder = "/opt/kestrune/261209021500";
    EXPECT_TRUE(kn::DoneLine(outcome).ends_with("3 failed. Backup folder: /opt/kestrune/261209021500"));
}

}  // namespace

// The modes the updater gives: the read-only bit as the entry's own bits without (with) the
// write bits, or the usual ones where a server tells none; a new folder's bits from its source,
// always searchable and writable by its owner; set-ID bits only where the owner stays.
TEST(UpdateModeRules, ReadOnlyNewFoldersAndOwners)
{
    struct ReadOnlyCase {
        uint32_t mode;
        bool known, folder, readOnly;
        uint32_t expected;
    };
    for (const ReadOnlyCase& c : {ReadOnlyCase{0754, true, false, true, 0554},
                                  {0440, true, false, false, 0640},
                                  {0, false, true, true, 0555},
                                  {0, false, false, false, 0644},
                                  {04755, true, false, true, 04555},
                                  {0555, true, true, false, 0755}})
        EXPECT_EQ(kn::ModeForReadOnly(c.mode, c.known, c.folder, c.readOnly), c.expected) << std::oct << c.mode;
    EXPECT_EQ(kn::ModeForNewFolder(0700, false), 0700u);
    EXPECT_EQ(kn::ModeForNewFolder(0750, false), 0750u);
    EXPECT_EQ(kn::ModeForNewFolder(0555, false), 0755u) << "its files are copied in afterwards";
    EXPECT_EQ(kn::ModeForNewFolder(02770, false), 0770u);
    EXPECT_EQ(kn::ModeForNewFolder(02770, true), 02770u);

    kn::TKNSideCaps owners, none;
    owners.Owners = true;
    EXPECT_TRUE(kn::CopyKeepsOwner(owners, owners, 1000, 1000));
    EXPECT_FALSE(kn::CopyKeepsOwner(owners, owners, 1234, 1000));
    EXPECT_FALSE(kn::CopyKeepsOwner(owners, owners, 1000, -1)) << "a server's writer is not known";
    EXPECT_FALSE(kn::CopyKeepsOwner(none, owners, 1000, 1000));
    EXPECT_FALSE(kn::CopyKeepsOwner(owners, none, 1000, 1000));
}

// What a written entry must still be: the record's exact time, size and inode where the scan
// filled them; from its local date-time (two seconds) where it did not.
TEST(UpdateModeRules, ExpectedOfARecord)
{
    kn::TKNFileRec exact;
    exact.Path = "/r";
    exact.Name = "a.txt";
    exact.Size = 5;
    exact.MTime = 1700000001;
    exact.TimeStep = 1;
    exact.ModeKnown = true;
    exact.Inode = 77;
    const kn::TKNExpected e = kn::ExpectedOfRecord(exact);
    EXPECT_TRUE(e.Known && e.Exists);
    EXPECT_EQ(e.Size, 5);
    EXPECT_EQ(e.MTime, 1700000001);
    EXPECT_EQ(e.TimeStep, 1u);
    EXPECT_EQ(e.Inode, 77u);

    kn::TKNFileRec dated = exact;
    dated.MTime = 0;
    dated.ModeKnown = false;
    dated.Time = vex::UnixToDosDateTime(1700000001, vex::LocalOffsetNow());
    const kn::TKNExpected d = kn::ExpectedOfRecord(dated);
    EXPECT_EQ(d.TimeStep, 2u);
    EXPECT_EQ(d.MTime / 2, 1700000001 / 2);
}

namespace {

// Copies of names of one source file wait for the first one, so that the written side gets
// another name of it; only where that side can hold one, for files with more than one name on
// the same device, and never in place of what a copy waits for already (its backup).
TEST(UpdateHardLinks, LaterNamesOfOneFileWaitForTheFirstCopy)
{
    struct Name {
        uint64_t device, inode;
        uint32_t names;
        bool toRight;
        int after;  // as planned
    };
    struct Case {
        const char* what;
        std::vector<Name> names;
        bool leftHolds, rightHolds;
        std::vector<int> after;  // as joined
    };
    const Case cases[] = {
        {"one file", {{1, 7, 3, true, -1}, {1, 7, 3, true, -1}, {1, 7, 3, true, -1}}, false, true, {-1, 0, 0}},
        {"the side cannot hold them", {{1, 7, 2, true, -1}, {1, 7, 2, true, -1}}, true, false, {-1, -1}},
        {"other devices", {{1, 7, 2, true, -1}, {2, 7, 2, true, -1}}, false, true, {-1, -1}},
        {"one name each", {{1, 7, 1, true, -1}, {1, 7, 1, true, -1}}, false, true, {-1, -1}},
        {"no inodes", {{0, 0, 2, true, -1}, {0, 0, 2, true, -1}}, false, true, {-1, -1}},
        {"waits for its backup", {{1, 7, 2, true, -1}, {1, 7, 2, true, 0}}, false, true, {-1, 0}},
        {"backup first", {{1, 7, 2, true, -1}, {1, 8, 2, true, -1}, {1, 7, 2, true, 1}}, false, true, {-1, -1, 1}},
        {"both ways", {{1, 7, 2, true, -1}, {1, 7, 2, false, -1}, {1, 7, 2, false, -1}}, true, true, {-1, -1, 1}},
    };
    for (const Case& c : cases) {
        std::vector<kn::TMyFileOpt> rows(c.names.size());
        std::vector<kn::TKNOp> ops(c.names.size());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            const Name& n = c.names[i];
            kn::TKNFileRec& source = n.toRight ? rows[i].Left : rows[i].Right;
            source = File(n.toRight ? "/l" : "/r", "f" + std::to_string(i), 5);
            source.Device = n.device;
            source.Inode = n.inode;
            source.HardLinks = n.names;
            ops[i].Op = n.toRight ? TKNOperation::CopyLeftToRight : TKNOperation::CopyRightToLeft;
            ops[i].WritesRight = n.toRight;
            ops[i].Path = "f" + std::to_string(i);
            ops[i].Pair = &rows[i];
            ops[i].After = n.after;
        }
        const bool holds[2] = {c.leftHolds, c.rightHolds};
        kn::JoinHardLinks(ops, holds);
        std::vector<int> after;
        for (const kn::TKNOp& op : ops) after.push_back(op.After);
        EXPECT_EQ(after, c.after) << c.what;
    }
}

}  // namespace
