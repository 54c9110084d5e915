#include "engine/kn_unitServerTrust.h"

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitSideRegistry.h"
#include "ftp/kn_unitFtpTrust.h"
#include "sftp/kn_unitSftpSession.h"
#include "tls/kn_unitKnownServers.h"

namespace kn {

namespace {

TKNServerIdentity SftpIdentity(const std::string& folder)
{
    const TKNSftpHostKey key = ReadSftpHostKey(folder);
    TKNServerIdentity identity;
    identity.Label = key.Label;
    identity.Fingerprint = key.Fingerprint;
    identity.Doubt = "The host " + key.Label + " is not known.";
    identity.RecordFile = SshFolder() + "/known_hosts";
    identity.Known = key.Known;
    identity.Changed = key.Changed;
    return identity;
}

TKNServerIdentity FtpsIdentity(const std::string& folder)
{
    const TKNFtpCertificate certificate = ReadFtpCertificate(folder);
    TKNServerIdentity identity;
    identity.Label = certificate.ServerKey;
    identity.Fingerprint = certificate.Fingerprint;
    identity.Doubt = "The certificate of " + certificate.ServerKey + " is not trusted (" + certificate.Problem + ").";
    identity.RecordFile = KnownServersFile();
    identity.Known = certificate.Known();
    identity.Changed = certificate.Changed();
    return identity;
}

}  // namespace

bool IsUntrustedServerMessage(const std::string& message)
{
    return IsUnknownHostMessage(message) || IsUntrustedCertificateMessage(message);
}

bool ReadServerIdentity(const std::string& folder, TKNServerIdentity& identity)
{
    if (const TKNSideKind* kind = KindDescriptorOf(folder)) {
        if (kind->Trust(folder) == TKNServerTrust::None) return false;
        identity = kind->ReadIdentity(folder);
        return true;
    }
    switch (ServerTrustOf(folder)) {
        case TKNServerTrust::HostKey:
            identity = SftpIdentity(folder);
            return true;
        case TKNServerTrust::Certificate:
            identity = FtpsIdentity(folder);
            return true;
        case TKNServerTrust::None:
            break;
    }
    return false;
}

void TrustServer(const std::string& folder, const TKNServerIdentity& identity)
{
    if (const TKNSideKind* kind = KindDescriptorOf(folder)) return kind->TrustIdentity(folder, identity);
    if (ServerTrustOf(folder) == TKNServerTrust::HostKey) {
        TrustSftpHost(folder);
        return;
    }
    TKNFtpCertificate certificate;
    certificate.ServerKey = identity.Label;
    certificate.Fingerprint = identity.Fingerprint;
    TrustFtpCertificate(certificate);
}

}  // namespace kn
