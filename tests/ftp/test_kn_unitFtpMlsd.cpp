// MLSD fact lines, and the bounds every listing keeps.
#include <gtest/gtest.h>

#include "ftp/kn_unitFtpError.h"
#include "ftp/kn_unitFtpMlsd.h"

namespace kn {
namespace {

using vex::EncodeDateTime;
constexpr int64_t kOffset = 3600;  // the local zone of these cases: UTC+1
const vex::TDateTime kNone = vex::kNoTime;

struct MlsdCase {
    const char* name;
    const char* line;
    const char* fileName;
    int64_t size;
    TKNFtpItemType type;
    vex::TDateTime time;  // local
    bool skip = false;
};

void PrintTo(const MlsdCase& row, std::ostream* os)
{
    *os << row.name;
}

class FtpMlsdLine : public ::testing::TestWithParam<MlsdCase> {};

TEST_P(FtpMlsdLine, Parses)
{
    const MlsdCase& c = GetParam();
    TKNFtpListItem item;
    bool skip = true;
    ASSERT_TRUE(ParseMlsdLine(c.line, kOffset, item, skip));
    EXPECT_EQ(skip, c.skip);
    if (c.skip) return;
    EXPECT_EQ(item.FileName, c.fileName);
    EXPECT_EQ(item.Size, c.size);
    EXPECT_EQ(item.ItemType, c.type);
    EXPECT_EQ(vex::FormatDateTime(item.ModifiedDate), vex::FormatDateTime(c.time));
    EXPECT_EQ(item.TimeStep, 1u);
}

const auto kFile = TKNFtpItemType::ditFile;
const auto kDir = TKNFtpItemType::ditDirectory;
const auto kLink = TKNFtpItemType::ditSymbolicLink;

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpMlsdLine,
    ::testing::Values(MlsdCase{"File", "type=file;size=1048576;modify=20190307140512;UNIX.mode=0644; old.bin",
                               "old.bin", 1048576, kFile, EncodeDateTime(2019, 3, 7, 15, 5, 12)},
                      MlsdCase{"FolderWithFraction", "type=dir;sizd=4096;modify=20240101235959.123; docs", "docs", 4096,
                               kDir, EncodeDateTime(2024, 1, 2, 0, 59, 59)},
                      MlsdCase{"OddCaseAndSpacesInName", "Type=FILE;Size=3;MODIFY=20200102030405; two words; x",
                               "two words; x", 3, kFile, EncodeDateTime(2020, 1, 2, 4, 4, 5)},
                      MlsdCase{"Link", "type=OS.unix=slink:/etc;modify=20200102030405; ln", "ln", 0, kLink,
                               EncodeDateTime(2020, 1, 2, 4, 4, 5)},
                      MlsdCase{"MissingModifyKeepsTheEntry", "type=file;size=7; nodate", "nodate", 7, kFile, kNone},
                      MlsdCase{"NonsenseModify", "type=file;size=7;modify=20201340250000; bad", "bad", 7, kFile, kNone},
                      MlsdCase{"NonsenseSize", "type=file;size=-5x;modify=20200102030405; s", "s", 0, kFile,
                               EncodeDateTime(2020, 1, 2, 4, 4, 5)},
                      MlsdCase{"CurrentFolder", "type=cdir;modify=20200102030405; /pub", "", 0, kDir, kNone, true},
                      MlsdCase{"ParentFolder", "type=pdir;modify=20200102030405; ..", "", 0, kDir, kNone, true},
                      MlsdCase{"DotName", "type=dir; .", "", 0, kDir, kNone, true}),
    [](const auto& row) { return std::string(row.param.name); });

struct ReadOnlyCase {
    const char* name;
    const char* line;
    int readOnly;  // 1 read-only, 0 writable, -1 unknown
};

void PrintTo(const ReadOnlyCase& row, std::ostream* os)
{
    *os << row.name;
}

class FtpMlsdReadOnly : public ::testing::TestWithParam<ReadOnlyCase> {};

TEST_P(FtpMlsdReadOnly, ComesFromTheModeOrThePermissions)
{
    TKNFtpListItem item;
    bool skip = false;
    ASSERT_TRUE(ParseMlsdLine(GetParam().line, 0, item, skip));
    EXPECT_EQ(item.ReadOnly, GetParam().readOnly) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpMlsdReadOnly,
    ::testing::Values(ReadOnlyCase{"NoFactsUnknown", "type=file;size=1; a", -1},
                      ReadOnlyCase{"FileWithWrite", "type=file;perm=adfrw; a", 0},
                      ReadOnlyCase{"FileWithoutWrite", "type=file;perm=adfr; a", 1},
                      ReadOnlyCase{"AppendIsNoWrite", "type=file;perm=ra; a", 1},
                      ReadOnlyCase{"EmptyPerm", "type=file;perm=; a", 1},
                      ReadOnlyCase{"OddCaseFactAndLetters", "Type=File;PERM=RW; a", 0},
                      ReadOnlyCase{"FolderThatTakesFiles", "type=dir;perm=cdeflp; d", 0},
                      ReadOnlyCase{"FolderThatTakesFolders", "type=dir;perm=elm; d", 0},
                      ReadOnlyCase{"FolderOnlyPurged", "type=dir;perm=elp; d", 0},
                      ReadOnlyCase{"FolderOnlyListed", "type=dir;perm=el; d", 1},
                      ReadOnlyCase{"FolderWriteLetterMeansNothing", "type=dir;perm=elw; d", 1},
                      ReadOnlyCase{"PermBeforeTypeOfFolder", "perm=el;type=dir; d", 1},
                      ReadOnlyCase{"ModeOwnerWrite", "type=file;UNIX.mode=0644; a", 0},
                      ReadOnlyCase{"ModeNoOwnerWrite", "type=file;unix.MODE=0444; a", 1},
                      ReadOnlyCase{"ModeGroupWriteOnly", "type=file;UNIX.mode=464; a", 1},
                      ReadOnlyCase{"ModeWithPythonPrefix", "type=file;unix.mode=0o600; a", 0},
                      ReadOnlyCase{"ModeWinsOverPerm", "type=file;perm=r;UNIX.mode=0644; a", 0},
                      ReadOnlyCase{"ModeWinsOverPermAfterIt", "type=file;UNIX.mode=0444;perm=rw; a", 1},
                      ReadOnlyCase{"NonsenseModeFallsBackToPerm", "type=file;UNIX.mode=rw-r;perm=r; a", 1},
                      ReadOnlyCase{"NonsenseModeAloneUnknown", "type=file;UNIX.mode=9999; a", -1},
                      ReadOnlyCase{"LinkStaysUnknown", "type=OS.unix=slink:/x;perm=r; ln", -1}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FtpMlsd, LinesWithoutFactsOrNameAreUnreadable)
{
    for (const char* line : {"nofacts", " name", "type=file;", "type=file; "}) {
        TKNFtpListItem item;
        bool skip = false;
        EXPECT_FALSE(ParseMlsdLine(line, 0, item, skip)) << line;
    }
    TKNFtpListingParser parser(EncodeDateTime(2026, 12, 8));
    parser.ReadMlsd(0);
    EXPECT_THROW(parser.Feed("nofacts\r\n"), TKNFtpError);
}

TEST(FtpMlsd, ListingDropsUnsafeNamesAndTheFolderItself)
{
    TKNFtpListingParser parser(EncodeDateTime(2026, 12, 8));
    parser.ReadMlsd(0);
    parser.Feed("type=cdir; /pub\r\ntype=file;size=1; a\\b\r\ntype=file;size=2; ok.txt\r\n");
    std::vector<TKNFtpListItem> items = parser.Finish();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].FileName, "ok.txt");
}

