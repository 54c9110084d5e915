#include "local/kn_unitLocalSide.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/vex_unitFileCopy.h"
#include "framework/vex_unitFileSystem.h"
#include "framework/vex_unitPathBeneath.h"
#include "local/kn_unitOpenFolders.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

TKNSideError KindOfErrno(int err)
{
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return TKNSideError::NotFound;
        case EEXIST:
            return TKNSideError::Exists;
        case ELOOP:
            return TKNSideError::Link;
        case EACCES:
        case EPERM:
        case EROFS:
            return TKNSideError::Denied;
        case ENOSPC:
        case EDQUOT:
            return TKNSideError::NoSpace;
        case ENAMETOOLONG:
            return TKNSideError::BadName;
        case ECANCELED:
            return TKNSideError::Stopped;
        default:
            return TKNSideError::Other;
    }
}

// An owned file descriptor.
class TFd {
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd() { Reset(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// A folder by what it is: bind mounts, links and other spellings of one folder give one text.
std::string LocalIdentity(const struct stat& st)
{
    return "local " + std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long long>(st.st_ino));
}

void FillEntry(TKNSideEntry& entry, const struct stat& st)
{
    entry.Kind = S_ISREG(st.st_mode)   ? TKNEntryKind::File
                 : S_ISDIR(st.st_mode) ? TKNEntryKind::Folder
                                       : TKNEntryKind::Other;
    entry.Size = entry.Kind == TKNEntryKind::File ? static_cast<int64_t>(st.st_size) : 0;
    entry.MTime = st.st_mtim.tv_sec;
    entry.MTimeNsec = static_cast<int32_t>(st.st_mtim.tv_nsec);
    entry.CTime = st.st_ctim.tv_sec;
    entry.CTimeNsec = static_cast<int32_t>(st.st_ctim.tv_nsec);
    entry.TimeStep = 1;
    entry.Mode = st.st_mode & 07777;
    entry.ModeKnown = true;
    entry.Uid = st.st_uid;
    entry.OwnerKnown = true;
}

// The text of the link `name` in `dir`, which lstat gave `size`; empty where it cannot be read.
std::string LinkTextAt(int dir, const std::string& name, off_t size)
{
    std::string text(static_cast<std::size_t>(std::max<off_t>(size, 0)) + 1, '\0');
    const ssize_t got = readlinkat(dir, name.c_str(), text.data(), text.size());
    // A link changed between its lstat and now (grown): its text is not known.
    if (got < 0 || static_cast<std::size_t>(got) >= text.size()) return {};
    text.resize(static_cast<std::size_t>(got));
    return text;
}

// The folder holding an entry, open, and the entry's name in it.
struct TReached {
    std::shared_ptr<const TKNOpenFolder> Folder;
    std::string Name;
    int Handle() const { return Folder ? Folder->Handle() : -1; }
};

// True when nothing may be at the destination of a write: a rename that never replaces then
// keeps that promise by itself.
bool MustBeNew(const TKNWriteTerms& terms)
{
    return terms.Replaces.Known && !terms.Replaces.Exists;
}

// Moves `from` to `to` unless an entry is at `to` (EEXIST): renameat2 with RENAME_NOREPLACE,
// or, on a file system without it, a hard link and the removal of the old name (files only).
// 0 or the errno of the failure.
int MoveNoReplace(int fromDir, const std::string& from, int toDir, const std::string& to)
{
    if (renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP) return err;
    if (linkat(fromDir, from.c_str(), toDir, to.c_str(), 0) != 0) return errno == EPERM ? err : errno;
    return unlinkat(fromDir, from.c_str(), 0) == 0 ? 0 : errno;
}

class TKNLocalSide;

// A regular file open for reading, with its status as it was checked right after the open.
class TLocalReadStream : public TKNReadStream {
public:
    TLocalReadStream(int fd, const struct stat& st, std::string shown) : fd_(fd), st_(st), shown_(std::move(shown)) {}
    int64_t Read(char* buffer, std::size_t size, TKNSideResult& result) override;
    int LocalHandle() const override { return started_ ? -1 : fd_.Get(); }
    const struct stat& Status() const { return st_; }

private:
    TFd fd_;
    struct stat st_;
    std::string shown_;
    bool started_ = false;  // read from: the descriptor no longer stands at the start
};

// A file written under a temporary name beside the destination (TempName), put in place by
// Commit. `folder` holds the destination and stays open, so the rename acts in the very folder
// whose path was checked for links.
class TLocalWriteStream : public TKNWriteStream {
public:
    TLocalWriteStream(TKNLocalSide& side, TReached folder, std::string temp, int fd, const TKNWriteTerms& terms,
                      std::string shown)
        : side_(side),
          folder_(std::move(folder)),
          temp_(std::move(temp)),
          fd_(fd),
          terms_(terms),
          shown_(std::move(shown))
    {
    }
    ~TLocalWriteStream() override { Abort(); }

    TKNSideResult Write(const char* data, std::size_t size) override;
    TKNSideResult WriteFrom(TKNReadStream& source, const std::function<void(int64_t)>& moved) override;
    TKNSideResult Commit() override;
    void Abort() override;

private:
    TKNSideResult Failed(int err);
    TKNSideResult Finish();
    TKNSideResult PutInPlace();
    void KeepUserAttributes(int source);

    TKNLocalSide& side_;
    TReached folder_;
    std::string temp_;  // empty once renamed or removed
    TFd fd_;
    TKNWriteTerms terms_;
    std::string shown_;
    int64_t written_ = 0;
    bool counted_ = true;  // written_ is the file's size; false after a copy that kept holes
};

class TKNLocalSide : public TKNSide {
public:
    TKNLocalSide(std::string root, const TKNSideContext& context)
        : root_(std::move(root)), context_(context), folders_(root_)
    {
        caps_.TimeStep = 1;
        caps_.Inodes = true;
        caps_.ChangeTimes = true;
        caps_.Owners = true;
        caps_.HardLinks = true;
        caps_.Links = true;
        // Its files are independent of one another: it never holds a server's group back.
        caps_.FilesAtOnce = 64;
    }

    const TKNSideCaps& Caps() const override { return caps_; }
    std::string Shown(const TKNSidePath& path) const override { return path.Under(root_); }
    TKNSideResult Connect() override;
    std::string Identity() const override { return identity_; }
    TKNSideResult List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries) override;
    TKNSideResult Stat(const TKNSidePath& path, TKNSideEntry& entry) override;
    TKNSideResult OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream) override;
    TKNSideResult OpenWrite(const TKNSidePath& path, const TKNWriteTerms& terms,
                            std::unique_ptr<TKNWriteStream>& stream) override;
    TKNSideResult MakeFolder(const TKNSidePath& path, int mode) override;
    TKNSideResult RemoveFolder(const TKNSidePath& path) override;
    TKNSideResult RemoveFile(const TKNSidePath& path, const TKNExpected& expected) override;
    TKNSideResult SetTime(const TKNSidePath& path, int64_t mtime, int32_t nsec) override;
    TKNSideResult SetMode(const TKNSidePath& path, uint32_t mode) override;
    TKNSideResult Rename(const TKNSidePath& from, const TKNSidePath& to) override;
    TKNSideResult HardLink(const TKNSidePath& existing, const TKNSidePath& to, const TKNWriteTerms& terms) override;
    TKNSideResult MakeLink(const TKNSidePath& path, const std::string& target, const TKNWriteTerms& terms) override;

