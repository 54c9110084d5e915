// The kinds of side an update test runs against: a local folder, a folder that pyftpdlib serves
// over FTP, one that sshd serves over SFTP and one that Apache serves over WebDAV. Every kind serves a folder of the
// local disk, so a test builds and inspects its trees with plain file operations and hands the engine the kind's
// location of them. A kind's server starts once, with its first test, and serves the whole run.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace testutil {

class UpdateKind {
public:
    virtual ~UpdateKind() = default;
    // A fresh local folder the kind serves, for one test's trees.
    virtual std::string Folder() = 0;
    // The location the engine is given for the local folder `local` (below a Folder()).
    virtual std::string Location(const std::string& local) const = 0;
    // The local path of a location this kind shows (progress texts, without passwords).
    virtual std::string LocalOf(const std::string& shown) const { return shown; }
    // The server keeps permission bits of what it writes.
    virtual bool KeepsModes() const { return true; }
    // The server writes as root, whoever runs the update: permissions do not bind it.
    virtual bool ServerIsRoot() const { return false; }
    // The kind's listings show a link as a link (a WebDAV server hides them, refusing each).
    virtual bool ShowsLinks() const { return true; }
    // Names of one file written stay names of one file there (a local folder; sshd offers
    // hardlink@openssh.com).
    virtual bool KeepsHardLinks() const { return false; }
};

// The kind named "Local", "Ftp", "Sftp" or "Webdav" (one object per kind for the whole run).
UpdateKind& KindNamed(const std::string& name);
// The names of every kind, for INSTANTIATE_TEST_SUITE_P.
std::vector<std::string> KindNames();

}  // namespace testutil