struct LimitCase {
    const char* name;
    TKNFtpListLimits limits;
    std::string chunk;
    const char* message;  // empty: within the limits
};

void PrintTo(const LimitCase& row, std::ostream* os)
{
    *os << row.name;
}

class FtpListingLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(FtpListingLimit, FailsTheListingClearly)
{
    const LimitCase& c = GetParam();
    TKNFtpListingParser parser(EncodeDateTime(2026, 12, 8), c.limits);
    try {
        parser.Feed(c.chunk);
        parser.Finish();
        EXPECT_STREQ(c.message, "") << "within the limits";
    } catch (const TKNFtpError& e) {
        EXPECT_STREQ(e.what(), c.message);
    }
}

std::string Repeat(const std::string& line, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) out += line;
    return out;
}

const std::string kEntry = "-rw-r--r-- 1 u g 1 Jan 02 2020 a\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpListingLimit,
    ::testing::Values(
        LimitCase{"EntriesAtTheLimit", {3, 10, 100}, Repeat(kEntry, 3), ""},
        LimitCase{"EntriesOver", {3, 10, 100}, Repeat(kEntry, 4), "The listing has more than 3 entries"},
        LimitCase{"DroppedLinesCount", {3, 10, 100}, Repeat("\r\n", 11), "The listing has more than 10 lines"},
        LimitCase{"LongLine", {3, 10, 20}, kEntry, "The listing holds a line longer than 20 bytes"},
        LimitCase{
            "LongUnfinishedLine", {3, 10, 20}, std::string(21, 'x'), "The listing holds a line longer than 20 bytes"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace kn