    bool Stopped() const { return context_.Stopped(); }
    // Tells once per side that this folder keeps no extended attributes, and why.
    void NoticeAttributes(const std::string& why);
    // The entry `name` in the open folder `dir`, a link as a link; with `resolve`, a link that
    // leads to a file or folder takes what it leads to (as listed).
    static TKNSideResult StatAt(int dir, const std::string& name, TKNSideEntry& entry, bool resolve, int& err);

private:
    TKNSideResult Fail(int err, const TKNSidePath& path) const;
    TKNSideResult Fail(TKNSideError kind, const TKNSidePath& path, const std::string& why) const;
    // The folder holding `path` (not the root), reached without following links.
    TKNSideResult Reach(const TKNSidePath& path, TReached& folder);
    // Reach and the entry's own status (a link as a link).
    TKNSideResult ReachEntry(const TKNSidePath& path, TReached& folder, TKNSideEntry& entry);
    // A descriptor of its own for the folder at `path`, to be read.
    TKNSideResult OpenFolder(const TKNSidePath& path, TFd& fd);
    TKNSideResult Root(std::shared_ptr<const TKNOpenFolder>& root);
    // Makes an entry `name` in the open folder `dir`: 0, or the errno of the failure.
    using TMaker = std::function<int(int dir, const std::string& name)>;
    // Puts the entry `make` makes at `to` under the promises of Commit; `same` tells that the
    // entry there already is that one.
    TKNSideResult PlaceEntry(const TKNSidePath& to, const TKNWriteTerms& terms, const TMaker& make,
                             const std::function<bool(const TKNSideEntry&)>& same);

