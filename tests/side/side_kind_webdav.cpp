// The WebDAV kinds in the conformance suite: Apache with mod_dav_fs, lighttpd with mod_webdav,
// nginx with dav-ext and rclone's server, each over HTTP and over HTTPS with the run's
// certificate trusted by its fingerprint. Each server serves the whole file system as the
// unprivileged test user, with links refused, so the side's root is the served folder's
// absolute path and every call first hands the test's files to that user. A listing cannot show
// links: the servers refuse them, which the link table checks.
#include <unistd.h>

#include <cstdlib>

#include "tests/common/dav_server.h"
#include "tests/side/side_conformance.h"
#include "tests/side/side_kinds.h"
#include "webdav/kn_unitWebdavSide.h"

namespace sidetest {
namespace {

using testutil::DavServer;

template <DavServer::Kind Server, bool Tls>
class DavKind : public TKindFixture {
public:
    std::string Unavailable() override
    {
        if (std::string why = DavServer::Unavailable(Server); !why.empty()) return why;
        if (!server_) {
            server_ = std::make_unique<DavServer>(DavServer::Options{Server, Tls, {}, {}});
            // The run's certificate is trusted as a user would trust it: by its fingerprint.
            ::setenv("KESTRUNE_HOME", home_.path().c_str(), 1);
            if (Tls)
                testutil::WriteFile(home_.path() + "/known_servers", "127.0.0.1:" + std::to_string(server_->Port()) +
                                                                         " " + server_->Fingerprint() + "\n");
        }
        return {};
    }
    std::unique_ptr<kn::TKNSide> Open(const std::string& served, const kn::TKNSideContext& context) override
    {
        ::setenv("KESTRUNE_HOME", home_.path().c_str(), 1);
        return GivenBeforeEachCall(kn::OpenWebdavSide(server_->Location(served), context), [served] {
            if (::access(served.c_str(), F_OK) == 0) testutil::GiveToUnprivileged(served);
        });
    }
    std::string Forbidden() const override { return "\\"; }
    bool ShowsLinks() const override { return false; }
    bool TimesOnDisk() const override { return false; }
    bool OwnName(const std::string& name) const override { return server_ && server_->OwnName(name); }

private:
    testutil::TempDir home_;
    std::unique_ptr<DavServer> server_;
};

using Kind = DavServer::Kind;
INSTANTIATE_TEST_SUITE_P(Webdav, SideConformance,
                         testing::Values(MakeKind<DavKind<Kind::Apache, false>>("DavApache"),
                                         MakeKind<DavKind<Kind::Apache, true>>("DavsApache"),
                                         MakeKind<DavKind<Kind::Lighttpd, false>>("DavLighttpd"),
                                         MakeKind<DavKind<Kind::Lighttpd, true>>("DavsLighttpd"),
                                         MakeKind<DavKind<Kind::Nginx, false>>("DavNginx"),
                                         MakeKind<DavKind<Kind::Nginx, true>>("DavsNginx"),
                                         MakeKind<DavKind<Kind::Rclone, false>>("DavRclone"),
                                         MakeKind<DavKind<Kind::Rclone, true>>("DavsRclone")),
                         KindName);

const bool kFacts = RegisterKindFacts(
    {"webdav", {{"dav:", kn::TKNServerTrust::None, true}, {"davs:", kn::TKNServerTrust::Certificate, true}}});

}  // namespace
}  // namespace sidetest
