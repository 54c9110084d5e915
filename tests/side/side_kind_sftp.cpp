// The conformance table against SFTP sides: OpenSSH's sshd with its own SFTP server, the same
// sshd with gesftpserver as its SFTP subsystem, and OpenSSH's sftp-server behind a wrapper that
// makes it answer short reads and offer no atomic replace. The servers see the whole machine, so a
// side's root is the served folder's absolute path.
#include <unistd.h>

#include <cstdlib>

#include "sftp/kn_unitSftpSide.h"
#include "tests/common/sshd_server.h"
#include "tests/side/side_conformance.h"
#include "tests/side/side_kinds.h"

namespace sidetest {
namespace {

class SftpKind : public TKindFixture {
public:
    explicit SftpKind(std::string subsystem = {}) : subsystem_(std::move(subsystem)) {}
    std::string Unavailable() override
    {
        if (!server_) {
            testutil::SshServer::Options options;
            options.Subsystem = subsystem_;
            server_ = std::make_unique<testutil::SshServer>(options);
            server_->TrustHost();
        }
        return {};
    }
    std::unique_ptr<kn::TKNSide> Open(const std::string& served, const kn::TKNSideContext& context) override
    {
        // Each server has its own client home (key and known_hosts); both live for the run.
        ::setenv("HOME", server_->ClientHome().c_str(), 1);
        return kn::OpenSftpSide(server_->Location(served), context);
    }
    std::string Forbidden() const override { return "\\"; }

private:
    std::string subsystem_;
    std::unique_ptr<testutil::SshServer> server_;
};

class GreenEndKind : public SftpKind {
public:
    static constexpr const char* kServer = "/usr/libexec/gesftpserver";
    GreenEndKind() : SftpKind(kServer) {}
    std::string Unavailable() override
    {
        if (::access(kServer, X_OK) != 0) return std::string(kServer) + " is not installed";
        return SftpKind::Unavailable();
    }
};

// OpenSSH's server as plainer servers are: reads of at most 32 KiB, no atomic replace.
class PlainKind : public SftpKind {
public:
    PlainKind() : SftpKind(testutil::SshServer::WrappedServer("--cap-read 32768 --hide posix-rename@openssh.com")) {}
};

INSTANTIATE_TEST_SUITE_P(Sftp, SideConformance,
                         testing::Values(MakeKind<SftpKind>("SftpSshd"), MakeKind<GreenEndKind>("SftpGesftpserver"),
                                         MakeKind<PlainKind>("SftpPlain")),
                         KindName);

// The login tries keys before it asks for a password itself.
const bool kFacts = RegisterKindFacts({"sftp", {{"sftp:", kn::TKNServerTrust::HostKey, false}}});

}  // namespace
}  // namespace sidetest
