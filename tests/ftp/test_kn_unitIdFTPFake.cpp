// The client against a scripted server: what a real server will not do on request.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "ftp/kn_unitFtpLocation.h"
#include "tests/common/ftp_server.h"
#include "tests/common/temp_tree.h"
#include "tests/ftp/fake_ftp_server.h"

namespace kn {
namespace {

using testutil::FakeFtpServer;
using testutil::FakeFtpSession;
using Clock = std::chrono::steady_clock;

void Pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A client for the fake server with short time-outs, so silent servers fail fast.
struct Client {
    explicit Client(const FakeFtpServer& server)
    {
        ftp.ReadTimeout = 400;
        ftp.ConnectTimeout = 2000;
        location = server.Location();
    }
    void Open() { OpenFtpLocation(ftp, location); }
    TKNIdFTP ftp;
    std::string location;
};

struct GreetingCase {
    const char* name;
    std::vector<std::string> parts;  // sent with a pause between them
};

// Test names in reports show the row name.
void PrintTo(const GreetingCase& row, std::ostream* os)
{
    *os << row.name;
}

class FtpGreetingTest : public ::testing::TestWithParam<GreetingCase> {};

TEST_P(FtpGreetingTest, IsReadAsOneReply)
{
    FakeFtpServer server([parts = GetParam().parts](FakeFtpSession& s) {
        for (const std::string& part : parts) {
            s.Send(part);
            Pause(30);
        }
        s.Reply("USER anonymous", "230 Welcome, no password needed");
        s.Reply("TYPE I", "200 ok");
        s.Reply("SYST", "215 UNIX Type: L8");
        s.Reply("FEAT", "211-Features:\r\n MDTM\r\n size\r\n MLST type*;size*;modify*;\r\n211 End");
        s.WaitForClose();
    });
    Client c(server);
    c.Open();
    EXPECT_TRUE(c.ftp.Connected());
    EXPECT_TRUE(c.ftp.HasFeature("SIZE"));
    EXPECT_TRUE(c.ftp.HasFeature("mlst"));
    EXPECT_FALSE(c.ftp.HasFeature("MFMT"));
    EXPECT_EQ(c.ftp.SystemDesc(), "UNIX Type: L8");
}

INSTANTIATE_TEST_SUITE_P(Cases, FtpGreetingTest,
                         ::testing::Values(GreetingCase{"MultiLine", {"220-Welcome\r\n220 Ready\r\n"}},
                                           GreetingCase{"LowerCaseEnd", {"220-Welcome\r\n 220-inner\r\n220 ready\r\n"}},
                                           GreetingCase{"SplitAcrossReads",
                                                        {"22", "0-Wel", "come\r", "\n220 Re", "ady\r\n"}},
                                           GreetingCase{"BareLineFeeds", {"220-Welcome\n220 Ready\n"}},
                                           GreetingCase{"ReadyLater", {"120 Ready in 1 minute\r\n", "220 Ready\r\n"}}),
                         [](const auto& row) { return std::string(row.param.name); });

struct BadServerCase {
    const char* name;
    std::string raw;  // what the server sends instead of a proper greeting
    bool replyError;  // TKNFtpReplyError (else a plain TKNFtpError)
    const char* message;
};

// Test names in reports show the row name.
void PrintTo(const BadServerCase& row, std::ostream* os)
{
    *os << row.name;
}

class FtpBadServerTest : public ::testing::TestWithParam<BadServerCase> {};

TEST_P(FtpBadServerTest, FailsWithinTheTimeOut)
{
    const BadServerCase& c = GetParam();
    FakeFtpServer server([&c](FakeFtpSession& s) {
        s.Send(c.raw);
        s.WaitForClose();
    });
    Client client(server);
    auto start = Clock::now();
    try {
        client.Open();
        FAIL() << "connected to a broken server";
    } catch (const TKNFtpReplyError& e) {
        EXPECT_TRUE(c.replyError) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    } catch (const TKNFtpError& e) {
        EXPECT_FALSE(c.replyError) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_FALSE(client.ftp.Connected());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

std::string EndlessReply()
{
    std::string text = "220-Welcome\r\n";
    for (int i = 0; i < 12000; ++i) text += "220-and more\r\n";
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpBadServerTest,
    ::testing::Values(BadServerCase{"Silent", "", true, "did not reply within 400 ms"},
                      BadServerCase{"UnfinishedMultiLine", "220-Welcome\r\n", true, "did not reply"},
                      BadServerCase{"Garbage", "HELLO THERE\r\n", true, "HELLO THERE"},
                      BadServerCase{"EmptyLine", "\r\n", true, "empty reply"},
                      BadServerCase{"Refusal", "421 Too many users\r\n", true, "421 Too many users"},
                      BadServerCase{"OverLongLine", std::string(100000, 'x'), false, "over-long"},
                      BadServerCase{"EndlessReply", EndlessReply(), false, "does not end"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FtpFake, ServerThatHangsUpIsReportedAsClosed)
{
    FakeFtpServer server([](FakeFtpSession&) {});
    Client client(server);
    try {
        client.Open();
        FAIL() << "connected";
    } catch (const TKNFtpError& e) {
        EXPECT_NE(std::string(e.what()).find("closed the connection"), std::string::npos) << e.what();
    }
}

TEST(FtpFake, SilenceAfterLoginFailsTheCommandAndDisconnects)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login();
        EXPECT_EQ(s.ReadCommand(), "CWD /pub");
        s.WaitForClose();
    });
    Client c(server);
    c.Open();
    try {
        c.ftp.ChangeDir("/pub");
        FAIL() << "no reply was accepted";
    } catch (const TKNFtpReplyError& e) {
        EXPECT_EQ(e.Code, 0);
    }
    EXPECT_FALSE(c.ftp.Connected());
    EXPECT_THROW(c.ftp.ChangeDir("/"), TKNFtpError);
}

TEST(FtpFake, RefusalCarriesTheReplyText)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login();
        s.Reply("CWD /nope", "550-No such folder\r\n550 /nope");
        s.Reply("USER x", "530 Login incorrect");
        s.WaitForClose();
    });
    Client c(server);
    c.Open();
    try {
        c.ftp.ChangeDir("/nope");
        FAIL();
    } catch (const TKNFtpReplyError& e) {
        EXPECT_EQ(e.Code, 550);
        EXPECT_STREQ(e.what(), "550-No such folder\n550 /nope");
    }
    EXPECT_TRUE(c.ftp.Connected());
    EXPECT_THROW(c.ftp.SendCmd("USER x", {230, 331}), TKNFtpReplyError);
}

