#include "sftp/kn_unitSftpKind.h"

#include "sftp/kn_unitSftpSession.h"
#include "sftp/kn_unitSftpSide.h"

namespace kn {

namespace {

class TKNSftpKind : public TKNSideKind {
public:
    std::string_view Name() const override { return "sftp"; }
    std::vector<std::string_view> Schemes() const override { return {"sftp:"}; }
    std::unique_ptr<TKNSide> Open(const std::string& location, const TKNSideContext& context) const override
    {
        return OpenSftpSide(location, context);
    }
    // The login tries the agent and the keys first, then the location's password, and asks the
    // user (side/kn_unitSideAsk.h) only when they all failed: nothing is asked before.

    TKNServerTrust Trust(std::string_view) const override { return TKNServerTrust::HostKey; }
    TKNServerIdentity ReadIdentity(const std::string& location) const override
    {
        const TKNSftpHostKey key = ReadSftpHostKey(location);
        TKNServerIdentity identity;
        identity.Label = key.Label;
        identity.Fingerprint = key.Fingerprint;
        identity.Doubt = "The host " + key.Label + " is not known.";
        identity.RecordFile = SshFolder() + "/known_hosts";
        identity.Known = key.Known;
        identity.Changed = key.Changed;
        // As for ssh, a changed host key is removed from known_hosts by hand, knowing why.
        identity.Replaceable = false;
        return identity;
    }
    // A changed key throws whatever `replaceChanged` says; so does a key other than the one shown.
    void TrustIdentity(const std::string& location, const TKNServerIdentity& identity, bool) const override
    {
        TrustSftpHost(location, identity.Fingerprint);
    }

    std::vector<TKNKindUsage> Usage() const override
    {
        return {{"SFTP", "sftp://[USER[:PASSWORD]@]HOST[:PORT][/PATH]",
                 "A folder on an SSH server; the login tries the SSH agent and the keys in ~/.ssh first, and "
                 "without PATH the folder is the login folder."}};
    }
};

}  // namespace

const TKNSideKind& SftpSideKind()
{
    static const TKNSftpKind kind;
    return kind;
}

}  // namespace kn
