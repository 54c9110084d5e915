// The two-way decision per path as one table (every rule of the decision table, on a path with
// and without a state record, and on a first run), then the time precision behind "changed".
#include <gtest/gtest.h>

#include "tests/twoway/twoway_fixture.h"

namespace {

using kn::TKNOperation;
using twtest::File;

// The decisions of the table, by what they do and where.
struct D {
    TKNOperation op;
    bool right = false;
};
const D ToRight{TKNOperation::CopyLeftToRight, true}, ToLeft{TKNOperation::CopyRightToLeft, false},
    DelRight{TKNOperation::DeleteRight, true}, DelLeft{TKNOperation::DeleteLeft, false},
    TimeLeft{TKNOperation::SetTime, false}, TimeRight{TKNOperation::SetTime, true}, Nothing{TKNOperation::Nothing},
    Record{TKNOperation::Record}, Forget{TKNOperation::Forget}, Keep{TKNOperation::Keep},
    Conflict{TKNOperation::Conflict};

// What a side holds now, against a record of a 10-byte file at time 1000.
enum class V { Absent, Unknown, Same, Edited, Older, Other, Resized, EqualOld, EqualNew, Folder, LinkA, LinkB };

kn::TKNListedEntry Version(V v)
{
    switch (v) {
        case V::Same:
            return File("p", 10, 1000);
        case V::Edited:
            return File("p", 11, 2000);
        case V::Older:
            return File("p", 10, 500);
        case V::Other:
            return File("p", 12, 3000);
        case V::Resized:  // Edited's time, another size
            return File("p", 12, 2000);
        case V::EqualOld:  // the same bytes as EqualNew (their hashes were read), an older time
            return {"p", kn::TKNEntryKind::File, [] {
                        auto f = twtest::Facts(11, 2000);
                        f.Hash = "h";
                        return f;
                    }()};
        case V::EqualNew:
            return {"p", kn::TKNEntryKind::File, [] {
                        auto f = twtest::Facts(11, 2500);
                        f.Hash = "h";
                        return f;
                    }()};
        case V::Folder:
            return twtest::Folder("p");
        case V::LinkA:  // links of Same's size and time, their texts' hashes told apart
        case V::LinkB: {
            kn::TKNListedEntry link = File("p", 10, 1000);
            link.Link = true;
            link.Facts.Hash = v == V::LinkA ? "la" : "lb";
            return link;
        }
        default:
            return {};
    }
}

struct Case {
    const char* name;
    bool recorded;  // the state holds a record of the path
    V left, right;
    bool firstRun;
    D expected;
    bool keepOlder = false;
};

const Case kTable[] = {
    {"InLine", true, V::Same, V::Same, false, Nothing},
    {"EditedLeft", true, V::Edited, V::Same, false, ToRight},
    {"EditedRight", true, V::Same, V::Edited, false, ToLeft},
    {"MadeOlderLeft", true, V::Older, V::Same, false, ToRight},
    {"NewLeft", false, V::Edited, V::Absent, false, ToRight},
    {"NewRight", false, V::Absent, V::Edited, false, ToLeft},
    {"DeletedLeftUnchangedRight", true, V::Absent, V::Same, false, DelRight},
    {"DeletedRightUnchangedLeft", true, V::Same, V::Absent, false, DelLeft},
    {"DeletedLeftChangedRight", true, V::Absent, V::Edited, false, ToLeft},
    {"DeletedRightChangedLeft", true, V::Older, V::Absent, false, ToRight},
    {"ChangedBothEqualTimes", true, V::Edited, V::Edited, false, Record},
    {"ChangedBothEqualBytesLeftOlder", true, V::EqualOld, V::EqualNew, false, TimeLeft},
    {"ChangedBothEqualBytesRightOlder", true, V::EqualNew, V::EqualOld, false, TimeRight},
    {"ChangedBothDifferent", true, V::Edited, V::Other, false, Conflict},
    {"DeletedBoth", true, V::Absent, V::Absent, false, Forget},
    {"NewBothDifferent", false, V::Edited, V::Other, false, Conflict},
    {"NewBothEqual", false, V::Edited, V::Edited, false, Record},
    {"FileBecameFolderLeftIsLeftAlone", true, V::Folder, V::Same, false, Conflict},
    {"FileAndFolder", true, V::Folder, V::Edited, false, Conflict},
    {"UnlistedLeft", true, V::Unknown, V::Same, false, Keep},
    {"UnlistedRightChangedLeft", true, V::Edited, V::Unknown, false, Keep},
    {"FirstRunLeftOnly", false, V::Same, V::Absent, true, ToRight},
    {"FirstRunRightOnly", false, V::Absent, V::Same, true, ToLeft},
    {"FirstRunIgnoresAStaleRecord", true, V::Same, V::Absent, true, ToRight},
    {"FirstRunLeftNewer", false, V::Other, V::Edited, true, ToRight, true},
    {"FirstRunRightNewer", false, V::Same, V::Edited, true, ToLeft, true},
    {"FirstRunSameTimeDiffers", false, V::Edited, V::Resized, true, Conflict},
    {"FirstRunEqual", false, V::Same, V::Same, true, Record},
    {"FirstRunEqualBytes", false, V::EqualNew, V::EqualOld, true, TimeRight},
    {"FirstRunLinksOfOtherTexts", false, V::LinkA, V::LinkB, true, Conflict},
    {"FirstRunLinkAgainstAFileOfItsSizeAndTime", false, V::LinkA, V::Same, true, Conflict},
    {"FirstRunSameLinks", false, V::LinkA, V::LinkA, true, Record},
};

TEST(TwoWayDecide, EveryRuleOfTheTable)
{
    const kn::TKNStateEntry record = twtest::Record(File("p", 10, 1000));
    for (const Case& c : kTable) {
        const kn::TKNListedEntry left = Version(c.left), right = Version(c.right);
        kn::TKNTwoWayInput in;
        in.State = c.recorded ? &record : nullptr;
        in.Left = c.left == V::Absent || c.left == V::Unknown ? nullptr : &left;
        in.Right = c.right == V::Absent || c.right == V::Unknown ? nullptr : &right;
        in.LeftUnknown = c.left == V::Unknown;
        in.RightUnknown = c.right == V::Unknown;
        const kn::TKNTwoWayDecision got = kn::TwoWayDecide(in, {c.firstRun, 0});
        EXPECT_EQ(got, (kn::TKNTwoWayDecision{c.expected.op, c.expected.right, c.keepOlder}))
            << c.name << ": got " << kn::OperationName(got.Op) << (got.WritesRight ? " on the right" : "")
            << (got.KeepOlder ? " keeping the older" : "");
    }
}

// A side's facts to the nanosecond, with a change time and inode, as a local listing gives them.
kn::TKNSideFacts Exact(int64_t mtime, int32_t nsec, int64_t ctime, uint64_t inode)
{
    kn::TKNSideFacts f = twtest::Facts(10, mtime, inode);
    f.MTimeNsec = nsec;
    f.CTime = ctime;
    return f;
}

// "Changed" compares times cut to the coarser precision of the record and the listing, and
// forgives whole-hour shifts up to the ignored hours; below the second, and by change time and
// inode, where both know them (a move changes the change time, so a move's check leaves it).
TEST(TwoWayDecide, ChangedAtEachSidesPrecision)
{
    struct Row {
        const char* name;
        kn::TKNSideFacts recorded, now;
        int hours;
        bool changed;
        bool moved = false;
    } rows[] = {
        {"SameNanosecond", Exact(1000, 5, 1000, 7), Exact(1000, 5, 1000, 7), 0, false},
        {"EditWithinTheSecond", Exact(1000, 5, 1000, 7), Exact(1000, 900, 1000, 7), 0, true},
        {"NanosecondsNotRecorded", twtest::Facts(10, 1000, 7), Exact(1000, 900, 1000, 7), 0, false},
        {"ChangeTimeMoved", Exact(1000, 5, 1000, 7), Exact(1000, 5, 1001, 7), 0, true},
        {"ChangeTimeOfAMove", Exact(1000, 5, 1000, 7), Exact(1000, 5, 1001, 7), 0, false, true},
        {"OtherInode", Exact(1000, 5, 1000, 7), Exact(1000, 5, 1000, 8), 0, true},
        {"Same", twtest::Facts(10, 1000), twtest::Facts(10, 1000), 0, false},
        {"Size", twtest::Facts(10, 1000), twtest::Facts(9, 1000), 0, true},
        {"OneSecond", twtest::Facts(10, 1000), twtest::Facts(10, 1001), 0, true},
        {"WithinTheListedMinute", twtest::Facts(10, 60 * 1000 + 5, 0, 60), twtest::Facts(10, 60 * 1000 + 50, 0, 60), 0,
         false},
        {"NextMinute", twtest::Facts(10, 60 * 1000 + 5, 0, 60), twtest::Facts(10, 60 * 1001, 0, 60), 0, true},
        {"ListingNowShowsTheDayOnly", twtest::Facts(10, 86400 * 3 + 600, 0, 60), twtest::Facts(10, 86400 * 3, 0, 86400),
         0, false},
        {"HourShiftIgnored", twtest::Facts(10, 1000), twtest::Facts(10, 1000 + 3600), 1, false},
        {"HourShiftCounted", twtest::Facts(10, 1000), twtest::Facts(10, 1000 + 3600), 0, true},
        {"TwoHoursWithOneIgnored", twtest::Facts(10, 1000), twtest::Facts(10, 1000 - 7200), 1, true},
    };
    for (const Row& r : rows) EXPECT_EQ(kn::FactsChanged(r.recorded, r.now, r.hours, r.moved), r.changed) << r.name;
}

}  // namespace