TEST(FtpFake, LineBreaksInArgumentsNeverReachTheServer)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login();
        s.Reply("CWD /ok", "250 ok");
        s.WaitForClose();
    });
    Client c(server);
    c.Open();
    EXPECT_THROW(c.ftp.ChangeDir("/a\r\nDELE x"), TKNFtpError);
    EXPECT_THROW(c.ftp.Delete("/a\nb"), TKNFtpError);
    c.ftp.ChangeDir("/ok");  // the fake fails the test if anything else arrived first
}

TEST(FtpFake, DosListingComesFromTheControlPeerNotTheReplyAddress)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login();
        s.Passive(true);  // EPSV refused; the PASV reply names 10.0.0.99, which would not answer
        s.Reply("LIST", "150 Here it comes");
        s.SendData(
            "03-07-19  02:05PM       <DIR>          docs\r\n"
            "03-07-19  02:06PM                 1234 read me.txt\r\n");
        s.Send("226 Done\r\n");
        s.WaitForClose();
    });
    Client c(server);
    c.Open();
    c.ftp.List();
    ASSERT_EQ(c.ftp.DirectoryListing().size(), 2u);
    EXPECT_EQ(c.ftp.DirectoryListing()[0].ItemType, TKNFtpItemType::ditDirectory);
    EXPECT_EQ(c.ftp.DirectoryListing()[1].FileName, "read me.txt");
    EXPECT_EQ(c.ftp.DirectoryListing()[1].Size, 1234);
}

