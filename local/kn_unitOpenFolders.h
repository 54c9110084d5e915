// The folders a local side last walked through, kept open so that the files of one folder
// reach it with one open each instead of one per path component. It holds the chain from the
// root down to the last folder reached: work that goes through a tree in order (a scan, the
// passes of an update) finds most of the way open already and walks only the rest, each step
// with openat(O_NOFOLLOW | O_DIRECTORY) from the folder above, so a link on the way stops the
// walk as before. The chain ends at the folder that holds the entry last reached, so a folder
// the side renames or removes (that entry) is never held afterwards.
//
// A held folder stays the folder that was checked: should another program swap it for a link
// meanwhile, the link is not followed; the writes go on into the checked folder.
//
// Errors: Reach returns null with the errno of the failing step (ELOOP when a link stopped it)
// and the shown path of the folder that could not be entered.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kn {

// One open folder; closed when the last holder lets it go (a write stream may hold it beyond
// the chain's next change).
class TKNOpenFolder {
public:
    explicit TKNOpenFolder(int fd) : fd_(fd) {}
    ~TKNOpenFolder();
    TKNOpenFolder(const TKNOpenFolder&) = delete;
    TKNOpenFolder& operator=(const TKNOpenFolder&) = delete;
    int Handle() const { return fd_; }

private:
    int fd_;
};

class TKNOpenFolders {
public:
    // `root` is opened as named (a link as the root is followed: the user named it).
    explicit TKNOpenFolders(std::string root) : root_(std::move(root)) {}

    // The folder `names[0, count)` below the root (count 0: the root itself).
    std::shared_ptr<const TKNOpenFolder> Reach(const std::vector<std::string>& names, std::size_t count, int& err,
                                               std::string& shown);

private:
    std::string root_;
    // held_[0] is the root, held_[i] the folder names_[0, i).
    std::vector<std::shared_ptr<const TKNOpenFolder>> held_;
    std::vector<std::string> names_;
};

}  // namespace kn
