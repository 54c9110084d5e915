#include "config/kn_unitConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "config/kn_unitConfigUpgrade.h"
#include "framework/vex_unitProgramFolder.h"

namespace kn {

namespace {

// An old file larger than this is not a configuration file: it is left alone.
constexpr std::size_t kMaxUpgradeSize = std::size_t{1} << 30;
constexpr std::size_t kCheckedSize = 64;

std::string FolderOf(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a save replaces: the target of a link, so that a linked configuration stays linked.
std::string ResolvedTarget(const std::string& path)
{
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : path;
}

void SyncFolder(const std::string& folder)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // best effort: the rename itself already succeeded
    close(fd);
}

// A stored action byte outside the four actions reads as Auto (StoredAction): whoever reads the
// records later never meets a damaged value that a modulo could turn into a direction.
void ReadActions(TKNOptionsRec& rec)
{
    rec.Action = StoredAction(static_cast<int>(rec.Action));
}

void ReadActions(TKNBatchRec& rec)
{
    for (TKNBatchEntry& entry : rec.Entries) entry.Action = StoredAction(static_cast<int>(entry.Action));
}

template <class Rec>
void ReadRecords(TKNConfigStream& stream, unsigned count, TKNRecordList<Rec>& list)
{
    for (unsigned i = 0; i < count; ++i) {
        Rec rec;
        if (stream.Read(&rec, sizeof rec) != sizeof rec) return;
        ReadActions(rec);
        list.Append(rec);
    }
}

template <class Rec>
bool WriteRecords(TKNConfigStream& stream, const TKNRecordList<Rec>& list)
{
    for (int i = 0; i < list.Count(); ++i)
        if (!stream.Write(list.Items(i), sizeof(Rec))) return false;
    return true;
}

}  // namespace

// --- TKNConfigStream ---------------------------------------------------------------------

TKNConfigStream::~TKNConfigStream()
{
    Close();
}

bool TKNConfigStream::OpenRead(const std::string& path)
{
    Close();
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd_ >= 0;
}

void TKNConfigStream::Attach(int fd)
{
    Close();
    fd_ = fd;
}

void TKNConfigStream::Close()
{
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

std::size_t TKNConfigStream::Read(void* buffer, std::size_t size)
{
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
        ssize_t n = read(fd_, out + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool TKNConfigStream::Write(const void* buffer, std::size_t size)
{
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
        ssize_t n = write(fd_, in + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return done == size;
}

int64_t TKNConfigStream::SeekForward(int64_t offset)
{
    if (fd_ < 0) return -1;
    return lseek(fd_, offset, SEEK_CUR);
}

// --- TKNConfigFile: opening ----------------------------------------------------------------

TKNConfigFile::TKNConfigFile(std::string fileName, const TKNWorkArea& area) : fileName_(std::move(fileName))
{
    struct stat st;
    if (stat(fileName_.c_str(), &st) != 0) {
        if (errno == ENOENT)
            CreateDefaultFile(area);
        else
            Fail("Cannot open");
    } else if (!S_ISREG(st.st_mode)) {
        errno = 0;
        Fail("Not a regular file:");  // a pipe or device would block or never end
    } else if (!CheckHeader()) {
        UpgradeFile();
    }
}

bool TKNConfigFile::Fail(const std::string& what)
{
    const int err = errno;
    error_ = what + " \"" + fileName_ + "\"";
    if (err != 0) error_ += std::string(": ") + std::strerror(err);
    return false;
}

// The new file is written whole under a temporary name and then linked into place, which
// fails when a file is already there: concurrent first starts see no file or a whole one,
// never a short one. The file holds a password, so it is the user's alone.
void TKNConfigFile::CreateDefaultFile(const TKNWorkArea& area)
{
    std::string temp = fileName_ + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) {
        Fail("Cannot create");
        return;
    }
    TKNConfigStream stream;
    stream.Attach(fd);
    const TKNConfigHeader header = DefaultHeader(area, vex::HomeFolder().c_str());
    errno = 0;
    ok_ = stream.Write(&header, sizeof header) && fsync(fd) == 0;
    stream.Close();
    if (!ok_) {
        Fail("Cannot write");
        unlink(temp.c_str());
        return;
    }
    const bool linked = link(temp.c_str(), fileName_.c_str()) == 0;
    const int err = errno;
    unlink(temp.c_str());
    if (linked) {
        created_ = true;
        SyncFolder(FolderOf(fileName_));
    } else if (err == EEXIST) {
        if (!CheckHeader()) UpgradeFile();  // another start made it first: whole, checked as usual
    } else {
        errno = err;
        ok_ = false;
        Fail("Cannot create");
    }
}

bool TKNConfigFile::CheckHeader()
{
    TKNConfigStream stream;
    TKNConfigHeader head;
    ok_ = stream.OpenRead(fileName_) && stream.Read(&head, kCheckedSize) == kCheckedSize &&
          head.Version == kConfigVersion;
    return ok_;
}

void TKNConfigFile::UpgradeFile()
{
    ok_ = false;
    TKNConfigStream stream;
    if (!stream.OpenRead(fileName_)) {
        Fail("Cannot open");
        return;
    }
    std::vector<uint8_t> bytes;
    char block[65536];
    for (std::size_t n; (n = stream.Read(block, sizeof block)) > 0;) {
        bytes.insert(bytes.end(), block, block + n);
        if (bytes.size() > kMaxUpgradeSize) break;
    }
    stream.Close();
    errno = 0;
    if (bytes.size() > kMaxUpgradeSize || !UpgradeConfigBytes(bytes)) {
        Fail("Unknown version or damaged content in");
        return;
    }
    ok_ = ReplaceContent([&](TKNConfigStream& out) { return out.Write(bytes.data(), bytes.size()); });
}

// --- reading -----------------------------------------------------------------------------

bool TKNConfigFile::ReadHeader(TKNConfigHeader& buffer, TKNConfigStream* stream)
{
    if (!ok_) return false;
    TKNConfigStream own;
    if (stream == nullptr) {
        if (!own.OpenRead(fileName_)) return Fail("Cannot open");
        stream = &own;
    }
    TKNConfigHeader read;
    errno = 0;
    if (stream->Read(&read, sizeof read) != sizeof read) return Fail("Cannot read the header of");
    ReadActions(read.CurrentOptions);
    buffer = read;
    return true;
}

bool TKNConfigFile::ReadPresets(TKNPresetList& list)
{
    if (!ok_) return false;
    TKNConfigStream stream;
    TKNConfigHeader header;
    if (!stream.OpenRead(fileName_)) return Fail("Cannot open");
    if (!ReadHeader(header, &stream)) return false;
    list.Clear();
    ReadRecords(stream, header.PresetCount, list);
    return true;
}

bool TKNConfigFile::ReadBatches(TKNBatchList& list)
{
    if (!ok_) return false;
    TKNConfigStream stream;
    TKNConfigHeader header;
    if (!stream.OpenRead(fileName_)) return Fail("Cannot open");
    if (!ReadHeader(header, &stream)) return false;
    const int64_t presetBytes = static_cast<int64_t>(header.PresetCount) * kPresetSize;
    if (stream.SeekForward(presetBytes) != static_cast<int64_t>(kHeaderSize) + presetBytes)
        return Fail("Cannot seek in");
    list.Clear();
    ReadRecords(stream, header.BatchCount, list);
    return true;
}

// --- writing -----------------------------------------------------------------------------

bool TKNConfigFile::WriteHeader(const TKNConfigHeader& buffer, bool full, TKNConfigStream* stream)
{
    if (!ok_) return false;
    if (stream == nullptr) {
        // The whole file again, under a temporary name and then renamed into place: a program
        // ended while it saves (a logout's SIGTERM) leaves the old file or the new, never a
        // header half written over the old one.
        TKNConfigHeader header;
        TKNPresetList presets;
        TKNBatchList batches;
        if (!ReadHeader(header) || !ReadPresets(presets) || !ReadBatches(batches)) return false;
        std::memcpy(&header, &buffer, full ? kHeaderSize : kHeaderNormalWriteSize);
        // The differences window's settings lie beyond the counts: a normal write keeps them too.
        header.DiffSettings = buffer.DiffSettings;
        std::memcpy(header.DiffIgnorePattern, buffer.DiffIgnorePattern, sizeof header.DiffIgnorePattern);
        return SaveWith(header, presets, batches, nullptr);
    }
    if (!stream->Write(&buffer, full ? kHeaderSize : kHeaderNormalWriteSize)) return Fail("Cannot write");
    return true;
}

bool TKNConfigFile::WriteLists(const TKNPresetList& presets, const TKNBatchList& batches, TKNConfigStream& stream)
{
    return WriteRecords(stream, presets) && WriteRecords(stream, batches);
}

bool TKNConfigFile::SavePresets(const TKNPresetList& list, TKNConfigHeader* written)
{
    TKNConfigHeader header;
    TKNBatchList batches;
    if (!ReadHeader(header) || !ReadBatches(batches)) return false;
    return SaveWith(header, list, batches, written);
}

bool TKNConfigFile::SaveBatches(const TKNBatchList& list, TKNConfigHeader* written)
{
    TKNConfigHeader header;
    TKNPresetList presets;
    if (!ReadHeader(header) || !ReadPresets(presets)) return false;
    return SaveWith(header, presets, list, written);
}

bool TKNConfigFile::SaveWith(TKNConfigHeader header, const TKNPresetList& presets, const TKNBatchList& batches,
                             TKNConfigHeader* written)
{
    header.PresetCount = static_cast<uint16_t>(presets.Count());
    header.BatchCount = static_cast<uint16_t>(batches.Count());
    bool saved = ReplaceContent(
        [&](TKNConfigStream& out) { return WriteHeader(header, true, &out) && WriteLists(presets, batches, out); });
    if (saved && written != nullptr) *written = header;
    return saved;
}

bool TKNConfigFile::ReplaceContent(const std::function<bool(TKNConfigStream&)>& write)
{
    const std::string target = ResolvedTarget(fileName_);
    // A rename would get past a file the user has made read-only: honour its protection.
    if (access(target.c_str(), W_OK) != 0) return Fail("Cannot write");
    std::string temp = target + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return Fail("Cannot create a temporary file beside");
    struct stat st;
    if (stat(target.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);
    TKNConfigStream out;
    out.Attach(fd);
    errno = 0;
    bool whole = write(out) && fsync(fd) == 0;
    if (!whole) Fail("Cannot write");
    out.Close();
    if (whole && rename(temp.c_str(), target.c_str()) != 0) whole = Fail("Cannot replace");
    if (!whole) {
        unlink(temp.c_str());
        return false;
    }
    SyncFolder(FolderOf(target));
    error_.clear();
    return true;
}

}  // namespace kn
