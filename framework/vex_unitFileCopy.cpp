#include "framework/vex_unitFileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

namespace vex {

static std::string SystemText(int err)
{
    char buffer[256];
    // The GNU variant returns a pointer that may or may not be `buffer`.
    return strerror_r(err, buffer, sizeof buffer);
}

// Sets `error` to the text of `err` and errno to `err`, for callers that sort failures by errno.
static bool Fail(std::string& error, int err = errno)
{
    error = SystemText(err);
    errno = err;
    return false;
}

// Six characters that differ between processes, threads and calls.
static std::string UniqueSuffix()
{
    static std::atomic<uint64_t> counter{0};
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    static const uint64_t pid = static_cast<uint64_t>(getpid());
    uint64_t x = (pid << 32) ^ static_cast<uint64_t>(now.tv_nsec) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string out;
    for (int i = 0; i < 6; ++i, x /= 36) out += digits[x % 36];
    return out;
}

// --- TvexTempFile -------------------------------------------------------------------------

TvexTempFile::~TvexTempFile()
{
    Discard();
}

bool TvexTempFile::Open(const std::string& root, const std::string& dest, std::string& error)
{
    Discard();
    if (!folder_.Open(root, dest, true, error)) return false;
    // Hidden, derived from the destination's name so a left-over is recognisable, and short
    // enough to stay within the file system's name limit.
    const std::string stem = ".kn-" + folder_.Name().substr(0, 200) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem + UniqueSuffix();
        int fd = openat(folder_.Handle(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) {
            folder_.Close();
            return Fail(error);
        }
        tempName_ = name;
        tempPath_ = FolderOfPath(dest) + "/" + name;
        fd_ = fd;
        return true;
    }
    folder_.Close();
    return Fail(error, EEXIST);
}

bool TvexTempFile::Open(const std::string& dest, std::string& error)
{
    return Open(FolderOfPath(dest), dest, error);
}

bool TvexTempFile::Commit(std::string& error)
{
    if (fd_ >= 0) {
        int rc = close(fd_);
        fd_ = -1;
        if (rc != 0) {
            int err = errno;
            Discard();
            return Fail(error, err);
        }
    }
    // Within the one opened folder: a link to a folder at the name is replaced, not followed.
    if (renameat(folder_.Handle(), tempName_.c_str(), folder_.Handle(), folder_.Name().c_str()) != 0) {
        int err = errno;
        Discard();
        return Fail(error, err);
    }
    tempName_.clear();
    tempPath_.clear();
    folder_.Close();
    return true;
}

void TvexTempFile::Discard()
{
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!tempName_.empty()) unlinkat(folder_.Handle(), tempName_.c_str(), 0);
    tempName_.clear();
    tempPath_.clear();
    folder_.Close();
}

bool IsTempFileName(std::string_view name)
{
    constexpr std::string_view kHead = ".kn-";
    constexpr std::size_t kTail = 7;  // "-" and six characters
    if (name.size() < kHead.size() + 1 + kTail || name.substr(0, kHead.size()) != kHead) return false;
    if (name[name.size() - kTail] != '-') return false;
    for (char c : name.substr(name.size() - kTail + 1))
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

// --- Copying ------------------------------------------------------------------------------

namespace {

// Moves bytes from one descriptor to another at their current offsets: in the kernel while
// the file systems allow it, through a buffer otherwise.
class BlockMover {
public:
    BlockMover(int in, int out) : in_(in), out_(out) {}

    // Copies up to `count` bytes; returns the number copied (0 at the end of the source), or
    // -1 with errno set.
    int64_t Move(int64_t count)
    {
        if (kernel_) {
            ssize_t n = copy_file_range(in_, nullptr, out_, nullptr, static_cast<size_t>(count), 0);
            if (n > 0) {
                moved_ = true;
                return n;
            }
            // Some file systems refuse the call, or report an empty file where there is data;
            // nothing was moved then, so the buffered loop can take over at the same offsets.
            bool refused = n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL ||
                                     errno == EBADF || errno == EPERM);
            if (n < 0 && !refused) return -1;
            if (n == 0 && moved_) return 0;
            kernel_ = false;
        }
        return MoveBuffered(count);
    }

private:
    int64_t MoveBuffered(int64_t count)
    {
        if (buffer_.empty()) buffer_.resize(256 * 1024);
        size_t want = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(buffer_.size())));
        ssize_t got;
        do got = read(in_, buffer_.data(), want);
        while (got < 0 && errno == EINTR);
        if (got <= 0) return got;
        for (ssize_t written = 0; written < got;) {
            ssize_t w = write(out_, buffer_.data() + written, static_cast<size_t>(got - written));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return -1;
            written += w;
        }
        moved_ = true;
        return got;
    }

    int in_, out_;
    bool kernel_ = true;
    bool moved_ = false;
    std::vector<char> buffer_;
};

