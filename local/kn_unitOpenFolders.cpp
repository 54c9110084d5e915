#include "local/kn_unitOpenFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kn {

TKNOpenFolder::~TKNOpenFolder()
{
    if (fd_ >= 0) close(fd_);
}

std::shared_ptr<const TKNOpenFolder> TKNOpenFolders::Reach(const std::vector<std::string>& names, std::size_t count,
                                                           int& err, std::string& shown)
{
    std::size_t kept = 0;  // folders of the chain that lie on the way
    while (kept < names_.size() && kept < count && names_[kept] == names[kept]) ++kept;
    if (held_.empty()) {
        const int fd = open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            err = errno;
            shown = root_;
            return nullptr;
        }
        held_.push_back(std::make_shared<const TKNOpenFolder>(fd));
    }
    held_.resize(kept + 1);
    names_.resize(kept);
    for (std::size_t i = kept; i < count; ++i) {
        constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        const int fd = openat(held_.back()->Handle(), names[i].c_str(), kFlags);
        if (fd < 0) {
            err = errno;
            shown = root_;
            for (std::size_t j = 0; j <= i; ++j) shown += "/" + names[j];
            struct stat st;
            // O_NOFOLLOW on a link gives ELOOP, O_DIRECTORY on one to a file ENOTDIR: both a link.
            if ((err == ELOOP || err == ENOTDIR) &&
                fstatat(held_.back()->Handle(), names[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                err = ELOOP;
            return nullptr;
        }
        held_.push_back(std::make_shared<const TKNOpenFolder>(fd));
        names_.push_back(names[i]);
    }
    return held_[count];
}

}  // namespace kn
