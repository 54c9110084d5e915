// WebDAV servers for the tests, each from Debian's packages with a configuration of its own, on a
// free loopback port, serving the whole file system to the unprivileged test user
// (kUnprivilegedId) with links refused, over HTTP or over HTTPS with a certificate made for the
// run:
//   Apache 2.4 with mod_dav_fs (dead properties, ETags, conditions honoured);
//   lighttpd with mod_webdav and its SQLite property store;
//   nginx with its dav module and dav-ext (no PROPPATCH, no ETags, conditions ignored);
//   rclone serve webdav (no dead properties).
// A location names a local path: dav://127.0.0.1:PORT/local/path. A test hands the folders
// it serves to the server's user (GiveToUnprivileged) before the server writes there.
#pragma once

#include <sys/types.h>

#include <string>

#include "tests/common/temp_tree.h"

namespace testutil {

class DavServer {
public:
    enum class Kind { Apache, Lighttpd, Nginx, Rclone };
    struct Options {
        Kind Server = Kind::Apache;
        bool Tls = false;
        std::string User, Password;  // a Basic login the server demands (Apache and rclone)
    };
    explicit DavServer(const Options& options);
    ~DavServer();
    DavServer(const DavServer&) = delete;
    DavServer& operator=(const DavServer&) = delete;

    // Empty when the kind's server is installed; else what is missing.
    static std::string Unavailable(Kind kind);
    // The location of the local folder `path` (absolute), with the login's password.
    std::string Location(const std::string& path) const;
    int Port() const { return port_; }
    // "sha256:HEX" of the run's certificate (Tls only).
    const std::string& Fingerprint() const { return fingerprint_; }
    // True for a name the server keeps for itself beside the served files (Apache's ".DAV" and
    // the files it receives uploads in).
    bool OwnName(const std::string& name) const;

private:
    std::string Config();

    Options options_;
    TempDir state_;  // configuration, certificate, logs, property store
    std::string fingerprint_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace testutil
