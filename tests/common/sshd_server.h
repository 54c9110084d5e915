// A real SSH server for tests: OpenSSH's sshd on 127.0.0.1 at a free port, with a host key and
// a client key made for the run in a folder of its own. While the object lives, HOME points at
// a private client home whose .ssh holds that client key (and known_hosts once trusted), and
// SSH_AUTH_SOCK is unset, so no agent or key of the machine's user takes part.
//
//   testutil::SshServer server;              // the current user, logging in with the run's key
//   server.TrustHost();                       // records the host key in the private known_hosts
//   std::string where = server.Location(dir); // "sftp://USER@127.0.0.1:PORT" + dir
#pragma once

#include <sys/types.h>

#include <string>

#include "tests/common/temp_tree.h"

namespace testutil {

class SshServer {
public:
    struct Options {
        bool ClientKey = true;       // give the client a key the server accepts
        bool PasswordLogin = true;   // the server accepts passwords (never the test's)
        std::string Passphrase;      // of the client key
        std::string DeniedRequests;  // SFTP requests the server refuses, e.g. "opendir"
        std::string Subsystem;       // the SFTP server's command line; empty: sshd's own
        int MaxStartups = 0;         // connections not yet logged in that sshd takes (0: its default)
    };
    // The command of OpenSSH's sftp-server behind the wrapper tests/common/sftp_wrapper.py with
    // `flags`, e.g. "--cap-read 32768 --ignore-modes" for a server that answers at most 32 KiB
    // per read and keeps its own permission bits.
    static std::string WrappedServer(const std::string& flags);

    SshServer();
    explicit SshServer(const Options& options);
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    int Port() const { return port_; }
    const std::string& User() const { return user_; }
    // A folder of the run, for the trees the tests serve (the server sees the whole machine).
    const std::string& Root() const { return root_.path(); }
    // The client's private home ($HOME while the object lives).
    const std::string& ClientHome() const { return home_.path(); }
    // "sftp://USER@127.0.0.1:PORT" + path (an absolute server path, or empty).
    std::string Location(const std::string& path = "") const;
    // The host key's "SHA256:..." fingerprint, as ssh-keygen prints it.
    std::string Fingerprint() const;
    // Writes the host key to the client's known_hosts under "[127.0.0.1]:PORT".
    void TrustHost() const;
    // Records another key for the host, as if the server's key had changed.
    void TrustOtherKey() const;
    // Ends the server and every session it serves at once, as a machine that goes away.
    void Vanish();

private:
    void Start();
    std::string SubsystemLine() const;

    Options options_;
    TempDir config_;
    TempDir home_;
    TempDir root_;
    std::string user_;
    std::string oldHome_;
    bool hadHome_ = false;
    std::string oldAgent_;
    bool hadAgent_ = false;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace testutil