// EPSV goes out with the transfer's command where FEAT names it (the fake reads both before it
// answers either); a server that refuses it after all refuses the command too, and PASV then
// carries this transfer and every later one.
TEST(FtpFake, EpsvRefusedDespiteFeatFallsBackToPasvInStep)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login("211-Features:\r\n EPSV\r\n211 End");
        EXPECT_EQ(s.ReadCommand(), "EPSV");
        EXPECT_EQ(s.ReadCommand(), "LIST");
        s.Send("500 EPSV not understood\r\n425 Use PORT or PASV first\r\n");
        for (int i = 0; i < 2; ++i) {
            s.Passive();
            s.Reply("LIST", "150 Here it comes");
            s.SendData("-rw-r--r-- 1 u g 5 Jan 02 2020 a.txt\r\n");
            s.Send("226 Done\r\n");
        }
        s.WaitForClose();
    });
    Client c(server);
    c.Open();
    for (int i = 0; i < 2; ++i) {
        c.ftp.List();
        ASSERT_EQ(c.ftp.DirectoryListing().size(), 1u) << i;
    }
}

// A server that refuses the command sent with EPSV may close its port before the client connects
// (proftpd does): the refusal is what the caller hears, and the conversation stays in step.
TEST(FtpFake, ACommandRefusedBeforeItsDataConnectionIsToldInStep)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login("211-Features:\r\n EPSV\r\n211 End");
        EXPECT_EQ(s.ReadCommand(), "EPSV");
        EXPECT_EQ(s.ReadCommand(), "RETR /a.txt");
        s.Send("229 Entering Extended Passive Mode (|||" + std::to_string(testutil::FreeLoopbackPort()) +
               "|)\r\n550 /a.txt: Permission denied\r\n");
        s.Reply("CWD /next", "250 ok");
        s.WaitForClose();
    });
    Client c(server);
    c.Open();
    try {
        c.ftp.OpenRetrieve("/a.txt");
        FAIL();
    } catch (const TKNFtpReplyError& e) {
        EXPECT_EQ(e.Code, 550);
        EXPECT_STREQ(e.what(), "550 /a.txt: Permission denied");
    }
    c.ftp.ChangeDir("/next");
}

TEST(FtpFake, UnknownListingFailsAndTheConnectionStaysInStep)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login();
        s.Passive();
        s.Reply("LIST", "150 Here it comes");
        int data = s.AcceptData();
        std::string text = "modify=20201010;perm=r; strange\r\n";
        ::send(data, text.data(), text.size(), MSG_NOSIGNAL);
        EXPECT_EQ(s.ReadCommand(), "ABOR");
        ::close(data);
        s.Send("426 Aborted\r\n226 ABOR ok\r\n");
        s.Reply("NOOP", "200 ok");
        s.Reply("CWD /next", "250 ok");
        s.WaitForClose();
    });
    Client c(server);
    c.Open();
    try {
        c.ftp.List();
        FAIL();
    } catch (const TKNFtpError& e) {
        EXPECT_STREQ(e.what(), "Unknown FTP listing format");
    }
    EXPECT_TRUE(c.ftp.DirectoryListing().empty());
    c.ftp.ChangeDir("/next");
}

TEST(FtpFake, AbortFromTheWorkEventStopsTheDownload)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login();
        s.Passive();
        s.Reply("RETR /big", "150 Sending");
        int data = s.AcceptData();
        std::string block(200000, 'z');
        ::send(data, block.data(), block.size(), MSG_NOSIGNAL);
        EXPECT_EQ(s.ReadCommand(), "ABOR");
        ::close(data);
        s.Send("426 Aborted\r\n");
        Pause(50);
        s.Send("226 ABOR ok\r\n");
        s.Reply("NOOP", "200 ok");
        s.Reply("DELE /big", "250 gone");
        s.WaitForClose();
    });
    testutil::TempDir tmp;
    const std::string local = tmp / "big";
    Client c(server);
    c.Open();
    std::vector<int64_t> work;
    c.ftp.OnWork = [&](int64_t done) {
        work.push_back(done);
        if (done > 0) c.ftp.Abort();
    };
    try {
        c.ftp.Get("/big", local);
        FAIL();
    } catch (const TKNFtpError& e) {
        EXPECT_STREQ(e.what(), "Transfer aborted");
    }
    ASSERT_EQ(work.size(), 2u);
    EXPECT_EQ(work[0], 0);
    EXPECT_GT(work[1], 0);
    EXPECT_FALSE(testutil::Exists(local)) << "a partial download was left behind";
    c.ftp.Delete("/big");
}

