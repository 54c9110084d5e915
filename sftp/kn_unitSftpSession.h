// One SSH connection for a root location, with libssh's SFTP channel opened when first needed:
// the host key checked against the user's known_hosts, then the logins people expect from ssh
// (agent, the keys in ~/.ssh, the location's password), ~/.ssh/config applied as libssh reads it.
// A key's passphrase, and a password when all of those failed, are asked for through
// side/kn_unitSideAsk.h; where no one answers, such a key is skipped with a note.
//
// HOME decides where ~/.ssh is (the password database only when HOME is unset), so a run can
// be given a private one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sftp/kn_unitSftpLocation.h"

struct ssh_session_struct;
struct sftp_session_struct;

namespace kn {

// The SSH folder of the user ($HOME/.ssh).
std::string SshFolder();

// One entry of a folder listing, with the link followed when the entry is a link.
struct TKNSftpEntry {
    enum class TKind { File, Folder, Other };
    std::string Name;
    TKind Kind = TKind::File;
    bool Link = false;
    int64_t Size = 0;
    int64_t MTime = 0;         // Unix seconds
    uint32_t Permissions = 0;  // the mode bits, type included
};

class TKNSftpSession {
public:
    TKNSftpSession();
    ~TKNSftpSession();
    TKNSftpSession(const TKNSftpSession&) = delete;
    TKNSftpSession& operator=(const TKNSftpSession&) = delete;

    // Connects, checks the host key, logs in, starts SFTP and resolves the root's path (the
    // login folder when it has none). Throws TKNSftpError with a message that never holds the
    // password; an unknown host throws TKNSftpUntrusted, naming its key's SHA-256 fingerprint.
    void Open(const std::string& rootLocation);
    void Close();
    bool Connected() const;

    // The server path of a location under the root this session was opened for: the root's
    // resolved path followed by the rest of the location ("\" as "/").
    // e.g. root sftp://h (login folder /home/u) and sftp://h/a/b.txt give /home/u/a/b.txt.
    std::string RemotePath(const std::string& location) const;
    const std::string& RootLocation() const { return root_; }
    // The root's resolved server path, e.g. /home/u ("/" for the server's top).
    const std::string& RootPath() const { return rootPath_; }

    // Lists a folder. False with `reason` when it cannot be listed (denied, not a folder);
    // throws TKNSftpError when the connection is gone. Names holding "/" or control
    // characters are dropped, as are "." and ".." and links that lead nowhere.
    bool List(const std::string& path, std::vector<TKNSftpEntry>& entries, std::string& reason);
    // The entry at `path` (links followed); false with `reason` when there is none.
    bool Stat(const std::string& path, TKNSftpEntry& entry, std::string& reason);

    // The last error, with libssh's text.
    std::string LastError() const;
    ssh_session_struct* Ssh() const { return ssh_; }
    // Opens libssh's SFTP channel unless it is open; false with `reason`.
    bool OpenSftp(std::string& reason);
    // libssh's SFTP channel: null before OpenSftp.
    sftp_session_struct* Sftp() const { return sftp_; }
    // What the login skipped or tried (e.g. a key with a passphrase), for the command line.
    std::vector<std::string> Notes;

    // Only the connection: no host-key check, no login (to read the host key).
    void ConnectOnly(const TKNSftpLocation& location, const std::string& shown);

private:
    void CheckHostKey(const std::string& label);
    void Authenticate(const TKNSftpLocation& location, const std::string& label);
    int AskedPassword(const std::string& account, std::vector<std::string>& tried);
    [[noreturn]] void Fail(const std::string& what);

    ssh_session_struct* ssh_ = nullptr;
    sftp_session_struct* sftp_ = nullptr;
    void* callbacks_ = nullptr;  // libssh's callbacks, alive as long as the session
    std::string label_;          // the host as messages name it
    std::string root_;           // the root location as given
    std::string rootPath_;       // its resolved server path, without a trailing "/" (except "/")
};

// The host key of the server a location names, for recording it: "SHA256:..." in
// `fingerprint`. Connects but never logs in. Throws TKNSftpError.
struct TKNSftpHostKey {
    std::string Label;        // "host" or "[host]:port"
    std::string Fingerprint;  // SHA256:...
    bool Known = false;       // already recorded, unchanged
    bool Changed = false;     // recorded with another key: never replaced here
};
TKNSftpHostKey ReadSftpHostKey(const std::string& location);
// Records the key of the server in known_hosts, unless it is known or changed (a changed key
// throws: the old entry must be removed by hand). With `expected` (the fingerprint the user was
// shown), a server that now shows another key throws and nothing is recorded. Returns what was
// found.
TKNSftpHostKey TrustSftpHost(const std::string& location, const std::string& expected = {});

}  // namespace kn