class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle()
    {
        if (fd_ >= 0) close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

const char* const kNotRegular = "Not a regular file (a device, FIFO or socket is never copied)";

}  // namespace

// Copies `count` bytes at the current offsets, block by block; a file over one block tests
// `stop` between blocks. `done` counts the bytes moved over all calls of one copy.
static bool CopyRange(BlockMover& mover, int64_t count, int64_t size, int64_t& done, const StopTest& stop,
                      const std::function<void(int64_t)>& moved, std::string& error)
{
    while (count > 0) {
        if (done > 0 && done < size && size > kCopyBlockSize && stop && stop()) return Fail(error, ECANCELED);
        int64_t blockDone = 0;
        while (blockDone < kCopyBlockSize && count > 0) {
            int64_t n = mover.Move(std::min(kCopyBlockSize - blockDone, count));
            if (n < 0) return Fail(error);
            if (n == 0) break;  // the source ended early
            blockDone += n;
            count -= n;
        }
        done += blockDone;
        if (moved && blockDone > 0) moved(blockDone);
        if (blockDone < kCopyBlockSize && count > 0) return true;  // the source ended early
    }
    return true;
}

// A dense file is one segment from where both descriptors stand (offset 0) to its end, copied
// without a seek. The data segments of a file with fewer blocks than its size are found with
// SEEK_DATA/SEEK_HOLE, and the destination is extended to the source's size at the end; where
// the file system cannot tell holes, the whole file is one segment.
static bool CopyContent(int in, int out, const struct stat& st, const StopTest& stop,
                        const std::function<void(int64_t)>& moved, std::string& error)
{
    const int64_t size = st.st_size;
    BlockMover mover(in, out);
    int64_t done = 0;
    if (static_cast<int64_t>(st.st_blocks) * 512 >= size)
        return CopyRange(mover, INT64_MAX, size, done, stop, moved, error);
    for (off_t offset = 0;;) {
        off_t data = lseek(in, offset, SEEK_DATA);
        if (data < 0 && errno == ENXIO) break;  // nothing but a hole up to the end
        if (data < 0) data = offset;
        off_t hole = lseek(in, data, SEEK_HOLE);
        const bool bounded = hole > data;
        if (lseek(in, data, SEEK_SET) < 0 || lseek(out, data, SEEK_SET) < 0) return Fail(error);
        const int64_t count = bounded ? hole - data : INT64_MAX;
        if (!CopyRange(mover, count, size, done, stop, moved, error)) return false;
        if (!bounded) break;
        offset = hole;
    }
    const off_t end = lseek(in, 0, SEEK_END);
    if (end < 0 || ftruncate(out, end) != 0) return Fail(error);
    return true;
}

bool CopyFileContent(int in, int out, const struct stat& st, const StopTest& stop,
                     const std::function<void(int64_t)>& moved, std::string& error, int& err)
{
    if (CopyContent(in, out, st, stop, moved, error)) return true;
    err = errno;
    return false;
}

// Permission bits for the copy: set-user and set-group bits only survive when the copy keeps
// the source's owner, so a copy never hands someone else's privileges to the copier.
static mode_t CopyMode(const struct stat& st)
{
    return st.st_uid == geteuid() ? (st.st_mode & 07777) : (st.st_mode & 01777);
}