TEST(FtpFake, UploadToAServerThatStopsReadingTimesOut)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login();
        s.Passive();
        s.Reply("STOR /stuck", "150 Go ahead");
        int data = s.AcceptData();  // and never read
        EXPECT_EQ(s.ReadCommand(), "ABOR");
        ::close(data);
        s.Send("426 Aborted\r\n226 ABOR ok\r\n");
        s.Reply("NOOP", "200 ok");
        s.WaitForClose();
    });
    testutil::TempDir tmp;
    testutil::WriteFile(tmp / "big", std::string(32 * 1024 * 1024, 'u'));
    Client c(server);
    c.Open();
    auto start = Clock::now();
    try {
        c.ftp.Put(tmp / "big", "/stuck");
        FAIL() << "the upload went through";
    } catch (const TKNFtpError& e) {
        EXPECT_NE(std::string(e.what()).find("timed out"), std::string::npos) << e.what();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
    EXPECT_TRUE(c.ftp.Connected());
}

// A server that resets an upload's data connection once it has read it still sends the
// transfer's reply: the upload fails, and that reply is not taken for the next command's (a
// connection kept out of step made the comparison after an update fail on its first listing).
TEST(FtpFake, AnUploadWhoseDataConnectionIsResetLeavesTheConversationInStep)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login();
        s.Passive();
        s.Reply("STOR /u", "150 Go ahead");
        const int data = s.AcceptData();
        char buf[64];
        while (::recv(data, buf, sizeof buf, 0) > 0) {
        }
        const linger reset{1, 0};
        ::setsockopt(data, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(data);
        s.Send("226 Transfer complete\r\n");
        EXPECT_EQ(s.ReadCommand(), "ABOR");
        s.Send("225 No transfer to abort\r\n");
        s.Reply("NOOP", "200 ok");
        s.Reply("CWD /next", "250 ok");
        s.WaitForClose();
    });
    Client c(server);
    c.Open();
    c.ftp.OpenStore("/u");
    c.ftp.WriteStore("x", 1);
    EXPECT_THROW(c.ftp.FinishStore({}), TKNFtpError);
    c.ftp.ChangeDir("/next");
}

TEST(FtpFake, AsciiTransfersConvertLineEnds)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login();
        s.Reply("TYPE A", "200 ASCII");
        s.Passive();
        s.Reply("RETR /t", "150 Sending");
        int data = s.AcceptData();
        for (const char* part : {"one\r", "\ntwo\r\n", "bare\rcr\r"}) {
            ::send(data, part, std::strlen(part), MSG_NOSIGNAL);
            Pause(30);
        }
        ::close(data);
        s.Send("226 Done\r\n");
        s.Passive();
        s.Reply("STOR /u", "150 Go ahead");
        EXPECT_EQ(s.ReceiveData(), "a\r\nb\r\n");
        s.Send("226 Stored\r\n");
        s.WaitForClose();
    });
    testutil::TempDir tmp;
    testutil::WriteFile(tmp / "u", "a\nb\n");
    Client c(server);
    c.Open();
    c.ftp.SetTransferType(TKNFtpTransferType::ftASCII);
    c.ftp.Get("/t", tmp / "t");
    EXPECT_EQ(testutil::ReadFile(tmp / "t"), "one\ntwo\nbare\rcr\r");
    c.ftp.Put(tmp / "u", "/u");
}

TEST(FtpFake, ModifiedTimeIsSetWhenTheServerKnowsHow)
{
    FakeFtpServer server([](FakeFtpSession& s) {
        s.Login();
        s.Reply("MFMT 20200102030405 /f", "213 Modify=20200102030405; /f");
        s.Reply("MFMT 20200102030405 /g", "550 No such file");
        // The server forgets MFMT: the client tries the other forms once, then keeps the one
        // that worked.
        s.Reply("MFMT 20200102030405 /f", "502 Command not implemented");
        s.Reply("SITE UTIME 20200102030405 /f", "550 Permission denied.");
        s.Reply("MDTM 20200102030405 /f", "213 File modification time set.");
        s.Reply("MDTM 20200102030405 /h", "550 Could not set file modification time.");
        s.Reply("MDTM /f", "213 20200102030405");
        s.Reply("MDTM /g", "550 No such file");
        s.WaitForClose();
    });
    Client c(server);
    c.Open();
    const int64_t when = 1577934245;  // 2020-01-02 03:04:05 UTC
    EXPECT_TRUE(c.ftp.SetModTime("/f", when));
    EXPECT_THROW(c.ftp.SetModTime("/g", when), TKNFtpReplyError);
    EXPECT_TRUE(c.ftp.SetModTime("/f", when));
    EXPECT_FALSE(c.ftp.SetModTime("/h", when)) << "no form left that the server takes";
    EXPECT_FALSE(c.ftp.SetModTime("/h", when)) << "and no command is sent for it";
    EXPECT_EQ(c.ftp.ModTime("/f"), when);
    EXPECT_EQ(c.ftp.ModTime("/g"), -1);
}

