#include "framework/vex_unitFileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// --- Folders ------------------------------------------------------------------------------

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

}  // namespace vex
