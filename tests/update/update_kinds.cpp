#include "tests/update/update_kinds.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "tests/common/dav_server.h"
#include "tests/common/ftp_server.h"
#include "tests/common/sshd_server.h"
#include "tests/common/temp_tree.h"

namespace testutil {

namespace {

// The server path of a location shown for the loopback server at `port`: what follows the port;
// `shown` itself when it names no place on that server.
std::string ServerPathOf(const std::string& shown, int port)
{
    const std::string at = "127.0.0.1:" + std::to_string(port);
    const std::size_t found = shown.find(at);
    return found == std::string::npos ? shown : shown.substr(found + at.size());
}

// Fresh sub-folders of one served folder, kept until the run ends.
std::string FreshUnder(const std::string& base)
{
    static int count = 0;
    const std::string folder = base + "/t" + std::to_string(++count);
    MakeDirs(folder);
    return folder;
}

class LocalKind : public UpdateKind {
public:
    LocalKind() { ::chmod(dir_.path().c_str(), 0755); }  // an unprivileged run reaches its trees
    std::string Folder() override { return FreshUnder(dir_.path()); }
    std::string Location(const std::string& local) const override { return local; }
    bool KeepsHardLinks() const override { return true; }

private:
    TempDir dir_;
};

class FtpKind : public UpdateKind {
public:
    std::string Folder() override { return FreshUnder(server_.Root()); }
    std::string Location(const std::string& local) const override
    {
        return server_.Location(local.substr(server_.Root().size()));
    }
    std::string LocalOf(const std::string& shown) const override
    {
        const std::string path = ServerPathOf(shown, server_.Port());
        return path == shown ? shown : server_.Root() + path;
    }
    bool ServerIsRoot() const override { return ::geteuid() == 0; }

private:
    FtpServer server_;
};

class SftpKind : public UpdateKind {
public:
    SftpKind() { server_.TrustHost(); }
    std::string Folder() override { return FreshUnder(server_.Root()); }
    std::string Location(const std::string& local) const override { return server_.Location(local); }
    std::string LocalOf(const std::string& shown) const override { return ServerPathOf(shown, server_.Port()); }
    bool ServerIsRoot() const override { return ::geteuid() == 0; }
    bool KeepsHardLinks() const override { return true; }

private:
    SshServer server_;
};

// Apache with mod_dav_fs, serving the whole file system as the unprivileged user: a tree is
// handed to that user when its location is taken, as a login owns the files it writes.
class WebdavKind : public UpdateKind {
public:
    WebdavKind() { ::chmod(dir_.path().c_str(), 0755); }
    std::string Folder() override { return FreshUnder(dir_.path()); }
    std::string Location(const std::string& local) const override
    {
        GiveToUnprivileged(local);
        return server_.Location(local);
    }
    std::string LocalOf(const std::string& shown) const override { return ServerPathOf(shown, server_.Port()); }
    bool KeepsModes() const override { return false; }
    bool ShowsLinks() const override { return false; }

private:
    TempDir dir_;
    DavServer server_{DavServer::Options{}};
};

}  // namespace

UpdateKind& KindNamed(const std::string& name)
{
    static std::map<std::string, std::unique_ptr<UpdateKind>> kinds;
    auto& slot = kinds[name];
    if (!slot) {
        if (name == "Ftp")
            slot = std::make_unique<FtpKind>();
        else if (name == "Sftp")
            slot = std::make_unique<SftpKind>();
        else if (name == "Webdav")
            slot = std::make_unique<WebdavKind>();
        else
            slot = std::make_unique<LocalKind>();
    }
    return *slot;
}

std::vector<std::string> KindNames()
{
    return {"Local", "Ftp", "Sftp", "Webdav"};
}

}  // namespace testutil