    std::string root_;
    TKNSideContext context_;
    TKNSideCaps caps_;
    TKNOpenFolders folders_;
    bool attributesNoticed_ = false;
    std::string identity_;
};

// --- Reading ----------------------------------------------------------------------------

int64_t TLocalReadStream::Read(char* buffer, std::size_t size, TKNSideResult& result)
{
    started_ = true;
    ssize_t got;
    do got = read(fd_.Get(), buffer, size);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        const int err = errno;
        result = TKNSideResult::Fail(KindOfErrno(err), Quoted(shown_) + ": " + vex::ErrorText(err));
    }
    return got;
}

// --- Writing ----------------------------------------------------------------------------

TKNSideResult TLocalWriteStream::Failed(int err)
{
    Abort();
    return TKNSideResult::Fail(KindOfErrno(err), Quoted(shown_) + ": " + vex::ErrorText(err));
}

TKNSideResult TLocalWriteStream::Write(const char* data, std::size_t size)
{
    if (fd_.Get() < 0) return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + " is no longer written.");
    if (side_.Stopped()) return Failed(ECANCELED);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = write(fd_.Get(), data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failed(errno);
        done += static_cast<std::size_t>(n);
    }
    written_ += static_cast<int64_t>(size);
    return TKNSideResult::Ok();
}

TKNSideResult TLocalWriteStream::WriteFrom(TKNReadStream& source, const std::function<void(int64_t)>& moved)
{
    // The kernel copies from the start of a local file into a still empty one; anything else
    // goes through the buffered loop of the interface. The status the open checked serves the
    // copy (its size and blocks tell where holes can be); the size that arrives is what
    // Commit checks.
    const auto* local = dynamic_cast<const TLocalReadStream*>(&source);
    const int in = source.LocalHandle();
    if (!local || in < 0 || written_ != 0 || fd_.Get() < 0) return TKNWriteStream::WriteFrom(source, moved);
    const struct stat& st = local->Status();
    int64_t arrived = 0;
    const std::function<void(int64_t)> count = [&arrived, &moved](int64_t bytes) {
        arrived += bytes;
        if (moved) moved(bytes);
    };
    std::string error;
    int err = 0;
    if (!vex::CopyFileContent(
            in, fd_.Get(), st, [this] { return side_.Stopped(); }, count, error, err))
        return Failed(err);
    // A dense file arrives as one run of bytes from the start; one copied with its holes ends
    // where the source ended, which Commit asks the file.
    written_ = arrived;
    counted_ = static_cast<int64_t>(st.st_blocks) * 512 >= st.st_size;
    KeepUserAttributes(in);
    return TKNSideResult::Ok();
}

// Copies the `user.*` extended attributes of `source` to the temporary file; a refusal is told
// once and the copy goes on without them (other name spaces belong to the system).
void TLocalWriteStream::KeepUserAttributes(int source)
{
    ssize_t length = flistxattr(source, nullptr, 0);
    if (length <= 0) return;  // none, or a file system without them: nothing to keep
    std::vector<char> names(static_cast<std::size_t>(length));
    length = flistxattr(source, names.data(), names.size());
    if (length < 0) return side_.NoticeAttributes(vex::ErrorText(errno));
    std::vector<char> value;
    for (std::string_view rest(names.data(), static_cast<std::size_t>(length)); !rest.empty();) {
        const std::string name(rest.substr(0, rest.find('\0')));
        rest.remove_prefix(std::min(rest.size(), name.size() + 1));
        if (name.rfind("user.", 0) != 0) continue;
        const ssize_t size = fgetxattr(source, name.c_str(), nullptr, 0);
        if (size >= 0) value.resize(static_cast<std::size_t>(size));
        if (size < 0 || fgetxattr(source, name.c_str(), value.data(), value.size()) != size ||
            fsetxattr(fd_.Get(), name.c_str(), value.data(), value.size(), 0) != 0)
            return side_.NoticeAttributes(vex::ErrorText(errno));
    }
}

