#include "http/kn_unitHttpTrust.h"

#include <stdexcept>

#include "tls/kn_unitKnownServers.h"

namespace kn {

TKNServerIdentity ReadHttpsIdentity(const TKNHttpEndpoint& endpoint)
{
    TKNHttpCertificate certificate;
    std::string error;
    if (!ReadHttpsCertificate(endpoint, certificate, error)) throw std::runtime_error(error);
    TKNServerIdentity identity;
    identity.Label = endpoint.ServerKey();
    identity.Fingerprint = certificate.Fingerprint;
    identity.Doubt = "The certificate of " + identity.Label + " is not trusted (" + certificate.Problem + ").";
    identity.RecordFile = KnownServersFile();
    const std::string recorded = RecordedFingerprint(identity.Label);
    identity.Known = certificate.SystemTrusted || recorded == certificate.Fingerprint;
    identity.Changed = !recorded.empty() && recorded != certificate.Fingerprint;
    identity.Recorded = recorded;
    // A renewed certificate may replace the record once its operator confirmed it.
    identity.Replaceable = true;
    return identity;
}

void TrustHttpsIdentity(const TKNServerIdentity& identity, bool replaceChanged)
{
    const std::string recorded = RecordedFingerprint(identity.Label);
    if (!recorded.empty() && recorded != identity.Fingerprint && !replaceChanged)
        throw std::runtime_error("Another certificate is recorded for " + identity.Label + " in " + KnownServersFile() +
                                 "; it is not replaced.");
    std::string error;
    if (!RecordFingerprint(identity.Label, identity.Fingerprint, error)) throw std::runtime_error(error);
}

}  // namespace kn
