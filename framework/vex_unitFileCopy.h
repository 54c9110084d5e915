// Local file operations that write or remove user data: a safe copy, folder creation and
// removal, file deletion, the read-only attribute and last-write times.
//
// A copy never destroys the old destination before the new file is whole: the data goes to a
// temporary file in the destination's folder, which is renamed over the destination only once
// it is complete. A failure or a stop removes the temporary file and leaves the destination as
// it was. Removal never follows a symbolic link into the folder it points to.
//
// The operations that take a `root` write only beneath it and never through a link below it
// (see vex_unitPathBeneath.h): a link on the way fails the operation, and a link at the entry
// itself is the entry, replaced or removed as a link, never followed. The forms without a root
// take the entry's own folder as the root.
//
// Every operation returns true on success, or false with a reason in `error`: the system's
// text for the failing call's errno, or a plain sentence where no errno fits.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "framework/vex_unitPathBeneath.h"

namespace vex {

// Files larger than this are copied in blocks of this size, with the stop test between blocks;
// smaller ones are copied in one go and cannot be stopped.
constexpr int64_t kCopyBlockSize = 1048576;

// Asked between blocks of a large copy; true ends the copy with "Operation canceled".
using StopTest = std::function<bool()>;

// A temporary file beside a destination, renamed over it by Commit and removed otherwise.
// Writers that produce the new content themselves (a download) use it directly.
class TvexTempFile {
public:
    TvexTempFile() = default;
    ~TvexTempFile();
    TvexTempFile(const TvexTempFile&) = delete;
    TvexTempFile& operator=(const TvexTempFile&) = delete;

    // Creates an empty temporary file in the folder of `dest`, opened for writing, with the
    // permission bits a new file gets (0666 less the umask). The folders between `root` and
    // `dest` are made when missing.
    bool Open(const std::string& root, const std::string& dest, std::string& error);
    bool Open(const std::string& dest, std::string& error);
    int Handle() const { return fd_; }
    const std::string& TempPath() const { return tempPath_; }
    // Closes the file (when still open) and renames it over the destination.
    bool Commit(std::string& error);
    // Closes and removes the temporary file; the destination is untouched.
    void Discard();

private:
    TvexParentFolder folder_;
    std::string tempName_;
    std::string tempPath_;
    int fd_ = -1;
};

// True for a name of the temporary files above: ".kn-" NAME "-" and six of [a-z0-9].
bool IsTempFileName(std::string_view name);

// Copies the whole content of the regular file `in` (whose status is `st`) into the empty `out`,
// both descriptors standing at offset 0 and moving: 1 MiB blocks by the kernel where it can, with a
// buffered fallback. Holes of a sparse source (fewer blocks allocated than its size) stay holes.
// `stop` is asked between blocks of a file over one block (ECANCELED); `moved`, when set,
// receives the bytes of each block. False with the failing call's text in `error` and its
// errno in `err`.
bool CopyFileContent(int in, int out, const struct stat& st, const StopTest& stop,
                     const std::function<void(int64_t)>& moved, std::string& error, int& err);

// Copies `source` to `dest` through a temporary file, keeping the source's permission bits and
// last-write time (to the nanosecond). A link to a file copies the file. Anything that is not a
// regular file (FIFO, socket, device, folder) is refused without being opened. `dest` may
// exist, even read-only, or be a link (which the copy replaces). The folders between `root` and
// `dest` are made when missing. Holes of a sparse source stay holes. `stop` may be empty.
bool CopyFileSafe(const std::string& root, const std::string& source, const std::string& dest, const StopTest& stop,
                  std::string& error);
bool CopyFileSafe(const std::string& source, const std::string& dest, const StopTest& stop, std::string& error);

// Creates `path` with all its missing parents below `root`. An existing folder is success; an
// existing file or link at the path or on the way fails.
bool MakeFolderTree(const std::string& root, const std::string& path, std::string& error);
// Removes a file, or a symbolic link (never its target). Refuses folders.
bool DeleteFileEntry(const std::string& root, const std::string& path, std::string& error);
bool DeleteFileEntry(const std::string& path, std::string& error);
// Removes an empty folder; a symbolic link to a folder is removed as a link, the folder it
// points to stays untouched.
bool RemoveFolder(const std::string& root, const std::string& path, std::string& error);
bool RemoveFolder(const std::string& path, std::string& error);
// Read-only on: every write permission removed. Off: the owner gets write permission. A link
// is refused: its target is no entry of the tree.
bool SetReadOnly(const std::string& root, const std::string& path, bool readOnly, std::string& error);
bool SetReadOnly(const std::string& path, bool readOnly, std::string& error);
// Sets the last-write time (and the access time) of `path`, following links.
bool SetLastWriteTime(const std::string& path, int64_t unixSeconds, std::string& error);

}  // namespace vex