TKNSideResult TLocalWriteStream::Commit()
{
    if (fd_.Get() < 0) return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + " is no longer written.");
    if (TKNSideResult finished = Finish(); !finished) return finished;
    return PutInPlace();
}

// Checks the size and sets mode and time on the still open temporary file, then closes it.
TKNSideResult TLocalWriteStream::Finish()
{
    int64_t size = written_;
    struct stat st;
    if (terms_.Size >= 0 && !counted_) {
        if (fstat(fd_.Get(), &st) != 0) return Failed(errno);
        size = st.st_size;
    }
    if (terms_.Size >= 0 && size != terms_.Size) {
        Abort();
        return TKNSideResult::Fail(TKNSideError::Other, Quoted(shown_) + ": " + std::to_string(size) +
                                                            " bytes arrived of " + std::to_string(terms_.Size) + ".");
    }
    if (terms_.Mode >= 0 && fchmod(fd_.Get(), static_cast<mode_t>(terms_.Mode & 07777)) != 0) return Failed(errno);
    if (terms_.MTime >= 0) {
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(terms_.MTime), terms_.MTimeNsec}};
        if (futimens(fd_.Get(), times) != 0) return Failed(errno);
    }
    if (close(fd_.Release()) != 0) return Failed(errno);
    return TKNSideResult::Ok();
}

// The destination must still be what `Replaces` says, just before the rename. A new file is
// never put over one that appeared meanwhile: the rename itself refuses to replace anything,
// so it needs no look first.
TKNSideResult TLocalWriteStream::PutInPlace()
{
    const int dir = folder_.Handle();
    const std::string& name = folder_.Name;
    const bool mustBeNew = MustBeNew(terms_);
    if (!mustBeNew) {
        TKNSideEntry current;
        int statErr = 0;
        const TKNSideResult found = TKNLocalSide::StatAt(dir, name, current, false, statErr);
        if (TKNSideResult same = CheckExpected(terms_.Replaces, found, current, shown_); !same) {
            Abort();
            return same;
        }
        if (found && current.IsFolder()) {
            Abort();
            return TKNSideResult::Fail(TKNSideError::Exists, Quoted(shown_) + " is a folder.");
        }
    }
    const int err = mustBeNew ? MoveNoReplace(dir, temp_, dir, name)
                              : (renameat(dir, temp_.c_str(), dir, name.c_str()) == 0 ? 0 : errno);
    if (err == EEXIST && mustBeNew) {
        Abort();
        return TKNSideResult::Fail(TKNSideError::Changed, Quoted(shown_) + " changed since the comparison.");
    }
    if (err != 0) return Failed(err);
    temp_.clear();
    return TKNSideResult::Ok();
}

void TLocalWriteStream::Abort()
{
    fd_.Reset();
    if (!temp_.empty()) unlinkat(folder_.Handle(), temp_.c_str(), 0);
    temp_.clear();
}

// --- The side ---------------------------------------------------------------------------

TKNSideResult TKNLocalSide::Fail(int err, const TKNSidePath& path) const
{
    return Fail(KindOfErrno(err), path, vex::ErrorText(err));
}

TKNSideResult TKNLocalSide::Fail(TKNSideError kind, const TKNSidePath& path, const std::string& why) const
{
    return TKNSideResult::Fail(kind, Quoted(Shown(path)) + ": " + why);
}

void TKNLocalSide::NoticeAttributes(const std::string& why)
{
    if (attributesNoticed_) return;
    attributesNoticed_ = true;
    if (context_.Notice)
        context_.Notice(Quoted(root_) + " keeps no extended attributes (" + why + "); files are copied without them.");
}

TKNSideResult TKNLocalSide::Connect()
{
    if (root_.empty() || root_.front() != '/' || root_.find_first_not_of('/') == std::string::npos)
        return TKNSideResult::Fail(TKNSideError::NotFound, "The folder text \"" + root_ + "\" names no folder.");
    TFd fd(open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (fd.Get() >= 0 && fstat(fd.Get(), &st) == 0) {
        identity_ = LocalIdentity(st);
        return TKNSideResult::Ok();
    }
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR)
        return TKNSideResult::Fail(TKNSideError::NotFound, "The folder \"" + root_ + "\" does not exist.");
    return TKNSideResult::Fail(KindOfErrno(err), "Cannot list the folder \"" + root_ + "\": " + vex::ErrorText(err));
}

