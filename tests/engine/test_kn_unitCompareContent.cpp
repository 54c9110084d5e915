// Content comparison: the row rule, time shifts, hashes, the comparison of one pair, and whole
// comparisons of local trees with contents compared (rows, order, failures, stop).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitCompareContent.h"
#include "engine/kn_unitContentHash.h"
#include "ftp/kn_unitFtpHashes.h"
#include "tests/common/temp_tree.h"

using namespace kn;

namespace {

constexpr int64_t kTen = testutil::TwoTrees::kDefaultTime;
using Trees = testutil::TwoTrees;
using Rows = std::vector<std::string>;

std::string Describe(const TMyFileOpt& row, const TKNFileCompare& engine)
{
    auto side = [](const TKNFileRec& rec, std::size_t rootLen) -> std::string {
        if (rec.Path.empty()) return "-";
        return rec.Path.str().substr(rootLen) + "/" + rec.Name;
    };
    static const char* kStatus[] = {"left", "right", "differ"};
    return std::string(kStatus[static_cast<int>(row.Status)]) + (row.ContentEqual ? " time-only " : " ") +
           side(row.Left, engine.LeftRootLen) + " " + side(row.Right, engine.RightRootLen);
}

Rows Compare(TKNFileCompare& engine, const Trees& t)
{
    engine.SetLeftFolder(t.left);
    engine.SetRightFolder(t.right);
    engine.Compare(true);
    Rows rows;
    for (const auto& row : engine.Items) rows.push_back(Describe(*row, engine));
    return rows;
}

// A sparse file of `size` bytes (zeros), with `byte` written at `at` when `at` >= 0.
void SparseFile(const std::string& path, int64_t size, int64_t at = -1, char byte = 'x')
{
    testutil::WriteFile(path, "");
    ASSERT_EQ(truncate(path.c_str(), size), 0);
    if (at < 0) return;
    FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fseeko(f, at, SEEK_SET), 0);
    std::fputc(byte, f);
    std::fclose(f);
}

TKNFileRec LocalRec(const std::string& folder, const std::string& name, int64_t size)
{
    TKNFileRec rec;
    rec.Path = folder;
    rec.Name = name;
    rec.Size = size;
    return rec;
}

}  // namespace

TEST(ContentRowRule, EveryOutcome)
{
    using R = TKNContentResult;
    struct Case {
        const char* name;
        R result;
        int timeOrder;
        bool attrDiffer, keepTimeOnly;
        bool row;
        TKNStatus status;
        bool contentEqual;
    };
    const Case cases[] = {
        {"equal bytes, equal times", R::Equal, 0, false, true, false, kn::TKNStatus::Differ, false},
        {"equal bytes, left newer, no update", R::Equal, 1, false, false, false, kn::TKNStatus::Left, false},
        {"equal bytes, left newer, for an update", R::Equal, 1, false, true, true, kn::TKNStatus::Left, true},
        {"equal bytes, right newer, for an update", R::Equal, -1, false, true, true, kn::TKNStatus::Right, true},
        {"equal bytes, attributes differ", R::Equal, 1, true, true, true, kn::TKNStatus::Differ, false},
        {"other bytes, equal times", R::Differ, 0, false, false, true, kn::TKNStatus::Differ, false},
        {"other bytes, right newer", R::Differ, -1, false, false, true, kn::TKNStatus::Right, false},
        {"unreadable, equal times", R::Failed, 0, false, false, true, kn::TKNStatus::Differ, false},
        {"unreadable, left newer", R::Failed, 1, false, true, true, kn::TKNStatus::Left, false},
        {"special, equal times", R::Special, 0, false, true, false, kn::TKNStatus::Differ, false},
        {"special, left newer", R::Special, 1, false, true, true, kn::TKNStatus::Left, false},
        {"special, attributes differ", R::Special, 0, true, false, true, kn::TKNStatus::Differ, false},
    };
    for (const Case& c : cases) {
        TKNStatus status = kn::TKNStatus::Left;
        bool contentEqual = true;
        const bool row = ContentRowStatus(c.result, c.timeOrder, c.attrDiffer, c.keepTimeOnly, status, contentEqual);
        EXPECT_EQ(row, c.row) << c.name;
        if (row) {
            EXPECT_EQ(status, c.status) << c.name;
        }
        EXPECT_EQ(contentEqual, c.contentEqual) << c.name;
    }
}

