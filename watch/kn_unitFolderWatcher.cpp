#include "watch/kn_unitFolderWatcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <utility>

namespace kn {

namespace {

// Every change to a folder's entries; the folder's own moves and deletion come as events of
// the folder above it. Renames of files within a folder are one "changed" like any other.
constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO |
                           IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

bool Beneath(const std::string& path, const std::string& above)
{
    return path == above ||
           (path.size() > above.size() && path.compare(0, above.size(), above) == 0 && path[above.size()] == '/');
}

// The sub-folders of the folder `dirFd` (links to folders are not folders here).
std::vector<std::string> SubFolders(int dirFd)
{
    std::vector<std::string> names;
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder = fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        if (folder) names.emplace_back(name);
    }
    closedir(dir);
    return names;
}

long SystemWatchLimit()
{
    std::ifstream in("/proc/sys/fs/inotify/max_user_watches");
    long limit = 0;
    in >> limit;
    return limit;
}

}  // namespace

TKNFolderWatcher::TKNFolderWatcher(std::string root, std::size_t maxWatches)
    : root_(std::move(root)), maxWatches_(maxWatches)
{
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

TKNFolderWatcher::~TKNFolderWatcher()
{
    if (fd_ >= 0) close(fd_);
}

bool TKNFolderWatcher::Start()
{
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        error_ = std::string("cannot watch ") + root_ + ": " + std::strerror(errno);
        return false;
    }
    WatchTree("");
    if (paths_.empty()) {
        error_ = "cannot watch " + root_ + ": " + (error_.empty() ? "it is not a readable folder" : error_);
        return false;
    }
    error_.clear();
    return true;
}

int TKNFolderWatcher::AddWatch(const std::string& relative)
{
    if (maxWatches_ != 0 && paths_.size() >= maxWatches_) {
        limitHit_ = true;
        return ENOSPC;
    }
    // The root may be reached through a link; nothing beneath it is.
    const uint32_t mask = relative.empty() ? kMask : kMask | IN_DONT_FOLLOW;
    const int wd = inotify_add_watch(fd_, (root_ + relative).c_str(), mask);
    if (wd < 0) {
        const int failure = errno;
        if (failure == ENOSPC) limitHit_ = true;
        if (failure != ENOENT && failure != ENOTDIR) error_ = std::strerror(failure);
        return failure;
    }
    paths_[wd] = relative;
    return 0;
}

// Sets a watch on each folder before listing it: what is created after the watch is an event,
// what came before it is in the listing.
void TKNFolderWatcher::WatchTree(const std::string& relative)
{
    std::vector<std::pair<std::string, bool>> pending = {{relative, false}};  // folder, beneath an unwatched one
    while (!pending.empty()) {
        auto [folder, lost] = std::move(pending.back());
        pending.pop_back();
        if (const int failure = lost ? 0 : AddWatch(folder)) {
            if (failure == ENOENT || failure == ENOTDIR) continue;  // gone, or a link
            unwatched_.push_back(folder);
            lost = true;
        }
        if (lost) ++missing_;
        const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder.empty() ? 0 : O_NOFOLLOW);
        const int dirFd = open((root_ + folder).c_str(), flags);
        if (dirFd < 0) continue;
        for (std::string& name : SubFolders(dirFd)) pending.emplace_back(folder + "/" + name, lost);
    }
}

void TKNFolderWatcher::Forget(const std::string& relative)
{
    for (auto it = paths_.begin(); it != paths_.end();) {
        if (!Beneath(it->second, relative)) {
            ++it;
            continue;
        }
        inotify_rm_watch(fd_, it->first);
        it = paths_.erase(it);
    }
    for (auto it = unwatched_.begin(); it != unwatched_.end();)
        it = Beneath(*it, relative) ? unwatched_.erase(it) : std::next(it);
}

void TKNFolderWatcher::Read(std::vector<TKNWatchEvent>& out)
{
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = read(fd_, buffer, sizeof buffer);
        if (got <= 0) return;  // EAGAIN: nothing more waiting
        Take(buffer, static_cast<std::size_t>(got), out);
    }
}

void TKNFolderWatcher::Take(const char* buffer, std::size_t size, std::vector<TKNWatchEvent>& out)
{
    for (std::size_t at = 0; at + sizeof(inotify_event) <= size;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += sizeof(inotify_event) + event->len;
        if (event->mask & IN_Q_OVERFLOW) {
            out.push_back({TKNWatchEvent::Overflow, ""});
            continue;
        }
        const auto known = paths_.find(event->wd);
        if (known == paths_.end()) continue;
        const std::string folder = known->second;
        if (event->mask & IN_IGNORED) {
            paths_.erase(known);
            continue;
        }
        // A folder's own move or deletion is an event of the folder above it, but the root's.
        if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
            if (folder.empty()) out.push_back({TKNWatchEvent::Changed, ""});
            continue;
        }
        out.push_back({TKNWatchEvent::Changed, folder});
        if (!(event->mask & IN_ISDIR) || event->len == 0) continue;
        const std::string child = folder + "/" + event->name;
        if (event->mask & (IN_MOVED_FROM | IN_DELETE)) Forget(child);
        if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
            Forget(child);  // a folder moved here within the tree: its watches are set again
            WatchTree(child);
            out.push_back({TKNWatchEvent::Appeared, child});
        }
    }
}

std::string TKNFolderWatcher::LimitText() const
{
    if (unwatched_.empty()) return {};
    const std::string count = std::to_string(missing_) + " of the " + std::to_string(missing_ + paths_.size()) +
                              " folders of " + root_ + " are not watched: ";
    if (!limitHit_) return count + "they cannot be watched (" + (error_.empty() ? "no permission" : error_) + ")";
    if (maxWatches_ != 0) return count + "this watch may set " + std::to_string(maxWatches_) + " watches";
    const long limit = SystemWatchLimit();
    return count + "fs.inotify.max_user_watches (" + std::to_string(limit) + ") must be at least " +
           std::to_string(limit + static_cast<long>(missing_));
}

}  // namespace kn
