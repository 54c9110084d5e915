// Content comparison with an SFTP side, against a real sshd on loopback (whose sftp-server
// hashes nothing, so every file is streamed): whole comparisons with a local and with an FTP
// side, a stop in a long comparison, a vanished file and a FIFO on the server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitCompareContent.h"
#include "tests/common/ftp_server.h"
#include "tests/common/sshd_server.h"
#include "tests/common/temp_tree.h"

using namespace kn;

namespace {

constexpr int64_t kOld = 1577872800;  // 2020-01-01 10:00:00 UTC
constexpr int64_t kMiB = 1024 * 1024;

void PutAt(const std::string& path, const std::string& content, int64_t mtime)
{
    testutil::WriteFile(path, content);
    testutil::SetMTime(path, mtime);
}

TKNFileRec Rec(const std::string& folder, const std::string& name, int64_t size)
{
    TKNFileRec rec;
    rec.Path = folder;
    rec.Name = name;
    rec.Size = size;
    return rec;
}

// Each row as "status name".
std::vector<std::string> RowsOf(const TKNFileCompare& engine)
{
    static const char* kStatus[] = {"left", "right", "differ"};
    std::vector<std::string> rows;
    for (const auto& row : engine.Items)
        rows.push_back(std::string(kStatus[static_cast<int>(row->Status)]) + " " + row->Left.Name);
    return rows;
}

// The same four files on both sides of a comparison: equal content with other times, equal
// size and time with other bytes, and two files of several blocks, one differing at its end.
void FillPairs(const std::string& left, const std::string& right)
{
    const std::string big(3 * kMiB + 17, 'q');
    std::string bigOther = big;
    bigOther[big.size() - 2] = 'r';
    PutAt(left + "/same.txt", "same bytes", kOld + 600);
    PutAt(right + "/same.txt", "same bytes", kOld);
    PutAt(left + "/other.txt", "bytes 1", kOld);
    PutAt(right + "/other.txt", "bytes 2", kOld);
    PutAt(left + "/big.bin", big, kOld);
    PutAt(right + "/big.bin", big, kOld + 7200);
    PutAt(left + "/bigother.bin", big, kOld);
    PutAt(right + "/bigother.bin", bigOther, kOld);
}

class ContentSftp : public testing::Test {
protected:
    testutil::SshServer server;
    testutil::TempDir dir;
    const std::string local = dir / "L";
    const std::string remote = server.Root() + "/site";
    void SetUp() override { server.TrustHost(); }

    TKNContentOutcome CompareOne(TKNContentSide& side, const std::string& localName, const std::string& remoteName,
                                 TKNContentProgress& progress)
    {
        auto here = MakeSideContentSide(local, local, {});
        TKNContentBuffers buffers(kMiB);
        const int64_t size = static_cast<int64_t>(testutil::ReadFile(local + "/" + localName).size());
        return CompareFileContents(*here, Rec(local, localName, size), side,
                                   Rec(server.Location(remote), remoteName, size), buffers, progress);
    }
};

}  // namespace

TEST_F(ContentSftp, WholeComparisonWithALocalSideStreamsAndListsOnlyDifferentBytes)
{
    FillPairs(local, remote);
    TKNFileCompare engine;
    engine.CompareContent = true;
    engine.SetLeftFolder(local);
    engine.SetRightFolder(server.Location(remote));
    engine.Compare(true);
    ASSERT_TRUE(engine.ErrorText.empty()) << engine.ErrorText;
    EXPECT_EQ(RowsOf(engine), (std::vector<std::string>{"differ bigother.bin", "differ other.txt"}));
    EXPECT_TRUE(engine.ContentNotes.empty()) << engine.ContentNotes.front();
}

TEST_F(ContentSftp, WholeComparisonOfAnSftpSideWithAnFtpSide)
{
    testutil::FtpServer ftp;
    FillPairs(remote, ftp.Root());
    TKNFileCompare engine;
    engine.CompareContent = true;
    engine.SetLeftFolder(server.Location(remote));
    engine.SetRightFolder(ftp.Location());
    engine.Compare(true);
    ASSERT_TRUE(engine.ErrorText.empty()) << engine.ErrorText;
    EXPECT_EQ(RowsOf(engine), (std::vector<std::string>{"differ bigother.bin", "differ other.txt"}));
    EXPECT_TRUE(engine.ContentNotes.empty()) << engine.ContentNotes.front();
}

// A stop between blocks ends the pair at once; the requests still in flight are taken, so the
// same session compares the next pair (also after a pair that differed in its first block).
TEST_F(ContentSftp, StopInALongStreamedComparisonEndsThePairAndTheSessionComparesOn)
{
    const std::string big(8 * kMiB, 'z');
    std::string early = big;
    early[3] = 'y';
    PutAt(local + "/big.bin", big, kOld);
    PutAt(remote + "/big.bin", big, kOld);
    PutAt(local + "/early.bin", big, kOld);
    PutAt(remote + "/early.bin", early, kOld);
    auto side = MakeSideContentSide(server.Location(remote), server.Location(remote), {});

    TKNContentProgress stopped;
    int tests = 0;
    stopped.Stopped = [&] { return ++tests > 2; };
    TKNContentOutcome outcome = CompareOne(*side, "big.bin", "big.bin", stopped);
    EXPECT_EQ(outcome.Result, TKNContentResult::Failed);
    EXPECT_EQ(outcome.Reason, "Stopped");
    EXPECT_EQ(stopped.Done, 2 * kMiB);

    TKNContentProgress progress;
    EXPECT_EQ(CompareOne(*side, "early.bin", "early.bin", progress).Result, TKNContentResult::Differ);
    EXPECT_EQ(CompareOne(*side, "big.bin", "big.bin", progress).Result, TKNContentResult::Equal);
    EXPECT_EQ(progress.Done, 2 * static_cast<int64_t>(big.size()));
}

TEST_F(ContentSftp, VanishedAndSpecialFilesOnTheServer)
{
    PutAt(local + "/gone.txt", "was here", kOld);
    PutAt(local + "/pipe", "", kOld);
    testutil::MakeDirs(remote);
    ASSERT_EQ(::mkfifo((remote + "/pipe").c_str(), 0644), 0);
    auto side = MakeSideContentSide(server.Location(remote), server.Location(remote), {});
    TKNContentProgress progress;

    TKNContentOutcome gone = CompareOne(*side, "gone.txt", "gone.txt", progress);
    EXPECT_EQ(gone.Result, TKNContentResult::Failed);
    EXPECT_EQ(gone.Reason, "\"" + server.Location(remote) + "/gone.txt\" no longer exists.");
    EXPECT_EQ(CompareOne(*side, "pipe", "pipe", progress).Result, TKNContentResult::Special);
}
