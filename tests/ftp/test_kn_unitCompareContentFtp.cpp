// Content comparison with an FTP side: by the server's checksum command where FEAT offers one
// or the server answers one it does not name (scripted servers), streamed otherwise (a
// scripted server, and a real one in a whole comparison); by a real server's HASH (proftpd).
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitCompareContent.h"
#include "engine/kn_unitContentHash.h"
#include "engine/kn_unitScanProviderSide.h"
#include "engine/kn_unitUpdate.h"
#include "ftp/kn_unitFtpLocation.h"
#include "side/kn_unitSideKeeper.h"
#include "tests/common/ftp_server.h"
#include "tests/common/temp_tree.h"
#include "tests/ftp/fake_ftp_server.h"

namespace kn {
namespace {

using testutil::FakeFtpServer;
using testutil::FakeFtpSession;

std::string Digest(TKNHashKind kind, const std::string& text)
{
    TKNHasher hasher(kind);
    hasher.Update(text.data(), text.size());
    return hasher.FinishHex();
}

TKNFileRec Rec(const std::string& folder, const std::string& name, int64_t size)
{
    TKNFileRec rec;
    rec.Path = folder;
    rec.Name = name;
    rec.Size = size;
    return rec;
}

// Compares each local file `names` in `dir` with the same name under the server folder `pub`.
TKNContentResult CompareWithServer(const std::string& pub, const testutil::TempDir& dir,
                                   const std::vector<std::string>& names, std::vector<TKNContentResult>& results)
{
    auto local = MakeSideContentSide(dir.path(), dir.path(), {});
    auto remote = MakeSideContentSide(pub, pub, {});
    TKNContentBuffers buffers(64 * 1024);
    for (const std::string& name : names) {
        TKNContentProgress progress;
        const int64_t size = static_cast<int64_t>(testutil::ReadFile(dir / name).size());
        TKNContentOutcome outcome =
            CompareFileContents(*local, Rec(dir.path(), name, size), *remote, Rec(pub, name, size), buffers, progress);
        EXPECT_TRUE(outcome.Reason.empty()) << outcome.Reason;
        EXPECT_EQ(progress.Done, size);
        results.push_back(outcome.Result);
    }
    // The connection stays for a next side of the location until the program ends, as here.
    remote.reset();
    DropKeptLinks();
    return results.empty() ? TKNContentResult::Failed : results.back();
}

// The server's entries with the attribute key of a plain local file, so that only contents
// and times decide.
class PlainKeyFtp : public TKNScanProviderSide {
public:
    int32_t AttrKey(const TKNFileRec&) override { return static_cast<int32_t>(faArchive); }
};

}  // namespace

TEST(ContentFtp, HashCommandOfFeatIsUsedAndNothingIsDownloaded)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "a.txt", "hello world");
    testutil::WriteFile(dir / "b.txt", "hello there");
    const std::string sha = Digest(TKNHashKind::Sha256, "hello world");
    FakeFtpServer server([&](FakeFtpSession& s) {
        s.Login();
        s.Reply("CWD /pub", "250 ok");  // the side enters its root when it connects
        s.Reply("PWD", "257 \"/pub\" is where it went");
        s.Reply("FEAT", "211-Features:\r\n MDTM\r\n HASH SHA-1;SHA-256*;MD5\r\n211 End");
        s.Reply("OPTS HASH SHA-256", "200 SHA-256");
        s.Reply("HASH /pub/a.txt", "213 SHA-256 0-10 " + sha + " /pub/a.txt");
        s.Reply("HASH /pub/b.txt", "213 SHA-256 0-10 " + sha + " /pub/b.txt");
        s.Reply("QUIT", "221 Bye");
        s.WaitForClose();
    });
    std::vector<TKNContentResult> results;
    CompareWithServer(server.Location("/pub"), dir, {"a.txt", "b.txt"}, results);
    EXPECT_EQ(results, (std::vector{TKNContentResult::Equal, TKNContentResult::Differ}));
}