TKNSideResult TKNLocalSide::Root(std::shared_ptr<const TKNOpenFolder>& root)
{
    int err = 0;
    std::string shown;
    root = folders_.Reach({}, 0, err, shown);
    return root ? TKNSideResult::Ok() : Fail(err, {});
}

TKNSideResult TKNLocalSide::Reach(const TKNSidePath& path, TReached& folder)
{
    for (const std::string& name : path.Names())
        if (std::string why = NameProblem(name, caps_.ForbiddenInNames); !why.empty())
            return TKNSideResult::Fail(TKNSideError::BadName, why);
    if (path.IsRoot()) return Fail(TKNSideError::Other, path, "the root itself cannot be changed this way.");
    const std::vector<std::string>& names = path.Names();
    int err = 0;
    std::string shown;
    folder.Folder = folders_.Reach(names, names.size() - 1, err, shown);
    folder.Name = names.back();
    if (folder.Folder) return TKNSideResult::Ok();
    if (err == ELOOP) return TKNSideResult::Fail(TKNSideError::Link, vex::LinkRefusedText(shown) + ".");
    return Fail(err, path);
}

TKNSideResult TKNLocalSide::StatAt(int dir, const std::string& name, TKNSideEntry& entry, bool resolve, int& err)
{
    struct stat st;
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        err = errno;
        return TKNSideResult::Fail(KindOfErrno(err), vex::ErrorText(err));
    }
    entry.Name = name;
    FillEntry(entry, st);
    entry.Inode = st.st_ino;
    entry.Device = st.st_dev;
    entry.HardLinks = static_cast<uint32_t>(st.st_nlink);
    entry.Link = S_ISLNK(st.st_mode);
    if (entry.Link) {
        entry.Kind = TKNEntryKind::Other;
        entry.LinkMTime = st.st_mtim.tv_sec;
        entry.LinkTarget = LinkTextAt(dir, name, st.st_size);
        struct stat target;
        if (resolve && fstatat(dir, name.c_str(), &target, 0) == 0 &&
            (S_ISREG(target.st_mode) || S_ISDIR(target.st_mode)))
            FillEntry(entry, target);
    }
    return TKNSideResult::Ok();
}

TKNSideResult TKNLocalSide::ReachEntry(const TKNSidePath& path, TReached& folder, TKNSideEntry& entry)
{
    if (TKNSideResult reached = Reach(path, folder); !reached) return reached;
    int err = 0;
    if (StatAt(folder.Handle(), folder.Name, entry, false, err)) return TKNSideResult::Ok();
    return Fail(err, path);
}

TKNSideResult TKNLocalSide::OpenFolder(const TKNSidePath& path, TFd& fd)
{
    // A new open of its own: a duplicate of a held descriptor would share its reading position.
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    if (path.IsRoot()) {
        std::shared_ptr<const TKNOpenFolder> root;
        if (TKNSideResult opened = Root(root); !opened) return opened;
        fd.Reset(openat(root->Handle(), ".", kFlags));
        return fd.Get() >= 0 ? TKNSideResult::Ok() : Fail(errno, path);
    }
    TReached folder;
    if (TKNSideResult reached = Reach(path, folder); !reached) return reached;
    fd.Reset(openat(folder.Handle(), folder.Name.c_str(), kFlags));
    if (fd.Get() >= 0) return TKNSideResult::Ok();
    const int err = errno;
    TKNSideEntry entry;
    int statErr = 0;
    if ((err == ELOOP || err == ENOTDIR) && StatAt(folder.Handle(), folder.Name, entry, false, statErr)) {
        if (entry.Link) return TKNSideResult::Fail(TKNSideError::Link, vex::LinkRefusedText(Shown(path)) + ".");
        return Fail(TKNSideError::Other, path, "not a folder.");
    }
    return Fail(err, path);
}

