#include "diff/kn_unitAtomicSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

TFileStamp StampOf(const struct stat& st)
{
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

std::string SystemReason(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

bool SaveFileAtomically(const std::string& fileName, std::string_view bytes, TFileStamp& stamp, std::string& errorText)
{
    struct stat before {};
    if (lstat(fileName.c_str(), &before) != 0) {
        errorText = SystemReason("The file cannot be found");
        return false;
    }
    if (!S_ISREG(before.st_mode)) {
        errorText = "The file is not a regular file (a link is never written through); it was not saved.";
        return false;
    }
    if (!(StampOf(before) == stamp)) {
        errorText = "The file was changed by someone else since it was read; it was not saved.";
        return false;
    }
    const size_t slash = fileName.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : fileName.substr(0, slash);
    const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    // A temporary name the program can prove its own, so a scan never takes it for a user's file.
    const std::string temp = folder + "/" + TempName(name);
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        errorText = SystemReason("No temporary file can be made beside the file");
        return false;
    }
    // The file takes the time of its saving, read from the fine clock: the kernel stamps writes
    // from a coarse one (a tick of milliseconds), so two files saved one after the other could
    // share a time to the nanosecond, and with equal sizes pass for equal wherever times and
    // sizes are what a comparison goes by.
    timespec saved{};
    clock_gettime(CLOCK_REALTIME, &saved);
    const timespec times[2] = {{0, UTIME_OMIT}, saved};
    const bool written =
        WriteAll(fd, bytes) && fchmod(fd, before.st_mode & 07777) == 0 && futimens(fd, times) == 0 && fsync(fd) == 0;
    const int writeError = errno;
    struct stat now {};
    if (close(fd) != 0 || !written) {
        errno = written ? errno : writeError;
        errorText = SystemReason("The file cannot be written");
    } else if (lstat(fileName.c_str(), &now) != 0 || !(StampOf(now) == stamp)) {
        errorText = "The file was changed by someone else while it was saved; it was not replaced.";
    } else if (rename(temp.c_str(), fileName.c_str()) != 0) {
        errorText = SystemReason("The file cannot be replaced");
    } else {
        struct stat after {};
        if (lstat(fileName.c_str(), &after) == 0) stamp = StampOf(after);
        return true;
    }
    unlink(temp.c_str());
    return false;
}

}  // namespace kn