TEST(TimeShift, WholeHoursUpToTheLimitCountAsEqual)
{
    const double hour = 1.0 / 24, second = 1.0 / 86400;
    const double t = 43000.5;
    struct Case {
        const char* name;
        double left, right;
        int hours, order;
    };
    const Case cases[] = {
        {"same time", t, t, 0, 0},
        {"one hour later, shifts not ignored", t + hour, t, 0, 1},
        {"one hour later, one ignored", t + hour, t, 1, 0},
        {"one hour earlier, one ignored", t - hour, t, 1, 0},
        {"two hours, one ignored", t + 2 * hour, t, 1, 1},
        {"two hours, two ignored", t - 2 * hour, t, 2, 0},
        {"an hour and a second: within the cut", t + hour + second, t, 1, 0},
        {"an hour and two seconds: a change", t + hour + 2 * second, t, 1, 1},
        {"two seconds: a change", t + 2 * second, t, 24, 1},
        {"half an hour", t - hour / 2, t, 24, -1},
        {"a day", t + 24 * hour, t, 24, 0},
        {"a day and an hour", t + 25 * hour, t, 24, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(CompareFileTimes(c.left, c.right, c.hours), c.order) << c.name;
}

TEST(ContentHash, KnownDigestsAndReplies)
{
    struct Case {
        TKNHashKind kind;
        const char* text;
        const char* hex;
    };
    const Case cases[] = {
        {TKNHashKind::Sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {TKNHashKind::Sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {TKNHashKind::Md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {TKNHashKind::Crc32, "123456789", "cbf43926"},
        {TKNHashKind::Crc32, "", "00000000"},
    };
    for (const Case& c : cases) {
        TKNHasher whole(c.kind), pieces(c.kind);
        std::string text = c.text;
        whole.Update(text.data(), text.size());
        for (char ch : text) pieces.Update(&ch, 1);
        EXPECT_EQ(whole.FinishHex(), c.hex) << HashKindName(c.kind);
        EXPECT_EQ(pieces.FinishHex(), c.hex) << HashKindName(c.kind);
    }
    const std::string sha = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    EXPECT_EQ(FindHexDigest("213 SHA-256 0-3 " + sha + " a.txt", 64), cases[0].hex);
    EXPECT_EQ(FindHexDigest("250 CBF43926", 8), "cbf43926");
    EXPECT_EQ(FindHexDigest("213 SHA-1 0-3 " + sha + " a.txt", 40), "");  // wrong length
    EXPECT_EQ(FindHexDigest("250 abc", 8), "");
}

// A remote side that hashes with SHA-256 by looking the digest up; it cannot be read.
class HashingSide : public TKNContentSide {
public:
    explicit HashingSide(std::string content) : content_(std::move(content)) {}
    std::unique_ptr<TKNContentStream> Open(const TKNFileRec&, bool&, std::string& reason) override
    {
        reason = "not readable";
        return nullptr;
    }
    std::vector<TKNHashKind> RemoteHashes(const TKNFileRec&) override { return {TKNHashKind::Sha256}; }
    bool RemoteHash(const TKNFileRec&, TKNHashKind kind, std::string& hex, std::string&) override
    {
        ++Calls;
        TKNHasher hasher(kind);
        hasher.Update(content_.data(), content_.size());
        hex = hasher.FinishHex();
        return true;
    }
    int Calls = 0;

private:
    std::string content_;
};

TEST(ContentPair, LocalFilesBlockByBlock)
{
    testutil::TempDir dir;
    const std::string big(3 * 1024 * 1024, 'a');
    std::string other = big;
    other.back() = 'b';
    testutil::WriteFile(dir / "a", big);
    testutil::WriteFile(dir / "b", big);
    testutil::WriteFile(dir / "c", other);
    testutil::WriteFile(dir / "short", "12345");
    mkfifo((dir / "fifo").c_str(), 0644);
    auto local = MakeSideContentSide(dir.path(), dir.path(), {});
    TKNContentBuffers buffers(1024 * 1024);
    struct Case {
        const char* name;
        TKNFileRec left, right;
        TKNContentResult result;
        const char* reason;
    };
    const int64_t size = static_cast<int64_t>(big.size());
    const Case cases[] = {
        {"equal", LocalRec(dir.path(), "a", size), LocalRec(dir.path(), "b", size), TKNContentResult::Equal, ""},
        {"last byte differs", LocalRec(dir.path(), "a", size), LocalRec(dir.path(), "c", size),
         TKNContentResult::Differ, ""},
        {"grew since listed", LocalRec(dir.path(), "short", 4), LocalRec(dir.path(), "short", 4),
         TKNContentResult::Failed, "changed size"},
        {"vanished", LocalRec(dir.path(), "a", size), LocalRec(dir.path(), "gone", size), TKNContentResult::Failed,
         "no longer exists"},
        {"FIFO never opened", LocalRec(dir.path(), "fifo", 0), LocalRec(dir.path(), "fifo", 0),
         TKNContentResult::Special, ""},
    };
    for (const Case& c : cases) {
        TKNContentProgress progress;
        TKNContentOutcome outcome = CompareFileContents(*local, c.left, *local, c.right, buffers, progress);
        EXPECT_EQ(outcome.Result, c.result) << c.name;
        EXPECT_NE(outcome.Reason.find(c.reason), std::string::npos) << c.name << ": " << outcome.Reason;
        if (c.result == TKNContentResult::Equal || c.result == TKNContentResult::Differ) {
            EXPECT_EQ(progress.Done, size) << c.name;  // a pair that differs early still counts whole
        }
    }
}

TEST(ContentPair, RemoteHashAgainstLocalBytes)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "a", "hello world");
    auto local = MakeSideContentSide(dir.path(), dir.path(), {});
    TKNContentBuffers buffers(4);  // several blocks for the local hash
    TKNFileRec rec = LocalRec(dir.path(), "a", 11);
    for (const auto& [remote, expected] :
         {std::pair{"hello world", TKNContentResult::Equal}, std::pair{"hello there", TKNContentResult::Differ}}) {
        HashingSide server(remote);
        TKNContentProgress progress;
        EXPECT_EQ(CompareFileContents(*local, rec, server, rec, buffers, progress).Result, expected) << remote;
        EXPECT_EQ(CompareFileContents(server, rec, *local, rec, buffers, progress).Result, expected) << remote;
        EXPECT_EQ(server.Calls, 2);
        EXPECT_EQ(progress.Done, 2 * rec.Size) << "each pair counts its size once";
    }
}

TEST(ContentCompare, EqualBytesWithOtherTimesGiveNoRow)
{
    Trees t;
    t.File(t.left, "same.txt", "abc", kTen + 3600 * 5);
    t.File(t.right, "same.txt", "abc", kTen);
    t.File(t.left, "d/rewritten.bin", "1234", kTen);
    t.File(t.right, "d/rewritten.bin", "1235", kTen);
    t.File(t.left, "d/newer.bin", "1234", kTen + 10);
    t.File(t.right, "d/newer.bin", "1299", kTen);
    t.File(t.left, "sizes.txt", "ab", kTen);
    t.File(t.right, "sizes.txt", "abc", kTen);
    chmod((t.right + "/sizes.txt").c_str(), 0);  // never opened: sizes alone decide
    TKNFileCompare engine;
    engine.CompareContent = true;
    EXPECT_EQ(Compare(engine, t), (Rows{"differ /sizes.txt /sizes.txt", "left /d/newer.bin /d/newer.bin",
                                        "differ /d/rewritten.bin /d/rewritten.bin"}));
    EXPECT_TRUE(engine.ContentNotes.empty());

    engine.KeepContentEqualRows = true;  // as for an update: the time is to be set
    EXPECT_EQ(Compare(engine, t), (Rows{"left time-only /same.txt /same.txt", "differ /sizes.txt /sizes.txt",
                                        "left /d/newer.bin /d/newer.bin", "differ /d/rewritten.bin /d/rewritten.bin"}));

    engine.CompareContent = false;  // the time rule alone misses the rewritten file
    EXPECT_EQ(Compare(engine, t),
              (Rows{"left /same.txt /same.txt", "differ /sizes.txt /sizes.txt", "left /d/newer.bin /d/newer.bin"}));
}

TEST(ContentCompare, HourShiftOption)
{
    Trees t;
    t.File(t.left, "dst.txt", "abc", kTen + 3600);
    t.File(t.right, "dst.txt", "abc", kTen);
    t.File(t.left, "zone.txt", "abc", kTen - 3 * 3600);
    t.File(t.right, "zone.txt", "abc", kTen);
    t.File(t.left, "edit.txt", "abc", kTen + 3600 + 60);
    t.File(t.right, "edit.txt", "abc", kTen);
    TKNFileCompare engine;
    engine.IgnoreHours = 1;
    EXPECT_EQ(Compare(engine, t), (Rows{"left /edit.txt /edit.txt", "right /zone.txt /zone.txt"}));
    engine.IgnoreHours = 3;
    EXPECT_EQ(Compare(engine, t), (Rows{"left /edit.txt /edit.txt"}));
    engine.IgnoreHours = 0;
    EXPECT_EQ(Compare(engine, t).size(), 3u);
}

TEST(ContentCompare, ManyPairsKeepPairingOrderAcrossReaders)
{
    Trees t;
    Rows expected;
    for (int i = 0; i < 60; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%02d.txt", i);
        const std::string content(1000 + i * 37, static_cast<char>('a' + i % 26));
        t.File(t.left, name, content, kTen);
        t.File(t.right, name, i % 3 == 0 ? content.substr(1) + "!" : content, kTen + i);
        if (i % 3 == 0) expected.push_back(std::string(i == 0 ? "differ" : "right") + " /" + name + " /" + name);
    }
    TKNFileCompare engine;
    engine.CompareContent = true;
    engine.ContentReaders = 4;
    EXPECT_EQ(Compare(engine, t), expected);
}

TEST(ContentCompare, FilesThatCannotBeComparedAreListedWithTheReason)
{
    Trees t;
    t.File(t.left, "gone.txt", "abc");
    t.File(t.right, "gone.txt", "abc");
    t.File(t.left, "kept.txt", "abc");
    t.File(t.right, "kept.txt", "abc");
    mkfifo((t.left + "/pipe").c_str(), 0644);
    mkfifo((t.right + "/pipe").c_str(), 0644);
    testutil::SetMTime(t.left + "/pipe", kTen);
    testutil::SetMTime(t.right + "/pipe", kTen);
    TKNFileCompare engine;
    engine.CompareContent = true;
    std::vector<std::string> progress;
    engine.OnProgress = [&](void*, uint8_t state, const std::string& text) {
        if (state == 3) std::remove((t.right + "/gone.txt").c_str());  // after the scan, before reading
        if (state == 5) progress.push_back(text);
    };
    EXPECT_EQ(Compare(engine, t), Rows{"differ /gone.txt /gone.txt"});
    ASSERT_EQ(engine.ContentNotes.size(), 1u);
    EXPECT_NE(engine.ContentNotes[0].find("gone.txt\" no longer exists"), std::string::npos) << engine.ContentNotes[0];
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front().rfind("Comparing contents... ", 0), 0u) << progress.front();
    EXPECT_EQ(progress.back(), engine.ContentNotes[0]);
    EXPECT_TRUE(testutil::Exists(t.left + "/gone.txt"));
}

TEST(ContentCompare, FilesOver4GiBAndStopDuringTheComparison)
{
    Trees t;
    const int64_t size = (int64_t(9) << 29);  // 4.5 GiB, sparse
    testutil::MakeDirs(t.left);
    testutil::MakeDirs(t.right);
    SparseFile(t.left + "/huge.bin", size, 0, 'x');
    SparseFile(t.right + "/huge.bin", size);
    for (const auto* side : {&t.left, &t.right}) testutil::SetMTime(*side + "/huge.bin", kTen);
    TKNFileCompare engine;
    engine.CompareContent = true;
    EXPECT_EQ(Compare(engine, t), Rows{"differ /huge.bin /huge.bin"});  // settled by the first block

    SparseFile(t.left + "/huge.bin", size);
    testutil::SetMTime(t.left + "/huge.bin", kTen);
    int done = 0;
    bool sawBytes = false;
    engine.OnCompareDone = [&](void*) { ++done; };
    engine.OnProgress = [&](void*, uint8_t state, const std::string& text) {
        if (state != 5 || text.find("Comparing contents... 0 bytes") == 0) return;
        sawBytes = text.find(" of 4.5 GiB") != std::string::npos;
        engine.StopCompare();
    };
    EXPECT_EQ(Compare(engine, t), Rows{});
    EXPECT_TRUE(sawBytes);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(engine.State, 0);
    EXPECT_NE(engine.Stop, 0);
}
