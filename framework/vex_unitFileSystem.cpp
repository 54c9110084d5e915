#include "framework/vex_unitFileSystem.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace vex {

uint32_t AttributesOf(const struct stat& st, std::string_view name)
{
    uint32_t attr = 0;
    if (S_ISDIR(st.st_mode))
        attr |= kAttrFolder;
    else if (S_ISREG(st.st_mode))
        attr |= kAttrArchive;
    else
        attr |= kAttrSystem;
    if ((st.st_mode & S_IWUSR) == 0) attr |= kAttrReadOnly;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attr |= kAttrHidden;
    return attr;
}

bool TDirLister::Open(const std::string& folder)
{
    Close();
    dir_ = opendir(folder.c_str());
    error_ = dir_ ? 0 : errno;
    return dir_ != nullptr;
}

void TDirLister::Close()
{
    if (dir_) closedir(dir_);
    dir_ = nullptr;
}

static bool IsDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

bool TDirLister::Next(TDirEntry& entry)
{
    if (!dir_) return false;
    const int fd = dirfd(dir_);
    for (;;) {
        errno = 0;
        const dirent* d = readdir(dir_);
        if (!d) {
            error_ = errno;
            return false;
        }
        if (IsDotOrDotDot(d->d_name)) continue;
        struct stat st;
        if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;  // vanished
            error_ = errno;                 // e.g. a folder that may be read but not searched
            return false;
        }
        entry.Link = S_ISLNK(st.st_mode);
        if (entry.Link && fstatat(fd, d->d_name, &st, 0) != 0) continue;  // dangling
        entry.Name = d->d_name;
        entry.Size = static_cast<int64_t>(st.st_size);
        entry.MTime = static_cast<int64_t>(st.st_mtim.tv_sec);
        entry.Attr = AttributesOf(st, entry.Name);
        return true;
    }
}

TFileKind KindOf(const std::string& path)
{
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return TFileKind::None;
    if (S_ISDIR(st.st_mode)) return TFileKind::Folder;
    if (S_ISREG(st.st_mode)) return TFileKind::File;
    return TFileKind::Other;
}

bool IsSymLink(const std::string& path)
{
    struct stat st;
    return !path.empty() && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string ErrorText(int error)
{
    char buffer[256];
    // The GNU variant returns the text, which may or may not live in `buffer`.
    return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace vex