TEST(FtpFake, UnreachableHostsFailClearly)
{
    const int closedPort = testutil::FreeLoopbackPort();

    TKNIdFTP ftp;
    try {
        OpenFtpLocation(ftp, "ftp://127.0.0.1:" + std::to_string(closedPort) + "/");
        FAIL();
    } catch (const TKNFtpError& e) {
        EXPECT_NE(std::string(e.what()).find("Could not connect to 127.0.0.1:"), std::string::npos) << e.what();
    }
    try {
        OpenFtpLocation(ftp, "ftp://no-such-host.invalid/");
        FAIL();
    } catch (const TKNFtpError& e) {
        EXPECT_NE(std::string(e.what()).find("Could not resolve host \"no-such-host.invalid\""), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(ftp.Connected());
}

TEST(FtpFake, ConnectGivesUpAfterItsTimeOut)
{
    // A listener that never accepts, with its queue filled: further connects are not answered.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), len), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len);
        fillers.push_back(fd);
    }
    TKNIdFTP ftp;
    ftp.ConnectTimeout = 300;
    auto start = Clock::now();
    try {
        OpenFtpLocation(ftp, "ftp://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/");
        FAIL() << "connected to a listener that never accepts";
    } catch (const TKNFtpError& e) {
        EXPECT_NE(std::string(e.what()).find("timed out"), std::string::npos) << e.what();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    for (int fd : fillers) ::close(fd);
    ::close(listener);
}

}  // namespace
}  // namespace kn

namespace kn {
namespace {

const char* const kMlstFeatures = "211-Features:\r\n MLST type*;size*;modify*;\r\n SIZE\r\n211 End";

TEST(FtpFakeMlsd, ListsThroughMlsdWhenOffered)
{
    testutil::FakeFtpServer server([](testutil::FakeFtpSession& s) {
        s.Login(kMlstFeatures);
        s.Passive();
        s.Reply("MLSD", "150 Listing");
        s.SendData("type=cdir; /\r\ntype=file;size=5;modify=20200102030405; a b.txt\r\ntype=dir; sub\r\n");
        s.Send("226 Done\r\n");
        s.WaitForClose();
    });
    TKNIdFTP ftp;
    OpenFtpLocation(ftp, server.Location());
    ftp.List();
    ASSERT_EQ(ftp.DirectoryListing().size(), 2u);
    EXPECT_EQ(ftp.DirectoryListing()[0].FileName, "a b.txt");
    EXPECT_EQ(vex::DateTimeToUnix(ftp.DirectoryListing()[0].ModifiedDate, vex::LocalOffsetNow()), 1577934245);
    EXPECT_EQ(ftp.DirectoryListing()[1].ItemType, TKNFtpItemType::ditDirectory);
}

TEST(FtpFakeMlsd, AServerThatOffersMlstButRefusesMlsdIsListedWithList)
{
    testutil::FakeFtpServer server([](testutil::FakeFtpSession& s) {
        s.Login(kMlstFeatures);
        s.Passive();
        s.Reply("MLSD", "500 Unknown command");
        for (int i = 0; i < 2; ++i) {  // the second listing goes straight to LIST
            s.Passive();
            s.Reply("LIST", "150 Listing");
            s.SendData("-rw-r--r-- 1 u g 5 Jan 02 2020 a.txt\r\n");
            s.Send("226 Done\r\n");
        }
        s.WaitForClose();
    });
    TKNIdFTP ftp;
    OpenFtpLocation(ftp, server.Location());
    for (int i = 0; i < 2; ++i) {
        ftp.List();
        ASSERT_EQ(ftp.DirectoryListing().size(), 1u);
        EXPECT_EQ(ftp.DirectoryListing()[0].TimeStep, kDayStep) << "a LIST line with a year shows only the day";
    }
}

}  // namespace
}  // namespace kn
