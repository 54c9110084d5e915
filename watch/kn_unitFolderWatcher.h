// Watches every folder of one local tree for changes to its entries (inotify), and tells which
// folders changed. The watches are set before the folders are listed, so a change made while
// they are set is either in the listing or an event; a folder that appears is watched at once
// and reported with everything beneath it (its entries may have come before its watch).
//
// Errors are data: a folder that cannot be watched (the fs.inotify.max_user_watches limit, or
// no permission) is in Unwatched() with LimitText() saying what it takes, and a lost event (the
// kernel's queue overflowed) is an Overflow event. Links are never followed.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace kn {

struct TKNWatchEvent {
    enum Kind { Changed, Appeared, Overflow } What = Changed;
    std::string Folder;  // relative: "" (the root) or "/a/b"
};

class TKNFolderWatcher {
public:
    // `maxWatches` caps the watches this watcher sets (0: only the system's limit binds).
    explicit TKNFolderWatcher(std::string root, std::size_t maxWatches = 0);
    ~TKNFolderWatcher();
    TKNFolderWatcher(const TKNFolderWatcher&) = delete;
    TKNFolderWatcher& operator=(const TKNFolderWatcher&) = delete;

    // Watches the root and every folder beneath it. False, with Error(), when not even the root
    // can be watched.
    bool Start();
    // The descriptor to wait on (readable when events are waiting).
    int Fd() const { return fd_; }
    // Reads the events waiting (without blocking) and appends what they say to `out`.
    void Read(std::vector<TKNWatchEvent>& out);

    const std::string& Error() const { return error_; }
    // The topmost folders that are not watched (each with everything beneath it).
    const std::vector<std::string>& Unwatched() const { return unwatched_; }
    // What watching the unwatched folders takes, e.g. "2000 of the 10000 folders of /x are not
    // watched: fs.inotify.max_user_watches (8192) must be at least 10192"; empty when all are.
    std::string LimitText() const;
    std::size_t Watches() const { return paths_.size(); }

private:
    void WatchTree(const std::string& relative);
    int AddWatch(const std::string& relative);  // 0, or why not (an errno)
    void Forget(const std::string& relative);
    void Take(const char* buffer, std::size_t size, std::vector<TKNWatchEvent>& out);

    std::string root_;
    std::size_t maxWatches_;
    int fd_ = -1;
    std::unordered_map<int, std::string> paths_;  // watch descriptor -> relative folder
    std::vector<std::string> unwatched_;
    std::size_t missing_ = 0;  // folders not watched for want of watches
    bool limitHit_ = false;
    std::string error_;
};

}  // namespace kn
