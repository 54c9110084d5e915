#include "framework/vex_unitPathBeneath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "framework/vex_unitFileSystem.h"

namespace vex {

std::string LinkRefusedText(const std::string& path, bool reading)
{
    return "\"" + path + "\" is a symbolic link; nothing is " + (reading ? "read" : "written") + " through it";
}

bool PathLiesBeneath(const std::string& path, const std::string& folder)
{
    if (folder.empty() || path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return folder.back() == '/' || path[folder.size()] == '/';
}

std::string CanonicalPath(const std::string& path)
{
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

std::string FolderOfPath(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOfPath(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

// The components of `path` after `root`; false when the path does not lie beneath the root
// or has a "." or ".." component.
bool SplitBeneath(const std::string& root, const std::string& path, std::vector<std::string>& parts)
{
    std::string_view rest(path);
    std::string_view base(root);
    while (base.size() > 1 && base.back() == '/') base.remove_suffix(1);
    if (rest.substr(0, base.size()) != base) return false;
    rest.remove_prefix(base.size());
    if (!rest.empty() && rest.front() != '/' && base != "/") return false;
    for (std::size_t start = 0; start <= rest.size();) {
        std::size_t end = rest.find('/', start);
        if (end == std::string_view::npos) end = rest.size();
        std::string_view part = rest.substr(start, end - start);
        if (part == "." || part == "..") return false;
        if (!part.empty()) parts.emplace_back(part);
        start = end + 1;
    }
    return true;
}

// Opens `name` in `dir` as a folder, never through a link; with `make`, creates it first when
// it is missing. `shown` is the path used in messages; `err` receives the errno of a failure
// (ELOOP for a link).
int OpenStep(int dir, const std::string& name, bool make, const std::string& shown, std::string& error, int& err)
{
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = openat(dir, name.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT && make) {
        if (mkdirat(dir, name.c_str(), 0777) != 0 && errno != EEXIST) {
            err = errno;
            error = ErrorText(err);
            return -1;
        }
        fd = openat(dir, name.c_str(), kFlags);
    }
    if (fd >= 0) return fd;
    err = errno;
    struct stat st;
    if ((err == ELOOP || err == ENOTDIR) && fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(st.st_mode)) {
        err = ELOOP;
        error = LinkRefusedText(shown);
    } else {
        error = ErrorText(err);
    }
    return -1;
}

}  // namespace

bool TvexParentFolder::Open(const std::string& root, const std::string& path, bool makeMissing, std::string& error)
{
    Close();
    std::vector<std::string> parts;
    if (root.empty() || !SplitBeneath(root, path, parts)) {
        errno_ = EINVAL;
        error = "\"" + path + "\" does not lie beneath \"" + root + "\"";
        return false;
    }
    if (parts.empty()) {
        // The root itself: its own folder is opened as named.
        name_ = NameOfPath(root);
        fd_ = open(FolderOfPath(root).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) {
            errno_ = errno;
            error = ErrorText(errno_);
        }
        return fd_ >= 0;
    }
    return OpenNames(root, parts, makeMissing, error);
}

bool TvexParentFolder::OpenNames(const std::string& root, const std::vector<std::string>& names, bool makeMissing,
                                 std::string& error)
{
    Close();
    if (root.empty() || names.empty()) {
        errno_ = EINVAL;
        error = "No entry below \"" + root + "\" was named";
        return false;
    }
    // Each name is entered as it stands: "..", "" or a "/" inside would leave the path beneath the root.
    for (const std::string& name : names) {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
            errno_ = EINVAL;
            error = "\"" + name + "\" is not one name below \"" + root + "\"";
            return false;
        }
    }
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        errno_ = errno;
        error = ErrorText(errno_);
        return false;
    }
    std::string shown = root;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        shown += "/" + names[i];
        int next = OpenStep(fd, names[i], makeMissing, shown, error, errno_);
        close(fd);
        if (next < 0) return false;
        fd = next;
    }
    fd_ = fd;
    name_ = names.back();
    return true;
}

void TvexParentFolder::Close()
{
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    errno_ = 0;
    name_.clear();
}

}  // namespace vex