bool CopyFileSafe(const std::string& root, const std::string& source, const std::string& dest, const StopTest& stop,
                  std::string& error)
{
    struct stat st;
    if (stat(source.c_str(), &st) != 0) return Fail(error);
    if (S_ISDIR(st.st_mode)) return Fail(error, EISDIR);
    if (!S_ISREG(st.st_mode)) {
        error = kNotRegular;
        return false;
    }
    // O_NONBLOCK guards against the entry being swapped for a FIFO after the check above.
    FileHandle in(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (in.get() < 0) return Fail(error);
    if (fstat(in.get(), &st) != 0) return Fail(error);
    if (!S_ISREG(st.st_mode)) {
        error = kNotRegular;
        return false;
    }
    TvexTempFile temp;
    if (!temp.Open(root, dest, error)) return false;
    if (!CopyContent(in.get(), temp.Handle(), st, stop, nullptr, error)) return false;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (fchmod(temp.Handle(), CopyMode(st)) != 0) return Fail(error);
    if (futimens(temp.Handle(), times) != 0) return Fail(error);
    return temp.Commit(error);
}

bool CopyFileSafe(const std::string& source, const std::string& dest, const StopTest& stop, std::string& error)
{
    return CopyFileSafe(FolderOfPath(dest), source, dest, stop, error);
}

// --- Folders, deletion, attributes --------------------------------------------------------

namespace {

// The entry at `path`, found beneath `root` without following links, and its own status.
struct Entry {
    TvexParentFolder parent;
    struct stat st;
};

bool FindEntry(const std::string& root, const std::string& path, Entry& entry, std::string& error)
{
    if (!entry.parent.Open(root, path, false, error)) return false;
    if (fstatat(entry.parent.Handle(), entry.parent.Name().c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) != 0)
        return Fail(error);
    return true;
}

}  // namespace

bool MakeFolderTree(const std::string& root, const std::string& path, std::string& error)
{
    TvexParentFolder parent;
    if (!parent.Open(root, path, true, error)) return false;
    const int fd = parent.Handle();
    const char* name = parent.Name().c_str();
    if (mkdirat(fd, name, 0777) == 0) return true;
    if (errno != EEXIST) return Fail(error);
    struct stat st;
    if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return Fail(error);
    if (S_ISLNK(st.st_mode)) {
        error = LinkRefusedText(path);
        return false;
    }
    return S_ISDIR(st.st_mode) || Fail(error, EEXIST);
}

bool DeleteFileEntry(const std::string& root, const std::string& path, std::string& error)
{
    Entry e;
    if (!FindEntry(root, path, e, error)) return false;
    if (S_ISDIR(e.st.st_mode)) return Fail(error, EISDIR);
    return unlinkat(e.parent.Handle(), e.parent.Name().c_str(), 0) == 0 || Fail(error);
}

bool DeleteFileEntry(const std::string& path, std::string& error)
{
    return DeleteFileEntry(FolderOfPath(path), path, error);
}

bool RemoveFolder(const std::string& root, const std::string& path, std::string& error)
{
    Entry e;
    if (!FindEntry(root, path, e, error)) return false;
    const char* name = e.parent.Name().c_str();
    if (S_ISLNK(e.st.st_mode)) return unlinkat(e.parent.Handle(), name, 0) == 0 || Fail(error);
    if (!S_ISDIR(e.st.st_mode)) return Fail(error, ENOTDIR);
    return unlinkat(e.parent.Handle(), name, AT_REMOVEDIR) == 0 || Fail(error);
}

bool RemoveFolder(const std::string& path, std::string& error)
{
    return RemoveFolder(FolderOfPath(path), path, error);
}

bool SetReadOnly(const std::string& root, const std::string& path, bool readOnly, std::string& error)
{
    Entry e;
    if (!FindEntry(root, path, e, error)) return false;
    if (S_ISLNK(e.st.st_mode)) {
        error = LinkRefusedText(path);
        return false;
    }
    mode_t mode = e.st.st_mode & 07777;
    mode_t wanted = readOnly ? (mode & ~mode_t(0222)) : (mode | S_IWUSR);
    if (wanted == mode) return true;
    // No-follow even if the entry was swapped for a link since the test above.
    return fchmodat(e.parent.Handle(), e.parent.Name().c_str(), wanted, AT_SYMLINK_NOFOLLOW) == 0 || Fail(error);
}

bool SetReadOnly(const std::string& path, bool readOnly, std::string& error)
{
    return SetReadOnly(FolderOfPath(path), path, readOnly, error);
}

bool SetLastWriteTime(const std::string& path, int64_t unixSeconds, std::string& error)
{
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(unixSeconds);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 || Fail(error);
}

}  // namespace vex
