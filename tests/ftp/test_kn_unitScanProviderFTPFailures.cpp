// Listings that fail on the FTP side: the provider reports each as a folder it could not list
// (ListError), or throws when the connection is gone, and never as an empty folder. A stop
// request ends a listing that does not end.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "engine/kn_unitScanProviderSide.h"
#include "ftp/kn_unitFtpTempName.h"
#include "tests/ftp/fake_ftp_server.h"

namespace kn {
namespace {

using testutil::FakeFtpServer;
using testutil::FakeFtpSession;
using Clock = std::chrono::steady_clock;

// Login, the provider's switch to ASCII and its entering the root "/".
void Opened(FakeFtpSession& s)
{
    s.Login();
    s.Reply("TYPE A", "200 ASCII");
    s.Reply("CWD /", "250 ok");
}

// Opened, then the CWD of `folder`.
void EnterFolder(FakeFtpSession& s, const std::string& folder = "/pub")
{
    Opened(s);
    s.Reply("CWD " + folder, "250 ok");
}

// Sends `line` on the data connection until the client closes it (at most 20 s).
void SendWithoutEnd(FakeFtpSession& s, const std::string& line)
{
    int fd = s.AcceptData();
    std::string block;
    while (block.size() < 32768) block += line;
    for (auto end = Clock::now() + std::chrono::seconds(20); Clock::now() < end;)
        if (::send(fd, block.data(), block.size(), MSG_NOSIGNAL) < 0) break;
    ::close(fd);
}

// The client's ABOR and NOOP after it gave up a transfer.
void AnswerAbort(FakeFtpSession& s)
{
    s.Reply("ABOR", "426 Aborted\r\n226 ABOR done");
    s.Reply("NOOP", "200 ok");
}

struct FailureCase {
    const char* name;
    FakeFtpServer::Script script;  // everything after the login
    const char* reason;            // part of ListError, or of the exception when `lost`
    bool lost = false;             // the connection is gone: FindFirst throws
};

void PrintTo(const FailureCase& row, std::ostream* os)
{
    *os << row.name;
}

// A listing sent whole, then "226"; the client gives it up on reading it.
FakeFtpServer::Script BadListing(const std::string& data)
{
    return [data](FakeFtpSession& s) {
        EnterFolder(s);
        s.Passive();
        s.Reply("LIST", "150 Listing");
        s.SendData(data);
        s.Send("226 Done\r\n");
        s.Reply("ABOR", "225 No transfer to abort");
        s.Reply("NOOP", "200 ok");
    };
}

// A listing of `line` again and again, until the client gives it up.
FakeFtpServer::Script EndlessListing(const std::string& line)
{
    return [line](FakeFtpSession& s) {
        EnterFolder(s);
        s.Passive();
        s.Reply("LIST", "150 Listing");
        SendWithoutEnd(s, line);
        AnswerAbort(s);
    };
}

// A data connection that stays open and quiet while the control connection keeps answering.
FakeFtpServer::Script SilentData()
{
    return [](FakeFtpSession& s) {
        EnterFolder(s);
        s.Passive();
        s.Reply("LIST", "150 Listing");
        int fd = s.AcceptData();
        AnswerAbort(s);
        ::close(fd);
    };
}

// LIST answered with `reply` instead of a transfer.
FakeFtpServer::Script ListRefused(const std::string& reply)
{
    return [reply](FakeFtpSession& s) {
        EnterFolder(s);
        s.Passive();
        s.Reply("LIST", reply);
    };
}

const FailureCase kFailures[] = {
    {"CwdRefused",
     [](FakeFtpSession& s) {
         Opened(s);
         s.Reply("CWD /pub", "550 /pub: No such file or directory");
     },
     "550 /pub: No such file"},
    {"List550", ListRefused("550 Permission denied"), "550 Permission denied"},
    {"List425", ListRefused("425 Cannot open data connection"), "425 Cannot open data connection"},
    {"List421ClosesTheConnection", ListRefused("421 Timeout, closing control connection"), "421 Timeout", true},
    {"IsoDates", BadListing("2020-01-01 12:00 report.txt\r\n"), "Unknown FTP listing format"},
    {"OverLongLine", BadListing("-rw-r--r-- 1 u g 1 Jan 02 2020 " + std::string(70000, 'n') + "\r\n"),
     "a line longer than 65536 bytes"},
    {"TooManyLines", EndlessListing("\r\n"), "more than 5000 lines"},  // dropped blank lines count too
    {"TooManyEntries", EndlessListing("-rw-r--r-- 1 u g 1 Jan 02 2020 same.txt\r\n"), "more than 1000 entries"},
    {"DataConnectionSilent", SilentData(), "data connection timed out"},
};

class ScanProviderFTPFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ScanProviderFTPFailure, IsReportedNeverEmpty)
{
    const FailureCase& c = GetParam();
    FakeFtpServer server([&c](FakeFtpSession& s) {
        c.script(s);
        s.WaitForClose();
    });
    TKNScanProviderSide provider;
    ASSERT_TRUE(provider.Open(server.Location()));
    provider.FTP->ReadTimeout = 600;
    provider.FTP->ListLimits.MaxLines = 5000;
    provider.FTP->ListLimits.MaxItems = 1000;
    std::unique_ptr<TKNFileRec> rec;
    if (c.lost) {
        try {
            provider.FindFirst(server.Location("/pub"), 0x37, rec);
            FAIL() << "a lost connection was taken as a listing";
        } catch (const TKNFtpError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_FALSE(provider.FTP->Connected());
    } else {
        EXPECT_FALSE(provider.FindFirst(server.Location("/pub"), 0x37, rec));
        EXPECT_NE(provider.ListError.find("Cannot list the FTP folder \"/pub\": "), std::string::npos)
            << provider.ListError;
        EXPECT_NE(provider.ListError.find(c.reason), std::string::npos) << provider.ListError;
        EXPECT_TRUE(provider.FTP->Connected()) << "the conversation stays usable for other folders";
    }
    provider.Close();
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanProviderFTPFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ScanProviderFTP, AnEmptyFolderAndUploadLeftoversListNothingWithoutError)
{
    const std::string leftover = FtpTempName("index.html");
    FakeFtpServer server([&](FakeFtpSession& s) {
        EnterFolder(s);
        s.Passive();
        s.Reply("LIST", "150 Listing");
        s.SendData("total 0\r\n-rw-r--r-- 1 u g 10 Jan 02 2020 " + leftover + "\r\n");
        s.Send("226 Done\r\n");
        s.Reply("CWD /pub", "250 ok");
        s.Passive();
        s.Reply("LIST", "150 Listing");
        s.SendData(
            "-rw-r--r-- 1 u g 10 Jan 02 2020 .kn-index.html-ABCDEF\r\n"
            "-rw-r--r-- 1 u g 3 Jan 02 2020 " +
            leftover +
            "\r\n"
            "drwxr-xr-x 2 u g 0 Jan 02 2020 " +
            leftover + "\r\n");
        s.Send("226 Done\r\n");
        s.WaitForClose();
    });
    TKNScanProviderSide provider;
    ASSERT_TRUE(provider.Open(server.Location()));
    std::unique_ptr<TKNFileRec> rec;
    EXPECT_FALSE(provider.FindFirst(server.Location("/pub"), 0x37, rec));
    EXPECT_EQ(provider.ListError, "");
    std::vector<std::string> names;
    for (bool more = provider.FindFirst(server.Location("/pub"), 0x37, rec); more; more = provider.FindNext(rec))
        names.push_back(rec->IsFolder() ? rec->Path.str() : rec->Name);
    EXPECT_EQ(provider.ListError, "");
    // Upper-case letters are not of the pattern, and a folder is never a leftover.
    EXPECT_EQ(names, (std::vector<std::string>{".kn-index.html-ABCDEF", server.Location("/pub/" + leftover)}));
    provider.Close();
}

struct StopCase {
    const char* name;
    bool endless;  // the server sends without end; otherwise it sends nothing
};

void PrintTo(const StopCase& row, std::ostream* os)
{
    *os << row.name;
}

class ScanProviderFTPStop : public ::testing::TestWithParam<StopCase> {};

// With the default limits and time-outs, only the stop request can end these listings soon.
TEST_P(ScanProviderFTPStop, EndsTheListingSoon)
{
    const bool endless = GetParam().endless;
    const FakeFtpServer::Script script =
        endless ? EndlessListing("-rw-r--r-- 1 u g 1 Jan 02 2020 .\r\n")  // dropped, never an entry
                : SilentData();
    FakeFtpServer server([script](FakeFtpSession& s) {
        script(s);
        s.WaitForClose();
    });
    TKNScanProviderSide provider;
    std::atomic<bool> stop{false};
    provider.StopFlag = &stop;
    ASSERT_TRUE(provider.Open(server.Location()));
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    const auto start = Clock::now();
    std::unique_ptr<TKNFileRec> rec;
    EXPECT_FALSE(provider.FindFirst(server.Location("/pub"), 0x37, rec));
    const auto took = Clock::now() - start;
    stopper.join();
    EXPECT_NE(provider.ListError.find("aborted"), std::string::npos) << provider.ListError;
    EXPECT_LT(took, std::chrono::seconds(3)) << "the read time-out is 10 s";
    provider.Close();
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanProviderFTPStop,
                         ::testing::Values(StopCase{"EndlessListing", true}, StopCase{"SilentServer", false}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace kn
