// Counts and byte sizes in words, as both programs print them.
#include <gtest/gtest.h>

#include "framework/vex_unitCounts.h"

TEST(Counts, OneAndMany)
{
    EXPECT_EQ(vex::CountOf(1, "line added", "lines added"), "1 line added");
    EXPECT_EQ(vex::CountOf(0, "line added", "lines added"), "0 lines added");
    EXPECT_EQ(vex::CountOf(2, "entry", "entries"), "2 entries");
}

TEST(Counts, BytesInBinaryUnits)
{
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {1023, "1023 bytes"},
        {1024, "1.0 KiB"},
        {1536, "1.5 KiB"},
        {3565158, "3.4 MiB"},
        {1288490189, "1.2 GiB"},
        {int64_t(5) << 40, "5.0 TiB"},
        {int64_t(3) << 50, "3072.0 TiB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(vex::FormatByteSize(bytes), text) << bytes;
}

TEST(Counts, GroupsCountsButNotTheDigitsOfNames)
{
    EXPECT_EQ(vex::GroupDigits(1234567), "1,234,567");
    EXPECT_EQ(vex::GroupDigits(-1024, "."), "-1.024");
    EXPECT_EQ(vex::GroupDigits(999), "999");
    EXPECT_EQ(vex::GroupCountsInText("Done: 12345 files copied (3565158 bytes), 0 failed. Backup folder: "
                                     "/home/u/240102030405 f2024 2024x 12345."),
              "Done: 12,345 files copied (3,565,158 bytes), 0 failed. Backup folder: /home/u/240102030405 f2024 "
              "2024x 12,345.");
}