TKNSideResult TKNLocalSide::List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries)
{
    entries.clear();
    TFd fd;
    if (TKNSideResult opened = OpenFolder(folder, fd); !opened) return opened;
    DIR* dir = fdopendir(fd.Get());
    if (!dir) return Fail(errno, folder);
    fd.Release();
    TKNSideResult result;
    for (;;) {
        errno = 0;
        const dirent* d = readdir(dir);
        if (!d) {
            if (errno != 0) result = Fail(errno, folder);
            break;
        }
        const std::string name = d->d_name;
        if (!NameProblem(name, caps_.ForbiddenInNames).empty()) continue;  // "." and ".."
        TKNSideEntry entry;
        int err = 0;
        if (StatAt(dirfd(dir), name, entry, true, err)) {
            entries.push_back(std::move(entry));
        } else if (err != ENOENT) {  // an entry removed meanwhile is simply gone
            result = Fail(err, folder.Child(name));
            break;
        }
    }
    closedir(dir);
    if (!result) entries.clear();
    return result;
}

TKNSideResult TKNLocalSide::Stat(const TKNSidePath& path, TKNSideEntry& entry)
{
    if (path.IsRoot()) {
        std::shared_ptr<const TKNOpenFolder> root;
        struct stat st;
        if (TKNSideResult opened = Root(root); !opened) return opened;
        if (fstat(root->Handle(), &st) != 0) return Fail(errno, path);
        entry = {};
        FillEntry(entry, st);
        return TKNSideResult::Ok();
    }
    TReached folder;
    return ReachEntry(path, folder, entry);
}

