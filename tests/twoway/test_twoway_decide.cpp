// The two-way decision per path as one table (every rule of the decision table, on a path with
// and without a state record, and on a first run), then the time precision behind "changed".
#include <gtest/gtest.h>

#include "tests/twoway/twoway_fixture.h"

namespace {

using kn::TKNTwoWayAct;
using twtest::File;

// What a side holds now, against a record of a 10-byte file at time 1000.
enum class V { Absent, Unknown, Same, Edited, Older, Other, Resized, EqualOld, EqualNew, Folder };

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
        default:
            return {};
    }
}

struct Case {
    const char* name;
    bool recorded;  // the state holds a record of the path
    V left, right;
    bool firstRun;
    TKNTwoWayAct expected;
    bool keepOlder = false;
};

const Case kTable[] = {
    {"InLine", true, V::Same, V::Same, false, TKNTwoWayAct::Nothing},
    {"EditedLeft", true, V::Edited, V::Same, false, TKNTwoWayAct::CopyToRight},
    {"EditedRight", true, V::Same, V::Edited, false, TKNTwoWayAct::CopyToLeft},
    {"MadeOlderLeft", true, V::Older, V::Same, false, TKNTwoWayAct::CopyToRight},
    {"NewLeft", false, V::Edited, V::Absent, false, TKNTwoWayAct::CopyToRight},
    {"NewRight", false, V::Absent, V::Edited, false, TKNTwoWayAct::CopyToLeft},
    {"DeletedLeftUnchangedRight", true, V::Absent, V::Same, false, TKNTwoWayAct::DeleteRight},
    {"DeletedRightUnchangedLeft", true, V::Same, V::Absent, false, TKNTwoWayAct::DeleteLeft},
    {"DeletedLeftChangedRight", true, V::Absent, V::Edited, false, TKNTwoWayAct::CopyToLeft},
    {"DeletedRightChangedLeft", true, V::Older, V::Absent, false, TKNTwoWayAct::CopyToRight},
    {"ChangedBothEqualTimes", true, V::Edited, V::Edited, false, TKNTwoWayAct::Record},
    {"ChangedBothEqualBytesLeftOlder", true, V::EqualOld, V::EqualNew, false, TKNTwoWayAct::SetTimeLeft},
    {"ChangedBothEqualBytesRightOlder", true, V::EqualNew, V::EqualOld, false, TKNTwoWayAct::SetTimeRight},
    {"ChangedBothDifferent", true, V::Edited, V::Other, false, TKNTwoWayAct::Conflict},
    {"DeletedBoth", true, V::Absent, V::Absent, false, TKNTwoWayAct::Forget},
    {"NewBothDifferent", false, V::Edited, V::Other, false, TKNTwoWayAct::Conflict},
    {"NewBothEqual", false, V::Edited, V::Edited, false, TKNTwoWayAct::Record},
    {"FileBecameFolderLeftIsLeftAlone", true, V::Folder, V::Same, false, TKNTwoWayAct::Conflict},
    {"FileAndFolder", true, V::Folder, V::Edited, false, TKNTwoWayAct::Conflict},
    {"UnlistedLeft", true, V::Unknown, V::Same, false, TKNTwoWayAct::Keep},
    {"UnlistedRightChangedLeft", true, V::Edited, V::Unknown, false, TKNTwoWayAct::Keep},
    {"FirstRunLeftOnly", false, V::Same, V::Absent, true, TKNTwoWayAct::CopyToRight},
    {"FirstRunRightOnly", false, V::Absent, V::Same, true, TKNTwoWayAct::CopyToLeft},
    {"FirstRunIgnoresAStaleRecord", true, V::Same, V::Absent, true, TKNTwoWayAct::CopyToRight},
    {"FirstRunLeftNewer", false, V::Other, V::Edited, true, TKNTwoWayAct::CopyToRight, true},
    {"FirstRunRightNewer", false, V::Same, V::Edited, true, TKNTwoWayAct::CopyToLeft, true},
    {"FirstRunSameTimeDiffers", false, V::Edited, V::Resized, true, TKNTwoWayAct::Conflict},
    {"FirstRunEqual", false, V::Same, V::Same, true, TKNTwoWayAct::Record},
    {"FirstRunEqualBytes", false, V::EqualNew, V::EqualOld, true, TKNTwoWayAct::SetTimeRight},
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
        EXPECT_EQ(got, (kn::TKNTwoWayDecision{c.expected, c.keepOlder}))
            << c.name << ": got act " << static_cast<int>(got.Act) << (got.KeepOlder ? " keeping the older" : "");
    }
}

// "Changed" compares times cut to the coarser precision of the record and the listing, and
// forgives whole-hour shifts up to the ignored hours.
TEST(TwoWayDecide, ChangedAtEachSidesPrecision)
{
    struct Row {
        const char* name;
        kn::TKNSideFacts recorded, now;
        int hours;
        bool changed;
    } rows[] = {
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
    for (const Row& r : rows) EXPECT_EQ(kn::FactsChanged(r.recorded, r.now, r.hours), r.changed) << r.name;
}

}  // namespace
