#include <gtest/gtest.h>

#include "framework/vex_unitDateTime.h"

using namespace vex;

TEST(DateTime, EpochsAndDosCut)
{
    EXPECT_DOUBLE_EQ(UnixToDateTime(0, 0), 25569.0);
    EXPECT_DOUBLE_EQ(UnixToDateTime(86400 + 43200, 0), 25570.5);
    // An odd second is cut down to the even one below it, before 1970 as well.
    EXPECT_DOUBLE_EQ(UnixToDosDateTime(3, 0), UnixToDateTime(2, 0));
    EXPECT_DOUBLE_EQ(UnixToDosDateTime(-3, 0), UnixToDateTime(-4, 0));
    // The offset is applied before the cut.
    EXPECT_DOUBLE_EQ(UnixToDosDateTime(2, 3601), UnixToDateTime(3602, 0));
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1700000001, 7200), 7200), 1700000001);
}

TEST(DateTime, EncodeDecodeRoundTrip)
{
    struct Row {
        const char* name;
        int y, mo, d, h, mi, s;
        double expected;
    } rows[] = {
        {"base", 1899, 12, 30, 0, 0, 0, 0.0},
        {"unix epoch", 1970, 1, 1, 0, 0, 0, 25569.0},
        {"noon", 2000, 1, 1, 12, 0, 0, 36526.5},
        {"leap day", 2024, 2, 29, 23, 59, 58, -1},
    };
    for (const auto& r : rows) {
        TDateTime v = EncodeDateTime(r.y, r.mo, r.d, r.h, r.mi, r.s);
        if (r.expected >= 0) {
            EXPECT_DOUBLE_EQ(v, r.expected) << r.name;
        }
        DateTimeFields f = DecodeDateTime(v);
        EXPECT_EQ(f.year, r.y) << r.name;
        EXPECT_EQ(f.month, r.mo) << r.name;
        EXPECT_EQ(f.day, r.d) << r.name;
        EXPECT_EQ(f.hour, r.h) << r.name;
        EXPECT_EQ(f.minute, r.mi) << r.name;
        EXPECT_EQ(f.second, r.s) << r.name;
    }
    EXPECT_EQ(FormatDateTime(EncodeDateTime(2026, 12, 8, 7, 5, 4)), "2026-12-08 07:05:04");
}

TEST(DateTime, ParseDate)
{
    TDateTime v = 0;
    EXPECT_TRUE(ParseDate("2026-02-28", v));
    EXPECT_DOUBLE_EQ(v, EncodeDateTime(2026, 2, 28));
    for (const char* bad : {"2026-02-30", "2026-13-01", "26-01-01", "2026-01-01x", "", "2026/01/01"})
        EXPECT_FALSE(ParseDate(bad, v)) << bad;
}
