// The local file system as the engine sees it: folder listings with the attribute bits the
// program keeps, and the few path queries its callers need. Listing never opens an entry, so
// FIFOs, sockets and devices cannot block it.
//
// Attribute bits derived from each entry:
//   0x10 folder     a directory (a link to a directory too, flagged as a link)
//   0x01 read-only  the owner has no write permission
//   0x02 hidden     the name begins with "."
//   0x04 system     neither a regular file nor a directory (FIFO, socket, device)
//   0x20 archive    every regular file
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace vex {

constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrFolder = 0x10;
constexpr uint32_t kAttrArchive = 0x20;

// The attribute bits of an entry named `name` whose status is `st`.
uint32_t AttributesOf(const struct stat& st, std::string_view name);

// One listed entry. `Name` stays valid until the next call to Next or Close.
struct TDirEntry {
    std::string_view Name;
    int64_t Size = 0;
    int64_t MTime = 0;  // last-write time, Unix seconds (UTC)
    uint32_t Attr = 0;
    bool Link = false;  // a symbolic link, described by what it points to
};

// Lists one folder. "." and ".." are skipped; a link counts as what it points to; a dangling
// link and an entry that vanishes while listed are skipped. A listing that fails part way (a
// read error, an entry whose status cannot be read) ends with Error() set, never as if the
// folder ended there.
class TDirLister {
public:
    TDirLister() = default;
    ~TDirLister() { Close(); }
    TDirLister(const TDirLister&) = delete;
    TDirLister& operator=(const TDirLister&) = delete;

    // False (with errno set) when the folder cannot be listed.
    bool Open(const std::string& folder);
    // False at the end of the listing, or on a failure (then Error() is not 0).
    bool Next(TDirEntry& entry);
    void Close();
    // The errno of the failure that ended the listing; 0 when it ended normally.
    int Error() const { return error_; }

private:
    DIR* dir_ = nullptr;
    int error_ = 0;
};

enum class TFileKind { None, File, Folder, Other };
// What `path` names, following links; None when it does not exist (or cannot be reached).
TFileKind KindOf(const std::string& path);
// True when `path` itself is a symbolic link (not followed).
bool IsSymLink(const std::string& path);

// The system's text for an errno value.
std::string ErrorText(int error);

}  // namespace vex
