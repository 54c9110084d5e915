// The FTP kinds in the conformance suite: pyftpdlib (MLSD, MFMT, SITE CHMOD), the same over
// explicit TLS, vsftpd (LIST only, MDTM to set times, no SITE CHMOD for its anonymous login) and
// proftpd (MLSD, MFMT, SITE CHMOD, HASH).
//
// pyftpdlib serves the test's folder itself, so a link out of it leads outside the server's
// root (which pyftpdlib refuses); a new server starts for each served folder. vsftpd serves
// the whole system to its anonymous user, who may write only what the test hands it: on a real
// server the files of a login are its own, so the vsftpd side hands the served folder to the
// server's user before every call.
#include <unistd.h>

#include "ftp/kn_unitFtpSide.h"
#include "tests/common/ftp_server.h"
#include "tests/side/side_conformance.h"
#include "tests/side/side_kinds.h"

namespace sidetest {
namespace {

class PyftpdlibKind : public TKindFixture {
public:
    explicit PyftpdlibKind(bool tls = false) : tls_(tls) {}

    std::unique_ptr<kn::TKNSide> Open(const std::string& served, const kn::TKNSideContext& context) override
    {
        const bool inside = server_ && served.rfind(server_->Root(), 0) == 0;
        if (!inside) {
            server_.reset();
            testutil::FtpServer::Options options;
            options.Serve = served;
            if (tls_) {
                if (!cert_) {
                    cert_ = std::make_unique<testutil::TempDir>();
                    fingerprint_ = testutil::MakeCertificate(cert_->path(), "kestrune-test.invalid");
                }
                options.TlsCert = cert_->path() + "/cert.pem";
                options.TlsKey = cert_->path() + "/key.pem";
            }
            server_ = std::make_unique<testutil::FtpServer>(options);
        }
        // The test's certificate is trusted as a user would trust it: by its fingerprint.
        const std::string location = server_->Location(served.substr(server_->Root().size()));
        return kn::OpenFtpSide(tls_ ? WithTrust(location) : location, context);
    }
    std::string Forbidden() const override { return "\\\r\n"; }
    bool ShowsLinks() const override { return false; }  // MLSD and MLST follow links
    bool RootIsServersTop() const override { return true; }

private:
    // The side reads trusted fingerprints from known_servers in the program folder; the test
    // points that folder at its own place.
    std::string WithTrust(const std::string& location)
    {
        if (!programFolder_) programFolder_ = std::make_unique<testutil::TempDir>();
        ::setenv("KESTRUNE_HOME", programFolder_->path().c_str(), 1);
        testutil::WriteFile(programFolder_->path() + "/known_servers",
                            "127.0.0.1:" + std::to_string(server_->Port()) + " " + fingerprint_ + "\n");
        return location;
    }

    bool tls_;
    std::unique_ptr<testutil::TempDir> cert_, programFolder_;
    std::string fingerprint_;
    std::unique_ptr<testutil::FtpServer> server_;
};

class FtpsKind : public PyftpdlibKind {
public:
    FtpsKind() : PyftpdlibKind(true) {}
};

class VsftpdKind : public TKindFixture {
public:
    std::string Unavailable() override
    {
        std::string why;
        if (!testutil::VsftpdServer::Usable(why)) return why;
        if (!server_) {
            testutil::VsftpdServer::Options options;
            options.WholeSystem = true;
            server_ = std::make_unique<testutil::VsftpdServer>(options);
        }
        return {};
    }
    std::unique_ptr<kn::TKNSide> Open(const std::string& served, const kn::TKNSideContext& context) override
    {
        return GivenBeforeEachCall(kn::OpenFtpSide(server_->Location(served), context), [served] {
            if (::access(served.c_str(), F_OK) == 0) testutil::VsftpdServer::GiveToServer(served);
        });
    }
    std::string Forbidden() const override { return "\\\r\n"; }
    // LIST shows links, but nothing is looked up on the way to an entry: the server user's
    // rights keep it inside (the test's outside folder is not the server user's).
    bool ShowsLinks() const override { return false; }

private:
    std::unique_ptr<testutil::VsftpdServer> server_;
};

// proftpd confines its login to the served folder, where a link out of it leads nowhere; so,
// as for pyftpdlib, a server starts for each served folder.
class ProftpdKind : public TKindFixture {
public:
    std::string Unavailable() override
    {
        std::string why;
        if (!testutil::ProftpdServer::Usable(why)) return why;
        if (::geteuid() != 0) return "proftpd confines its login to the served folder only when run as root";
        return {};
    }
    std::unique_ptr<kn::TKNSide> Open(const std::string& served, const kn::TKNSideContext& context) override
    {
        if (!server_ || served.rfind(server_->Root(), 0) != 0) {
            server_.reset();
            server_ = std::make_unique<testutil::ProftpdServer>(served);
        }
        return kn::OpenFtpSide(server_->Location(served.substr(server_->Root().size())), context);
    }
    std::string Forbidden() const override { return "\\\r\n"; }
    bool ShowsLinks() const override { return false; }  // links out of the served folder lead nowhere
    bool RootIsServersTop() const override { return true; }

private:
    std::unique_ptr<testutil::ProftpdServer> server_;
};

INSTANTIATE_TEST_SUITE_P(Ftp, SideConformance,
                         testing::Values(MakeKind<PyftpdlibKind>("Pyftpdlib"), MakeKind<FtpsKind>("Ftps"),
                                         MakeKind<VsftpdKind>("Vsftpd"), MakeKind<ProftpdKind>("Proftpd")),
                         KindName);

// Anonymous logins need no password; ftps: servers show a certificate.
const bool kFacts = RegisterKindFacts(
    {"ftp", {{"ftp:", kn::TKNServerTrust::None, true}, {"ftps:", kn::TKNServerTrust::Certificate, true}}});

}  // namespace
}  // namespace sidetest