TEST(ContentFtp, CrcCommandWhenThatIsAllTheServerHas)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "n.txt", "123456789");
    FakeFtpServer server([&](FakeFtpSession& s) {
        s.Login();
        s.Reply("CWD /pub", "250 ok");  // the side enters its root when it connects
        s.Reply("PWD", "257 \"/pub\" is where it went");
        s.Reply("FEAT", "211-Extensions:\r\n XCRC\r\n SIZE\r\n211 END");
        s.Reply("XCRC /pub/n.txt", "250 CBF43926");
        s.Reply("QUIT", "221 Bye");
        s.WaitForClose();
    });
    std::vector<TKNContentResult> results;
    EXPECT_EQ(CompareWithServer(server.Location("/pub"), dir, {"n.txt"}, results), TKNContentResult::Equal);
}

// Many servers answer X commands that FEAT does not name: the strongest that answers is found
// on the first file and used alone from then on; those refused as unknown are not asked again.
TEST(ContentFtp, UnnamedChecksumCommandIsFoundOnceAndUsed)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "a.txt", "hello world");
    testutil::WriteFile(dir / "b.txt", "hello there");
    const std::string md5 = Digest(TKNHashKind::Md5, "hello world");
    FakeFtpServer server([&](FakeFtpSession& s) {
        s.Login();
        s.Reply("CWD /pub", "250 ok");  // the side enters its root when it connects
        s.Reply("PWD", "257 \"/pub\" is where it went");
        s.Reply("FEAT", "211-Features:\r\n MDTM\r\n SIZE\r\n211 End");
        s.Reply("XSHA256 /pub/a.txt", "500 Unknown command");
        s.Reply("XSHA1 /pub/a.txt", "502 Not implemented");
        s.Reply("XMD5 /pub/a.txt", "250 " + md5);
        s.Reply("XMD5 /pub/b.txt", "250 " + md5);
        s.Reply("QUIT", "221 Bye");
        s.WaitForClose();
    });
    std::vector<TKNContentResult> results;
    CompareWithServer(server.Location("/pub"), dir, {"a.txt", "b.txt"}, results);
    EXPECT_EQ(results, (std::vector{TKNContentResult::Equal, TKNContentResult::Differ}));
}

// proftpd hashes with HASH (its mod_digest): contents compare while it refuses every download.
TEST(ContentFtp, ARealServersHashCommandIsUsedAndNothingIsDownloaded)
{
    std::string why;
    if (!testutil::ProftpdServer::Usable(why)) GTEST_SKIP() << why;
    testutil::ProftpdServer server("", "<Limit RETR>\n  DenyAll\n</Limit>\n");
    testutil::TempDir dir;
    testutil::WriteFile(dir / "a.txt", "hello world");
    testutil::WriteFile(dir / "b.txt", "hello there");
    testutil::WriteFile(server.Root() + "/pub/a.txt", "hello world");
    testutil::WriteFile(server.Root() + "/pub/b.txt", "hello world");
    std::vector<TKNContentResult> results;
    CompareWithServer(server.Location("/pub"), dir, {"a.txt", "b.txt"}, results);
    EXPECT_EQ(results, (std::vector{TKNContentResult::Equal, TKNContentResult::Differ}));
}

// A whole comparison of a local tree with a real server's, which offers no checksum command.
TEST(ContentFtp, WholeComparisonAgainstARealServerStreams)
{
    testutil::FtpServer server;
    testutil::TempDir local;
    std::string big(3 * 1024 * 1024 + 17, 'q');
    std::string bigOther = big;
    bigOther[big.size() - 2] = 'r';
    for (const auto& [name, here, there] :
         {std::tuple{"same.txt", std::string("same bytes"), std::string("same bytes")},
          std::tuple{"other.txt", std::string("bytes 1"), std::string("bytes 2")}, std::tuple{"big.bin", big, big},
          std::tuple{"bigother.bin", big, bigOther}}) {
        testutil::WriteFile(local / name, here);
        testutil::WriteFile(server.Root() + "/" + name, there);
    }
    TKNFileCompare engine;
    engine.CompareContent = true;
    engine.SetLeftFolder(local.path());
    engine.SetRightFolder(server.Location());
    engine.RightList.Provider = std::make_unique<PlainKeyFtp>();
    engine.Compare(true);
    ASSERT_TRUE(engine.ErrorText.empty()) << engine.ErrorText;
    std::vector<std::string> names;
    for (const auto& row : engine.Items) names.push_back(row->Left.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"bigother.bin", "other.txt"}));
    EXPECT_TRUE(engine.ContentNotes.empty()) << engine.ContentNotes.front();
}

}  // namespace kn
