// Reaching an entry beneath a root without following a symbolic link on the way: every folder
// below the root is opened with openat(O_NOFOLLOW | O_DIRECTORY) from the one above, so a link
// anywhere between the root and the entry stops the walk instead of leading out of the tree.
// The root itself is opened as named (the user chose it, link or not). Paths longer than
// PATH_MAX are fine: no call ever sees more than one component.
//
// Example: root "/t/R", path "/t/R/sub/a.txt" with "/t/R/sub" a link to "/elsewhere": the walk
// opens "/t/R", refuses "sub" ("\"/t/R/sub\" is a symbolic link; nothing is written through
// it") and nothing in "/elsewhere" is touched.
#pragma once

#include <string>
#include <vector>

namespace vex {

// The folder that holds an entry, opened beneath a root, and the entry's own name in it.
class TvexParentFolder {
public:
    TvexParentFolder() = default;
    ~TvexParentFolder() { Close(); }
    TvexParentFolder(const TvexParentFolder&) = delete;
    TvexParentFolder& operator=(const TvexParentFolder&) = delete;

    // Opens the folder holding `path`, which is `root` itself or lies beneath it ("." and ".."
    // components are refused). With `makeMissing`, missing folders on the way are created.
    bool Open(const std::string& root, const std::string& path, bool makeMissing, std::string& error);
    // The same for an entry given as its name components below `root`, for callers that hold
    // paths as component values: at least one, each one component (not empty, ".", ".." or
    // holding "/"), else false with EINVAL.
    bool OpenNames(const std::string& root, const std::vector<std::string>& names, bool makeMissing,
                   std::string& error);
    void Close();
    // The errno of the last failed Open; ELOOP when a link stopped the walk.
    int Errno() const { return errno_; }
    int Handle() const { return fd_; }
    // The entry's name within the folder.
    const std::string& Name() const { return name_; }

private:
    int fd_ = -1;
    int errno_ = 0;
    std::string name_;
};

// The reason given for a link met where a folder must be entered or an entry changed, or
// (`reading`) where a file was to be read.
std::string LinkRefusedText(const std::string& path, bool reading = false);

// True when `path` lies strictly beneath `folder` ("/a/b" beneath "/a" and "/", not "/ab").
bool PathLiesBeneath(const std::string& path, const std::string& folder);
// The path with every link resolved (realpath); empty when it cannot be resolved.
std::string CanonicalPath(const std::string& path);

// The folder part of `path` ("." without a "/", "/" for a top-level entry) and the name part.
std::string FolderOfPath(const std::string& path);
std::string NameOfPath(const std::string& path);

}  // namespace vex
