#include "webdav/kn_unitWebdavKind.h"

#include <stdexcept>

#include "http/kn_unitHttpTrust.h"
#include "webdav/kn_unitWebdavLocation.h"
#include "webdav/kn_unitWebdavSide.h"

namespace kn {

namespace {

TKNWebdavLocation Parsed(const std::string& location)
{
    try {
        return ParseWebdavLocation(location);
    } catch (const TKNWebdavError& e) {
        throw std::runtime_error(e.what());
    }
}

class TWebdavKind final : public TKNSideKind {
public:
    std::string_view Name() const override { return "webdav"; }
    std::vector<std::string_view> Schemes() const override { return {"dav:", "davs:"}; }
    std::unique_ptr<TKNSide> Open(const std::string& location, const TKNSideContext& context) const override
    {
        return OpenWebdavSide(location, context);
    }
    // A named user logs in with a password; without one the server is asked anonymously.
    bool AsksForPassword(std::string_view location) const override
    {
        try {
            return ParseWebdavLocation(std::string(location)).Endpoint.HasUser;
        } catch (const TKNWebdavError&) {
            return false;
        }
    }
    TKNServerTrust Trust(std::string_view location) const override
    {
        return location.size() > 4 && (location[3] == 's' || location[3] == 'S') ? TKNServerTrust::Certificate
                                                                                 : TKNServerTrust::None;
    }
    TKNServerIdentity ReadIdentity(const std::string& location) const override
    {
        const TKNWebdavLocation parsed = Parsed(location);
        if (!parsed.Endpoint.Tls) return TKNSideKind::ReadIdentity(location);
        return ReadHttpsIdentity(parsed.Endpoint);
    }
    void TrustIdentity(const std::string& location, const TKNServerIdentity& identity,
                       bool replaceChanged) const override
    {
        const TKNWebdavLocation parsed = Parsed(location);
        if (!parsed.Endpoint.Tls) return TKNSideKind::TrustIdentity(location, identity, replaceChanged);
        TrustHttpsIdentity(identity, replaceChanged);
    }
    std::vector<TKNKindUsage> Usage() const override
    {
        return {
            {"WebDAV", "dav://[USER[:PASSWORD]@]HOST[:PORT][/PATH]",
             "A folder on a WebDAV server over HTTP; the password and the files cross the network in plain text. "
             "The path is a URL path: write a space as %20."},
            {"WebDAV over HTTPS", "davs://[USER[:PASSWORD]@]HOST[:PORT][/PATH]",
             "The same over HTTPS; a certificate the system does not trust is trusted once by its fingerprint."},
        };
    }
};

}  // namespace

const TKNSideKind& WebdavSideKind()
{
    static const TWebdavKind kind;
    return kind;
}

}  // namespace kn
