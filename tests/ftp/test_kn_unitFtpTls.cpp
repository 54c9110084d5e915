// FTP over explicit TLS against pyftpdlib's TLS handler and vsftpd with ssl_enable: a
// certificate that is not trusted fails with its fingerprint, a trusted fingerprint lets the
// login, listings and transfers through TLS, a different one fails loudly; a handshake that
// stops half-way times out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "ftp/kn_unitFtpLocation.h"
#include "tests/common/ftp_server.h"
#include "tests/common/temp_tree.h"
#include "tests/ftp/fake_ftp_server.h"

namespace kn {
namespace {

using Clock = std::chrono::steady_clock;

struct Certificate {
    testutil::TempDir dir;
    std::string fingerprint;
    Certificate()
    {
        ::chmod(dir.path().c_str(), 0755);
        fingerprint = testutil::MakeCertificate(dir.path(), "kestrune-test.invalid");
    }
    std::string Cert() const { return dir / "cert.pem"; }
    std::string Key() const { return dir / "key.pem"; }
};

// One TLS server of the tests: its location, the folder it serves writable as `path`.
struct TlsServer {
    std::string location;  // ftps://...
    std::string folder;    // the local folder behind `location`
    std::function<void()> giveToServer;
};

struct ServerCase {
    const char* name;
    std::function<std::shared_ptr<void>(const Certificate&, TlsServer&)> start;
};

void PrintTo(const ServerCase& row, std::ostream* os)
{
    *os << row.name;
}

std::shared_ptr<void> StartPyftpdlib(const Certificate& cert, TlsServer& out)
{
    testutil::FtpServer::Options options;
    options.TlsCert = cert.Cert();
    options.TlsKey = cert.Key();
    auto server = std::make_shared<testutil::FtpServer>(options);
    testutil::MakeDirs(server->Root() + "/www");
    out = {server->Location("/www"), server->Root() + "/www", [] {}};
    return server;
}

std::shared_ptr<void> StartVsftpd(const Certificate& cert, TlsServer& out)
{
    auto server = std::make_shared<testutil::VsftpdServer>(cert.Cert(), cert.Key());
    testutil::VsftpdServer* raw = server.get();
    out = {server->Location("/www"), server->Root() + "/www", [raw] { raw->GiveToServer(); }};
    return server;
}

class FtpTls : public ::testing::TestWithParam<ServerCase> {
protected:
    void SetUp() override
    {
        std::string why;
        if (std::string(GetParam().name) == "Vsftpd" && !testutil::VsftpdServer::Usable(why)) GTEST_SKIP() << why;
        keep_ = GetParam().start(cert_, server_);
    }
    // A connection to the server with the given trusted fingerprint ("" for none).
    void Open(TKNIdFTP& ftp, const std::string& trusted)
    {
        TKNFtpLocation parsed = ParseFtpLocation(server_.location);
        ASSERT_TRUE(parsed.Tls);
        ftp.Host = parsed.Host;
        ftp.Port = parsed.Port;
        ftp.Username = parsed.Username;
        ftp.Password = parsed.Password;
        ftp.UseTls = true;
        ftp.TrustedFingerprint = trusted;
        ftp.ReadTimeout = 5000;
        ftp.Connect();
    }

