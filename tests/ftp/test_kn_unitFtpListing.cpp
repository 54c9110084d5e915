#include <gtest/gtest.h>

#include "ftp/kn_unitFtpError.h"
#include "ftp/kn_unitFtpListing.h"

namespace kn {
namespace {

using vex::EncodeDateTime;
const vex::TDateTime kToday = EncodeDateTime(2026, 12, 8);

struct LineCase {
    const char* name;
    const char* line;
    const char* fileName;
    int64_t size;
    TKNFtpItemType type;
    vex::TDateTime time;
};

// Test names in reports show the row name.
void PrintTo(const LineCase& row, std::ostream* os)
{
    *os << row.name;
}

class FtpListLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(FtpListLineTest, Parses)
{
    const LineCase& c = GetParam();
    TKNFtpListItem item;
    ASSERT_TRUE(ParseFtpListLine(c.line, kToday, item)) << c.line;
    EXPECT_EQ(item.FileName, c.fileName);
    EXPECT_EQ(item.Size, c.size);
    EXPECT_EQ(item.ItemType, c.type);
    EXPECT_EQ(vex::FormatDateTime(item.ModifiedDate), vex::FormatDateTime(c.time));
}

constexpr auto kFile = TKNFtpItemType::ditFile;
constexpr auto kDir = TKNFtpItemType::ditDirectory;
constexpr auto kLink = TKNFtpItemType::ditSymbolicLink;

INSTANTIATE_TEST_SUITE_P(
    Unix, FtpListLineTest,
    ::testing::Values(
        LineCase{"File", "-rw-r--r--   1 joe      staff       1234 Dec 07 14:05 a.txt", "a.txt", 1234, kFile,
                 EncodeDateTime(2026, 12, 7, 14, 5)},
        LineCase{"Folder", "drwxr-xr-x   2 joe      staff       4096 Mar  7  2019 docs", "docs", 4096, kDir,
                 EncodeDateTime(2019, 3, 7)},
        LineCase{"LinkToFolder", "lrwxrwxrwx   1 joe staff 11 Nov 30 09:00 latest -> docs/v2", "latest", 11, kLink,
                 EncodeDateTime(2026, 11, 30, 9, 0)},
        LineCase{"NoGroupColumn", "-rw-r--r-- 1 joe 77 Jan 02 2020 x", "x", 77, kFile, EncodeDateTime(2020, 1, 2)},
        LineCase{"BlanksInName", "-rw-r--r-- 1 u g 5 Dec 01 10:00 two  words ", "two  words ", 5, kFile,
                 EncodeDateTime(2026, 12, 1, 10, 0)},
        LineCase{"LeadingBlankKept", "-rw-r--r-- 1 u g 5 Dec 01 10:00  lead", " lead", 5, kFile,
                 EncodeDateTime(2026, 12, 1, 10, 0)},
        LineCase{"NoYearLaterMonthIsLastYear", "-rw-r--r-- 1 u g 5 Dec 25 10:00 xmas", "xmas", 5, kFile,
                 EncodeDateTime(2025, 12, 25, 10, 0)},
        LineCase{"HugeSize", "-rw-r--r-- 1 u g 9000000000 Jan 02 2020 big", "big", 9000000000LL, kFile,
                 EncodeDateTime(2020, 1, 2)},
        LineCase{"AclMarker", "-rw-r--r--+ 1 u g 1 Jan 02 2020 acl", "acl", 1, kFile, EncodeDateTime(2020, 1, 2)}),
    [](const auto& row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(Dos, FtpListLineTest,
                         ::testing::Values(LineCase{"Folder", "03-07-19  02:05PM       <DIR>          docs", "docs", 0,
                                                    kDir, EncodeDateTime(2019, 3, 7, 14, 5)},
                                           LineCase{"FileMorning", "12-31-99  12:15AM              1234 old file.txt",
                                                    "old file.txt", 1234, kFile, EncodeDateTime(1999, 12, 31, 0, 15)},
                                           LineCase{"FourDigitYear24h", "01-15-2021  21:03                 42 b.bin",
                                                    "b.bin", 42, kFile, EncodeDateTime(2021, 1, 15, 21, 3)},
                                           LineCase{"SizeWithCommas", "01-15-21  09:03 AM          1,048,576 c.iso",
                                                    "c.iso", 1048576, kFile, EncodeDateTime(2021, 1, 15, 9, 3)}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(FtpListing, AKnownServerZoneShiftsClockTimesButNotBareDays)
{
    TKNFtpListingParser parser(kToday);
    parser.ShiftListTimes(-5400);
    parser.Feed(
        "-rw-r--r-- 1 u g 1 Dec  1 00:30 clock\r\n"
        "-rw-r--r-- 1 u g 1 Mar  7  2019 day\r\n"
        "12-01-26  11:15PM                    1 dos\r\n");
    const std::vector<TKNFtpListItem> items = parser.Finish();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(vex::FormatDateTime(items[0].ModifiedDate), "2026-11-30 23:00:00") << "across midnight";
    EXPECT_EQ(vex::FormatDateTime(items[1].ModifiedDate), "2019-03-07 00:00:00") << "a day alone keeps its day";
    EXPECT_EQ(vex::FormatDateTime(items[2].ModifiedDate), "2026-12-01 21:45:00");
}

TEST(FtpListing, LinesInNoKnownStyleAreRefused)
{
    TKNFtpListItem item;
    for (const char* line :
         {"hello world", "-rw-r--r-- 1 u g 5 Foo 01 10:00 x", "-rw-r--r-- 1 u g 5 Dec 32 10:00 x",
          "-rw-r--r-- 1 u g 5 Feb 30 2020 x", "-rw-r--r-- 1 u g 99999999999999999999 Jan 02 2020 x",
          "13-01-20  10:00AM  <DIR>  x", "01-15-21  13:03PM  5 x", "type=file;size=5; x", "01-15-21  09:03AM  <DIR>"}) {
        EXPECT_FALSE(ParseFtpListLine(line, kToday, item)) << line;
    }
    TKNFtpListingParser parser(kToday);
    try {
        parser.Feed("-rw-r--r-- 1 u g 5 Dec 01 10:00 fine\r\nmodify=20201010;perm=r; odd\r\n");
        FAIL() << "an unknown line was accepted";
    } catch (const TKNFtpError& e) {
        EXPECT_STREQ(e.what(), "Unknown FTP listing format");
    }
}

TEST(FtpListing, UnsafeNamesNeverBecomeItems)
{
    std::string listing =
        "total 12\r\n"
        "drwxr-xr-x 2 u g 0 Dec 01 10:00 .\r\n"
        "drwxr-xr-x 2 u g 0 Dec 01 10:00 ..\r\n"
        "-rw-r--r-- 1 u g 5 Dec 01 10:00 ../../etc/passwd\r\n"
        "-rw-r--r-- 1 u g 5 Dec 01 10:00 a\\b\r\n"
        "-rw-r--r-- 1 u g 5 Dec 01 10:00 \r\n"
        "lrwxrwxrwx 1 u g 5 Dec 01 10:00  -> x\r\n"
        "03-07-19  02:05PM       <DIR>          sub/dir\r\n";
    listing += std::string("-rw-r--r-- 1 u g 5 Dec 01 10:00 nul\0x\r\n", 39);
    listing += "-rw-r--r-- 1 u g 5 Dec 01 10:00 cr\rDELE x\r\n";
    listing += "-rw-r--r-- 1 u g 5 Dec 01 10:00 good\r\n";
    TKNFtpListingParser parser(kToday);
    parser.Feed(listing);
    std::vector<TKNFtpListItem> items = parser.Finish();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].FileName, "good");
}

TEST(FtpListing, ChunksSplitAnywhereGiveTheSameItems)
{
    const std::string listing =
        "drwxr-xr-x 2 u g 0 Dec 01 10:00 sub\n"
        "-rw-r--r-- 1 u g 123 Nov 02 2021 file one\r\n"
        "\r\n"
        "lrwxrwxrwx 1 u g 3 Dec 01 10:00 ln -> sub";  // no final line feed
    for (std::size_t cut = 0; cut <= listing.size(); cut += 7) {
        TKNFtpListingParser parser(kToday);
        parser.Feed(listing.substr(0, cut));
        parser.Feed(listing.substr(cut));
        std::vector<TKNFtpListItem> items = parser.Finish();
        ASSERT_EQ(items.size(), 3u) << "cut at " << cut;
        EXPECT_EQ(items[0].ItemType, kDir);
        EXPECT_EQ(items[1].FileName, "file one");
        EXPECT_EQ(items[1].Size, 123);
        EXPECT_EQ(items[2].FileName, "ln");
    }
}

TEST(FtpListing, OverLongLineIsAnError)
{
    TKNFtpListingParser parser(kToday);
    EXPECT_THROW(parser.Feed(std::string(TKNFtpListLimits{}.MaxLineLength + 10, 'x')), TKNFtpError);
}

TEST(FtpListLine, UnixLinesTellPermissionBits)
{
    const std::pair<const char*, int> cases[] = {
        {"-rw-r--r-- 1 u g 5 Dec 01 10:00 a", 0644},   {"drwx------ 2 u g 5 Dec 01 10:00 a", 0700},
        {"-rwsr-x--T 1 u g 5 Dec 01 10:00 a", 05750},  {"drwxrwsrwt 2 u g 5 Dec 01 10:00 a", 03777},
        {"-r-Sr--r--+ 1 u g 5 Dec 01 10:00 a", 04444},
    };
    for (const auto& [line, mode] : cases) {
        TKNFtpListItem item;
        ASSERT_TRUE(ParseFtpListLine(line, kToday, item)) << line;
        EXPECT_EQ(item.Mode, mode) << line;
    }
    TKNFtpListItem dos;
    ASSERT_TRUE(ParseFtpListLine("03-07-19  02:05PM       <DIR>          docs", kToday, dos));
    EXPECT_EQ(dos.Mode, -1);
}

}  // namespace
}  // namespace kn
