#include "engine/kn_unitRootIdentity.h"

#include <sys/stat.h>

#include <atomic>
#include <memory>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitSideRegistry.h"
#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitPathBeneath.h"
#include "side/kn_unitSide.h"

namespace kn {

namespace {

std::string LocalKey(const struct stat& st)
{
    return "local " + std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long long>(st.st_ino));
}

std::string TextKey(const std::string& location)
{
    std::string text = HideLocationPasswords(location);
    while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
    return text;
}

// "scheme://user@host:port" of a server's identity "scheme://user@host:port/path".
std::string ServerOf(const std::string& key)
{
    const std::size_t scheme = key.find("://");
    const std::size_t path = scheme == std::string::npos ? std::string::npos : key.find('/', scheme + 3);
    return path == std::string::npos ? key : key.substr(0, path);
}

// True when a folder at or above the canonical local path `path` is the folder `key`.
bool LocalFolderAtOrAbove(const std::string& path, const std::string& key)
{
    for (std::string folder = path;; folder = vex::FolderOfPath(folder)) {
        struct stat st;
        if (stat(folder.c_str(), &st) == 0 && LocalKey(st) == key) return true;
        if (folder.empty() || folder == "/") return false;
    }
}

bool Inside(const TKNRootIdentity& inner, const TKNRootIdentity& outer)
{
    if (inner.Local != outer.Local) return false;
    if (inner.Local) return LocalFolderAtOrAbove(inner.Path, outer.Key);
    return !inner.Server.empty() && inner.Server == outer.Server && vex::PathLiesBeneath(inner.Path, outer.Path);
}

}  // namespace

TKNRootIdentity SideRootIdentity(const std::string& location, const std::string& told)
{
    TKNRootIdentity identity;
    identity.Local = !IsRemoteLocation(location);
    identity.Key = told.empty() ? TextKey(location) : told;
    if (!identity.Local && !told.empty()) {
        identity.Server = ServerOf(told);
        identity.Path = told.substr(identity.Server.size());
    }
    return identity;
}

bool RootIdentityOf(const std::string& location, TKNRootIdentity& identity, std::string& error)
{
    if (IsRemoteLocation(location)) {
        std::atomic<bool> stop{false};
        TKNSideContext context;
        context.Stop = &stop;
        const std::unique_ptr<TKNSide> side = OpenSide(location, context);
        const TKNSideResult connected = side->Connect();
        identity = SideRootIdentity(location, connected ? side->Identity() : std::string());
        return true;  // an unreachable server fails the comparison with its own reason
    }
    identity = {};
    identity.Local = true;
    struct stat st;
    const std::string path = location.substr(0, LocationOptionsStart(location));
    if (path.empty() || path.front() != '/' || stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "The folder \"" + path + "\" does not exist.";
        return false;
    }
    // "/" names no folder here (kn_unitSideRegistry.h): it would list as nothing.
    if (path.find_first_not_of('/') == std::string::npos) {
        error = "The root folder \"" + path + "\" cannot be compared; name a folder below it.";
        return false;
    }
    identity.Key = LocalKey(st);
    identity.Path = vex::CanonicalPath(path);
    return true;
}

std::string RootsProblem(const TKNRootIdentity& left, const TKNRootIdentity& right, const std::string& leftShown,
                         const std::string& rightShown)
{
    if (left.Key == right.Key) return "The folders \"" + leftShown + "\" and \"" + rightShown + "\" are one folder.";
    if (Inside(right, left)) return "The folder \"" + rightShown + "\" lies inside \"" + leftShown + "\".";
    if (Inside(left, right)) return "The folder \"" + leftShown + "\" lies inside \"" + rightShown + "\".";
    return {};
}

}  // namespace kn