    Certificate cert_;
    TlsServer server_;
    std::shared_ptr<void> keep_;
};

TEST_P(FtpTls, AnUntrustedCertificateFailsWithItsFingerprint)
{
    TKNIdFTP ftp;
    try {
        Open(ftp, "");
        FAIL() << "connected to a server whose certificate nobody trusts";
    } catch (const TKNFtpError& e) {
        EXPECT_NE(std::string(e.what()).find("is not trusted"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(cert_.fingerprint), std::string::npos) << e.what();
    }
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.FetchCertificate().Fingerprint, cert_.fingerprint);
}

TEST_P(FtpTls, ADifferentRecordedFingerprintFailsLoudly)
{
    TKNIdFTP ftp;
    std::string other = cert_.fingerprint;
    other.back() = other.back() == '0' ? '1' : '0';
    try {
        Open(ftp, other);
        FAIL() << "connected although the certificate changed";
    } catch (const TKNFtpError& e) {
        EXPECT_NE(std::string(e.what()).find("WARNING: the certificate of"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(cert_.fingerprint), std::string::npos) << e.what();
    }
}

TEST_P(FtpTls, ATrustedFingerprintLetsListingsAndTransfersThrough)
{
    testutil::WriteFile(server_.folder + "/in.txt", "sent over TLS");
    server_.giveToServer();
    testutil::TempDir local;
    testutil::WriteFile(local / "up.bin", std::string(300000, 'u'));
    TKNIdFTP ftp;
    Open(ftp, cert_.fingerprint);
    ftp.ChangeDir("/www");
    for (int round = 0; round < 2; ++round) {  // a second data connection resumes the session too
        ftp.List();
        ASSERT_GE(ftp.DirectoryListing().size(), 1u);
        EXPECT_EQ(ftp.Get("/www/in.txt", local / "in.txt"), 13);
        EXPECT_EQ(testutil::ReadFile(local / "in.txt"), "sent over TLS");
        EXPECT_EQ(ftp.Put(local / "up.bin", "/www/up.bin"), 300000);
        EXPECT_TRUE(testutil::ReadFile(server_.folder + "/up.bin") == std::string(300000, 'u'))
            << testutil::ReadFile(server_.folder + "/up.bin").size() << " bytes arrived";
    }
    ftp.Disconnect();
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpTls,
                         ::testing::Values(ServerCase{"Pyftpdlib", StartPyftpdlib}, ServerCase{"Vsftpd", StartVsftpd}),
                         [](const auto& row) { return std::string(row.param.name); });

// Someone on the way answers the data connections with a certificate of their own: no listing
// entry and no byte of theirs may get through.
TEST(FtpTlsSwitch, ADataConnectionWithAnotherCertificateFails)
{
    Certificate control, data;
    testutil::FtpServer::Options options;
    options.TlsCert = control.Cert();
    options.TlsKey = control.Key();
    options.DataTlsCert = data.Cert();
    options.DataTlsKey = data.Key();
    testutil::FtpServer server(options);
    testutil::WriteFile(server.Root() + "/in.txt", "injected");
    testutil::TempDir local;
    TKNIdFTP ftp;
    const TKNFtpLocation parsed = ParseFtpLocation(server.Location());
    ftp.Host = parsed.Host;
    ftp.Port = parsed.Port;
    ftp.Username = parsed.Username;
    ftp.Password = parsed.Password;
    ftp.UseTls = true;
    ftp.TrustedFingerprint = control.fingerprint;
    ftp.ReadTimeout = 5000;
    ftp.Connect();
    for (const std::function<void()>& transfer :
         std::vector<std::function<void()>>{[&] { ftp.List(); }, [&] { ftp.Get("/in.txt", local / "in.txt"); }}) {
        try {
            transfer();
            FAIL() << "a data connection with another certificate was accepted";
        } catch (const TKNFtpError& e) {
            EXPECT_NE(std::string(e.what()).find("presented another certificate"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(data.fingerprint), std::string::npos) << e.what();
        }
        if (!ftp.Connected()) ftp.Connect();
    }
    EXPECT_TRUE(ftp.DirectoryListing().empty());
    EXPECT_FALSE(testutil::Exists(local / "in.txt"));
}

TEST(FtpTlsFake, AHandshakeThatStopsHalfWayTimesOut)
{
    testutil::FakeFtpServer server([](testutil::FakeFtpSession& s) {
        s.Send("220 Fake ready\r\n");
        s.Reply("AUTH TLS", "234 Proceed");
        s.WaitForClose();  // reads the client's hello, never answers it
    });
    TKNIdFTP ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = static_cast<uint16_t>(server.Port());
    ftp.UseTls = true;
    ftp.ReadTimeout = 400;
    const auto start = Clock::now();
    try {
        ftp.Connect();
        FAIL();
    } catch (const TKNFtpError& e) {
        EXPECT_NE(std::string(e.what()).find("TLS handshake"), std::string::npos) << e.what();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(ftp.Connected());
}

}  // namespace
}  // namespace kn