TKNSideResult TKNLocalSide::OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream)
{
    TReached folder;
    if (TKNSideResult reached = Reach(path, folder); !reached) return reached;
    // Nothing is read through a link: what it leads to may lie outside the root (a key, a
    // password file). Anything but a regular file is refused before it is opened, and the
    // non-blocking open, which refuses a link put there meanwhile, is checked again.
    const char* name = folder.Name.c_str();
    struct stat st;
    if (fstatat(folder.Handle(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) return Fail(errno, path);
    if (S_ISLNK(st.st_mode))
        return TKNSideResult::Fail(TKNSideError::Link, vex::LinkRefusedText(Shown(path), true) + ".");
    const char* notRegular = "not a regular file (a device, FIFO or socket is never read).";
    if (!S_ISREG(st.st_mode))
        return Fail(TKNSideError::Unsupported, path, S_ISDIR(st.st_mode) ? "a folder." : notRegular);
    TFd fd(openat(folder.Handle(), name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.Get() < 0) return Fail(errno, path);
    if (fstat(fd.Get(), &st) != 0) return Fail(errno, path);
    if (!S_ISREG(st.st_mode)) return Fail(TKNSideError::Unsupported, path, notRegular);
    stream = std::make_unique<TLocalReadStream>(fd.Release(), st, Shown(path));
    return TKNSideResult::Ok();
}

TKNSideResult TKNLocalSide::OpenWrite(const TKNSidePath& path, const TKNWriteTerms& terms,
                                      std::unique_ptr<TKNWriteStream>& stream)
{
    TReached folder;
    if (MustBeNew(terms)) {
        // A new file: the rename at Commit refuses to replace whatever appears meanwhile.
        if (TKNSideResult reached = Reach(path, folder); !reached) return reached;
    } else {
        TKNSideEntry current;
        TKNSideResult found = ReachEntry(path, folder, current);
        if (found.Kind == TKNSideError::BadName || found.Kind == TKNSideError::Link || folder.Handle() < 0)
            return found;
        // Checked here to spare a useless copy, and again just before the rename.
        if (TKNSideResult same = CheckExpected(terms.Replaces, found, current, Shown(path)); !same) return same;
        if (found && current.IsFolder()) return Fail(TKNSideError::Exists, path, "a folder is in the way.");
    }
    // Private while written when the mode is given (set at Commit); else the usual default.
    const mode_t mode = terms.Mode >= 0 ? 0600 : 0666;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = TempName(folder.Name);
        const int fd =
            openat(folder.Handle(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return Fail(errno, path);
        stream = std::make_unique<TLocalWriteStream>(*this, std::move(folder), std::move(temp), fd, terms, Shown(path));
        return TKNSideResult::Ok();
    }
    return Fail(EEXIST, path);
}

TKNSideResult TKNLocalSide::MakeFolder(const TKNSidePath& path, int mode)
{
    if (path.IsRoot()) return TKNSideResult::Ok();
    TReached folder;
    if (TKNSideResult reached = Reach(path, folder); !reached) return reached;
    const int dir = folder.Handle();
    const char* name = folder.Name.c_str();
    // Made private, then given exactly its mode: the umask neither widens nor narrows it.
    if (mkdirat(dir, name, mode >= 0 ? 0700 : 0777) != 0) {
        const int err = errno;
        TKNSideEntry entry;
        int statErr = 0;
        if (err != EEXIST || !StatAt(dir, name, entry, false, statErr)) return Fail(err, path);
        if (entry.Link) return TKNSideResult::Fail(TKNSideError::Link, vex::LinkRefusedText(Shown(path)) + ".");
        return entry.IsFolder() ? TKNSideResult::Ok() : Fail(TKNSideError::Exists, path, "a file is in the way.");
    }
    if (mode >= 0 && fchmodat(dir, name, static_cast<mode_t>(mode & 07777), AT_SYMLINK_NOFOLLOW) != 0)
        return Fail(errno, path);
    return TKNSideResult::Ok();
}

TKNSideResult TKNLocalSide::RemoveFolder(const TKNSidePath& path)
{
    TReached folder;
    TKNSideEntry entry;
    if (TKNSideResult found = ReachEntry(path, folder, entry); !found) return found;
    if (!entry.Link && !entry.IsFolder()) return Fail(TKNSideError::Other, path, "not a folder.");
    const int flags = entry.Link ? 0 : AT_REMOVEDIR;
    if (unlinkat(folder.Handle(), folder.Name.c_str(), flags) != 0) return Fail(errno, path);
    return TKNSideResult::Ok();
}

TKNSideResult TKNLocalSide::RemoveFile(const TKNSidePath& path, const TKNExpected& expected)
{
    TReached folder;
    TKNSideEntry entry;
    const TKNSideResult found = ReachEntry(path, folder, entry);
    if (found.Kind == TKNSideError::BadName || found.Kind == TKNSideError::Link || folder.Handle() < 0) return found;
    if (TKNSideResult same = CheckExpected(expected, found, entry, Shown(path)); !same) return same;
    if (!found) return found;
    if (entry.IsFolder()) return Fail(TKNSideError::Other, path, "a folder.");
    if (unlinkat(folder.Handle(), folder.Name.c_str(), 0) != 0) return Fail(errno, path);
    return TKNSideResult::Ok();
}

TKNSideResult TKNLocalSide::SetTime(const TKNSidePath& path, int64_t mtime, int32_t nsec)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(mtime), nsec}};
    if (path.IsRoot()) {
        std::shared_ptr<const TKNOpenFolder> root;
        if (TKNSideResult opened = Root(root); !opened) return opened;
        return futimens(root->Handle(), times) == 0 ? TKNSideResult::Ok() : Fail(errno, path);
    }
    TReached folder;
    TKNSideEntry entry;
    if (TKNSideResult found = ReachEntry(path, folder, entry); !found) return found;
    if (entry.Link) return TKNSideResult::Fail(TKNSideError::Link, vex::LinkRefusedText(Shown(path)) + ".");
    // No-follow even if the entry became a link since the test above: then the link's own time.
    if (utimensat(folder.Handle(), folder.Name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return Fail(errno, path);
    return TKNSideResult::Ok();
}

TKNSideResult TKNLocalSide::SetMode(const TKNSidePath& path, uint32_t mode)
{
    if (path.IsRoot()) {
        std::shared_ptr<const TKNOpenFolder> root;
        if (TKNSideResult opened = Root(root); !opened) return opened;
        return fchmod(root->Handle(), mode & 07777) == 0 ? TKNSideResult::Ok() : Fail(errno, path);
    }
    TReached folder;
    TKNSideEntry entry;
    if (TKNSideResult found = ReachEntry(path, folder, entry); !found) return found;
    // Refused for a link here and, should the entry become one meanwhile, by the call itself.
    if (entry.Link || fchmodat(folder.Handle(), folder.Name.c_str(), mode & 07777, AT_SYMLINK_NOFOLLOW) != 0) {
        if (entry.Link || errno == EOPNOTSUPP)
            return TKNSideResult::Fail(TKNSideError::Link, vex::LinkRefusedText(Shown(path)) + ".");
        return Fail(errno, path);
    }
    return TKNSideResult::Ok();
}

TKNSideResult TKNLocalSide::Rename(const TKNSidePath& from, const TKNSidePath& to)
{
    TReached source, target;
    if (TKNSideResult reached = Reach(from, source); !reached) return reached;
    if (TKNSideResult reached = Reach(to, target); !reached) return reached;
    const int err = MoveNoReplace(source.Handle(), source.Name, target.Handle(), target.Name);
    if (err == 0) return TKNSideResult::Ok();
    return Fail(err, err == EEXIST ? to : from);
}

// The new entry is made in place where nothing may be at `to` (making refuses to replace
// anything); one that replaces an entry is made under a temporary name beside it, checked and
// renamed over it.
TKNSideResult TKNLocalSide::PlaceEntry(const TKNSidePath& to, const TKNWriteTerms& terms, const TMaker& make,
                                       const std::function<bool(const TKNSideEntry&)>& same)
{
    TReached target;
    if (MustBeNew(terms)) {
        if (TKNSideResult reached = Reach(to, target); !reached) return reached;
        if (const int err = make(target.Handle(), target.Name); err != 0)
            return err == EEXIST ? Fail(TKNSideError::Changed, to, "it changed since the comparison.") : Fail(err, to);
        return TKNSideResult::Ok();
    }
    TKNSideEntry current;
    const TKNSideResult found = ReachEntry(to, target, current);
    if (found.Kind == TKNSideError::BadName || found.Kind == TKNSideError::Link || target.Handle() < 0) return found;
    if (TKNSideResult checked = CheckExpected(terms.Replaces, found, current, Shown(to)); !checked) return checked;
    if (found && current.IsFolder()) return Fail(TKNSideError::Exists, to, "a folder is in the way.");
    // Already the entry to be made: a rename of a copy over it would change nothing.
    if (found && same(current)) return TKNSideResult::Ok();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = TempName(target.Name);
        if (const int err = make(target.Handle(), temp); err != 0) {
            if (err == EEXIST) continue;
            return Fail(err, to);
        }
        if (renameat(target.Handle(), temp.c_str(), target.Handle(), target.Name.c_str()) == 0)
            return TKNSideResult::Ok();
        const int err = errno;
        unlinkat(target.Handle(), temp.c_str(), 0);
        return Fail(err, to);
    }
    return Fail(EEXIST, to);
}

TKNSideResult TKNLocalSide::HardLink(const TKNSidePath& existing, const TKNSidePath& to, const TKNWriteTerms& terms)
{
    TReached source;
    TKNSideEntry file;
    if (TKNSideResult found = ReachEntry(existing, source, file); !found) return found;
    if (file.Link) return TKNSideResult::Fail(TKNSideError::Link, vex::LinkRefusedText(Shown(existing)) + ".");
    if (file.Kind != TKNEntryKind::File) return Fail(TKNSideError::Other, existing, "not a file.");
    const auto link = [&](int dir, const std::string& name) {
        return linkat(source.Handle(), source.Name.c_str(), dir, name.c_str(), 0) == 0 ? 0 : errno;
    };
    // Names of one file already.
    const auto same = [&](const TKNSideEntry& e) { return e.Inode == file.Inode && e.Device == file.Device; };
    return PlaceEntry(to, terms, link, same);
}

// The link takes the time asked for as its own, as `cp -a` gives it.
TKNSideResult TKNLocalSide::MakeLink(const TKNSidePath& path, const std::string& target, const TKNWriteTerms& terms)
{
    if (target.empty() || target.find('\0') != std::string::npos)
        return Fail(TKNSideError::BadName, path, "a link must hold a text without NUL bytes.");
    const auto make = [&](int dir, const std::string& name) {
        if (symlinkat(target.c_str(), dir, name.c_str()) != 0) return errno;
        if (terms.MTime < 0) return 0;
        const struct timespec times[2] = {{0, UTIME_OMIT}, {terms.MTime, terms.MTimeNsec}};
        if (utimensat(dir, name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0) return 0;
        const int err = errno;
        unlinkat(dir, name.c_str(), 0);
        return err;
    };
    const auto same = [&](const TKNSideEntry& e) { return e.Link && e.LinkTarget == target; };
    return PlaceEntry(path, terms, make, same);
}

}  // namespace

std::unique_ptr<TKNSide> OpenLocalSide(const std::string& root, const TKNSideContext& context)
{
    std::string trimmed = root;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return std::make_unique<TKNLocalSide>(std::move(trimmed), context);
}

}  // namespace kn
