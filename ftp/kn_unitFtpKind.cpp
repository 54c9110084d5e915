#include "ftp/kn_unitFtpKind.h"

#include <stdexcept>

#include "framework/vex_unitText.h"
#include "ftp/kn_unitFtpError.h"
#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitFtpSide.h"
#include "ftp/kn_unitFtpTrust.h"
#include "tls/kn_unitKnownServers.h"

namespace kn {

namespace {

bool IsFtps(std::string_view location)
{
    return location.size() >= 5 && vex::SameTextAscii(location.substr(0, 5), "ftps:");
}

class TKNFtpKind : public TKNSideKind {
public:
    std::string_view Name() const override { return "ftp"; }
    std::vector<std::string_view> Schemes() const override { return {"ftp:", "ftps:"}; }
    std::unique_ptr<TKNSide> Open(const std::string& location, const TKNSideContext& context) const override
    {
        return OpenFtpSide(location, context);
    }
    std::size_t OptionsStart(std::string_view location) const override { return FtpOptionsStart(location); }

    // FTP logs in with a password unless as "anonymous", its user when none is named (read as the
    // FTP side reads it, percent-decoded). A location it cannot read asks for nothing: connecting
    // fails, and the comparison says why.
    bool AsksForPassword(std::string_view location) const override
    {
        try {
            return !vex::SameTextAscii(ParseFtpLocation(std::string(location)).Username, "anonymous");
        } catch (const TKNFtpError&) {
            return false;
        }
    }

    TKNServerTrust Trust(std::string_view location) const override
    {
        return IsFtps(location) ? TKNServerTrust::Certificate : TKNServerTrust::None;
    }
    TKNServerIdentity ReadIdentity(const std::string& location) const override
    {
        if (!IsFtps(location)) return TKNSideKind::ReadIdentity(location);
        const TKNFtpCertificate certificate = ReadFtpCertificate(location);
        TKNServerIdentity identity;
        identity.Label = certificate.ServerKey;
        identity.Fingerprint = certificate.Fingerprint;
        identity.Doubt =
            certificate.SystemTrusted
                ? "The certificate of " + certificate.ServerKey + " passes the system's trust."
                : "The certificate of " + certificate.ServerKey + " is not trusted (" + certificate.Problem + ").";
        identity.RecordFile = KnownServersFile();
        identity.Known = certificate.Known();
        identity.Changed = certificate.Changed();
        identity.Recorded = certificate.Recorded;
        // A server's certificate is renewed now and then: once its operator confirmed the new
        // one, an explicit yes records it.
        identity.Replaceable = true;
        return identity;
    }
    void TrustIdentity(const std::string& location, const TKNServerIdentity& identity,
                       bool replaceChanged) const override
    {
        if (!IsFtps(location)) return TKNSideKind::TrustIdentity(location, identity, replaceChanged);
        const std::string recorded = RecordedFingerprint(identity.Label);
        if (!recorded.empty() && recorded != identity.Fingerprint && !replaceChanged)
            throw TKNFtpError("Another certificate (" + recorded + ") is trusted for " + identity.Label +
                              "; it is not replaced here.");
        std::string error;
        if (!RecordFingerprint(identity.Label, identity.Fingerprint, error)) throw TKNFtpError(error);
    }

    std::vector<TKNKindUsage> Usage() const override
    {
        return {
            {"FTP", "ftp://[USER[:PASSWORD]@]HOST[:PORT][/PATH][;tz=+HHMM]",
             "A folder on an FTP server, in passive mode; the user name, the password and the files cross the "
             "network in plain text. ;tz= names the time zone of a server's LIST times, e.g. ;tz=-0530."},
            {"FTP over TLS", "ftps://[USER[:PASSWORD]@]HOST[:PORT][/PATH][;tz=+HHMM]",
             "The same over explicit TLS; a certificate the system does not trust is trusted once by its "
             "fingerprint."},
        };
    }
};

}  // namespace

const TKNSideKind& FtpSideKind()
{
    static const TKNFtpKind kind;
    return kind;
}

}  // namespace kn
