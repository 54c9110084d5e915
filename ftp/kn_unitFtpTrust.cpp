#include "ftp/kn_unitFtpTrust.h"

#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitIdFTP.h"
#include "tls/kn_unitKnownServers.h"

namespace kn {

TKNFtpCertificate ReadFtpCertificate(const std::string& location)
{
    const TKNFtpLocation parsed = ParseFtpLocation(location);
    if (!parsed.Tls) throw TKNFtpError("Only ftps:// locations use certificates");
    TKNIdFTP ftp;
    ftp.Host = parsed.Host;
    ftp.Port = parsed.Port;
    const TKNTlsPeer peer = ftp.FetchCertificate();
    TKNFtpCertificate certificate;
    certificate.ServerKey = FtpServerKey(parsed);
    certificate.Fingerprint = peer.Fingerprint;
    certificate.SystemTrusted = peer.Trusted;
    certificate.Problem = peer.Problem;
    certificate.Recorded = RecordedFingerprint(certificate.ServerKey);
    return certificate;
}

}  // namespace kn
