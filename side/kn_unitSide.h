// One kind of side (a local folder, a folder on a server): the one interface through which the
// comparison, the update, the content comparison and the windows reach files. Every kind
// implements TKNSide in its own folder (local/, ftp/, ...) with its descriptor
// (kn_unitSideKind.h) and is found by the registry (engine/kn_unitSideRegistry.h) from the
// location's scheme; nothing else asks which kind it holds.
//
// Paths are TKNSidePath values: the side's root plus checked name components. A side never
// re-splits a joined string, and every component it is handed is one plain name.
//
// Errors: every operation returns a TKNSideResult, with an error kind and a message ready to be
// shown (it names the location without its password); nothing throws across this interface.
// A result of kind Connection means the side can no longer be reached: the run ends.
//
// The promises every kind keeps (the conformance suite in tests/side checks them against each):
// - List never reports a folder it could not read as empty: it fails instead.
// - Stat, OpenRead, SetTime, SetMode, RemoveFile, OpenWrite and MakeLink never follow a link at
//   the entry or on the way below the root: a link is an entry of its own, replaced or removed
//   as a link, and an operation that would act through one fails with kind Link.
// - OpenWrite writes under a temporary name (TempName in kn_unitSideRules.h) beside the
//   destination (a side whose writes replace whole by themselves, Caps().AtomicReplace, writes
//   at the destination); Commit replaces the destination only when the whole expected size arrived and
//   the destination still is what `Replaces` says; otherwise, and on Abort or destruction, the
//   temporary is removed and the destination stays as it was.
// - A side is used by one thread at a time; only the stop flag is read from others.
// - Several files at once (Caps().FilesAtOnce = n > 1): up to n streams, read and write
//   together, may be open on the side at once, so that their round trips overlap. The caller
//   opens them all first, then moves each stream's bytes to its end (Read until 0, or WriteFrom),
//   one stream after the other in the order opened, then commits the write streams in that
//   order. OpenRead and OpenWrite may then return before the server answered: a failure of the
//   open shows at the stream's first Read, Write or Commit, with the same kinds and messages. A
//   stream destroyed or aborted before its turn (its group was stopped, or its open failed)
//   leaves nothing behind and does not disturb the others.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "side/kn_unitSidePath.h"

namespace kn {

enum class TKNSideError : uint8_t {
    None,
    NotFound,     // no entry at the path
    Exists,       // an entry is in the way (a file where a folder is made, a rename target)
    Link,         // a link at the entry or on the way: nothing is done through it
    Changed,      // the entry is no longer what the comparison saw
    BadName,      // a name this side cannot hold as one component
    Denied,       // permission refused
    NoSpace,      // the disk or the quota is full
    Unsupported,  // the side cannot do this at all (set times on a server without MFMT)
    Stopped,      // the stop flag was raised
    Connection,   // the side can no longer be reached: the run ends
    // The server refuses one more connection (FTP 421, an SSH server at its session limit):
    // a pool of workers shrinks by one and the run goes on with the others.
    TooManyConnections,
    // The server is not trusted yet (an SSH host key not known, a TLS certificate that neither
    // the system nor the user trusts): recording it as trusted mends this. A certificate or key
    // other than the one recorded is Connection, never this: it is never replaced on a question.
    Untrusted,
    Other,
};

// The kind as a lower-case word for scripts ("not-found", "changed", ...).
const char* SideErrorWord(TKNSideError kind);

struct TKNSideResult {
    TKNSideError Kind = TKNSideError::None;
    std::string Message;

    explicit operator bool() const { return Kind == TKNSideError::None; }
    static TKNSideResult Ok() { return {}; }
    static TKNSideResult Fail(TKNSideError kind, std::string message) { return {kind, std::move(message)}; }
};

enum class TKNEntryKind : uint8_t { File, Folder, Other };

// One entry as a side lists it. A link that leads to a file or a folder is listed with what it
// leads to (Kind) and Link set; a link that leads nowhere has Kind Other. Its own text and time
// are LinkTarget and LinkMTime.
struct TKNSideEntry {
    std::string Name;
    TKNEntryKind Kind = TKNEntryKind::File;
    bool Link = false;
    // A link's text as it was written (never resolved; empty where the side cannot tell it) and
    // the link's own time (UTC seconds), where Link.
    std::string LinkTarget;
    int64_t LinkMTime = 0;
    int64_t Size = 0;
    int64_t MTime = 0;  // UTC seconds since 1970
    int32_t MTimeNsec = 0;
    uint32_t TimeStep = 1;   // the seconds to which MTime is known (60 or 86400 for some listings)
    uint32_t Mode = 0;       // permission bits (07777), valid when ModeKnown
    bool ModeKnown = false;  // false for a server that tells no permissions
    uint32_t Uid = 0;        // owner, valid when OwnerKnown
    bool OwnerKnown = false;
    uint64_t Inode = 0;  // 0 where the side has no inodes
    uint64_t Device = 0;
    // The change time (status changes too), where the side tells it (Caps().ChangeTimes); 0
    // elsewhere.
    int64_t CTime = 0;
    int32_t CTimeNsec = 0;
    uint32_t HardLinks = 1;
    // An opaque version of the entry where the side keeps one (a WebDAV or object store's ETag):
    // it changes whenever the content does. Empty where the side keeps none.
    std::string Version;

    bool IsFolder() const { return Kind == TKNEntryKind::Folder; }
};

// What a side can do; the engine asks and uses the overlap of both sides.
struct TKNSideCaps {
    uint32_t TimeStep = 1;  // the precision of its times
    bool SetTime = true;    // SetTime works (else Unsupported)
    bool SetMode = true;    // SetMode works and is kept
    // A write replaces the destination whole by itself (an object store's upload): OpenWrite
    // writes at the destination directly, never under a temporary name, so a file named like
    // one of the program's temporaries there is a user's file. False where a write goes to a
    // temporary that Commit puts in place.
    bool AtomicReplace = false;
    bool Rename = true;   // Rename works
    bool Inodes = false;  // entries carry Inode/Device
    // Entries carry their change time, and their times to the nanosecond: a write within the
    // second of the last one still shows.
    bool ChangeTimes = false;
    bool Owners = false;           // entries carry Uid, and written files belong to the writer
    std::string ForbiddenInNames;  // bytes besides "/" and NUL a name may not hold here
    bool Remote = false;           // a server: its files are fetched over a network
    // False when listings cannot show names that begin with "." (an FTP server that hides them
    // and knows no way to show them): such entries are unknown there, like the contents of a
    // folder that could not be listed, so they are never deleted or overwritten on the ground
    // that they are missing. It may turn false during a run (a listing or an upload shows it).
    bool DotEntries = true;
    // How many files the side carries at once on its one connection (see the promises above);
    // 1 where a file must end before the next begins (an FTP connection moves one at a time).
    int FilesAtOnce = 1;
    // A written file takes the time of its TKNWriteTerms (by SetTime, with the upload, or as
    // metadata); false where the side shows the time it wrote a file, whatever was asked.
    bool KeepsTimes = true;
    // False where an empty folder cannot be kept (an object store, where a folder is only a
    // prefix of names): such a folder is never a difference there.
    bool EmptyFolders = true;
    // CopyWithin works: the side copies a file onto another path itself, without the bytes
    // crossing the link (a server-side copy).
    bool ServerCopy = false;
    // HardLink works: one file may be given another name on the side.
    bool HardLinks = false;
    // MakeLink works: the side holds symbolic links, and lists their texts (LinkTarget).
    bool Links = false;
};

// What the entry to be replaced or removed must still be; Known false skips the check.
struct TKNExpected {
    bool Known = false;
    bool Exists = false;  // false: nothing may be at the path
    bool Link = false;    // the entry is a link: it must still be one (its target is not compared)
    int64_t Size = 0;
    int64_t MTime = 0;
    uint32_t TimeStep = 1;
    uint64_t Inode = 0;  // 0: not compared
    // Not empty: the entry's version (TKNSideEntry::Version) must still be this one; a side
    // checks it with a conditional request where its server honours one.
    std::string Version;
};

// A file about to be written: its whole size (-1 unknown), the time and permission bits it
// takes (-1: the side's default), and what it replaces.
struct TKNWriteTerms {
    int64_t Size = -1;
    int64_t MTime = -1;
    int32_t MTimeNsec = 0;
    int Mode = -1;
    TKNExpected Replaces;
};

class TKNReadStream {
public:
    virtual ~TKNReadStream() = default;
    // Up to `size` bytes: the count, 0 at the end, -1 with `result` set.
    virtual int64_t Read(char* buffer, std::size_t size, TKNSideResult& result) = 0;
    // A local file descriptor of the data standing at its start, for a same-kind fast path;
    // -1 for none, and once anything was read.
    virtual int LocalHandle() const { return -1; }
};

class TKNWriteStream {
public:
    // Aborts unless committed.
    virtual ~TKNWriteStream() = default;
    virtual TKNSideResult Write(const char* data, std::size_t size) = 0;
    // Copies the rest of `source` in; a side with a fast path for its own kind (copy_file_range
    // between local files) overrides it. `moved` receives the bytes of each block.
    virtual TKNSideResult WriteFrom(TKNReadStream& source, const std::function<void(int64_t)>& moved);
    // Checks the size, sets time and mode, checks `Replaces` and puts the file in place.
    virtual TKNSideResult Commit() = 0;
    // Removes the temporary file; the destination stays as it was.
    virtual void Abort() = 0;
};

// One folder's listing of TKNSide::ListFolders: what List gives for it.
struct TKNListing {
    TKNSideResult Result;
    std::vector<TKNSideEntry> Entries;
};

// What a side is handed when it is opened: the run's stop flag (read by long operations, which
// then end with kind Stopped) and where it tells things once per run.
struct TKNSideContext {
    const std::atomic<bool>* Stop = nullptr;
    std::function<void(const std::string& text)> Notice;

    bool Stopped() const { return Stop && Stop->load(std::memory_order_relaxed); }
};

class TKNSide {
public:
    virtual ~TKNSide() = default;

    virtual const TKNSideCaps& Caps() const = 0;
    // The location of `path` as people see it: never with a password.
    virtual std::string Shown(const TKNSidePath& path) const = 0;
    // Reaches the side and checks that its root is a folder. Called once before anything else.
    virtual TKNSideResult Connect() = 0;
    // What the root is, as Connect found it, whatever text named it: "local DEVICE:INODE" for a
    // local folder; for a server the server (scheme, user, host and port) and the root's
    // canonical path there, e.g. "sftp://me@host:22/home/me/www". Empty where the side cannot
    // tell: then the location's text stands for it.
    virtual std::string Identity() const { return {}; }

    // The entries of a folder (never "." or "..", never a name that is not one plain component
    // here); a folder that cannot be read fails.
    virtual TKNSideResult List(const TKNSidePath& folder, std::vector<TKNSideEntry>& entries) = 0;
    // The listings of `folders`, in their order, each exactly as List gives it (a failure of one
    // is that listing's). By default one List after the other; a side that can keep several
    // listings in flight on its connection overrides it.
    virtual void ListFolders(const std::vector<TKNSidePath>& folders, std::vector<TKNListing>& listings);
    // The entry itself, a link as a link (Link set, Kind Other); NotFound when absent.
    virtual TKNSideResult Stat(const TKNSidePath& path, TKNSideEntry& entry) = 0;

    // Reading never follows a link at the entry or on the way below the root (what it leads to
    // may lie outside): it fails with kind Link. Anything else that is not a regular file (a
    // FIFO would block the reader) fails with kind Unsupported without being opened.
    virtual TKNSideResult OpenRead(const TKNSidePath& path, std::unique_ptr<TKNReadStream>& stream) = 0;
    // Missing folders on the way are not made: the caller makes them, with their modes.
    virtual TKNSideResult OpenWrite(const TKNSidePath& path, const TKNWriteTerms& terms,
                                    std::unique_ptr<TKNWriteStream>& stream) = 0;

    // A new folder with `mode` (-1: the side's default); an existing folder is success.
    virtual TKNSideResult MakeFolder(const TKNSidePath& path, int mode) = 0;
    // An empty folder, or a link to a folder (the link only).
    virtual TKNSideResult RemoveFolder(const TKNSidePath& path) = 0;
    // A file or a link (never what it leads to), only while it is what `expected` says.
    virtual TKNSideResult RemoveFile(const TKNSidePath& path, const TKNExpected& expected) = 0;
    virtual TKNSideResult SetTime(const TKNSidePath& path, int64_t mtime, int32_t nsec) = 0;
    virtual TKNSideResult SetMode(const TKNSidePath& path, uint32_t mode) = 0;
    // Moves an entry; never replaces one at `to` (Exists).
    virtual TKNSideResult Rename(const TKNSidePath& from, const TKNSidePath& to) = 0;
    // Copies the file `from` to `to` on the side itself (Caps().ServerCopy), under the promises
    // of OpenWrite and Commit: whole or not at all, `terms.Replaces` checked at `to`, never
    // through a link. Unsupported by default.
    virtual TKNSideResult CopyWithin(const TKNSidePath& from, const TKNSidePath& to, const TKNWriteTerms& terms);
    // Makes `to` another name of the file `existing` on the side (Caps().HardLinks), under the
    // promises of Commit: `terms.Replaces` checked at `to`, which is replaced in one step or not
    // at all; never through a link, and `existing` must be a file, not a link. The file keeps
    // its own time and mode. Unsupported by default.
    virtual TKNSideResult HardLink(const TKNSidePath& existing, const TKNSidePath& to, const TKNWriteTerms& terms);
    // Makes `path` a symbolic link holding `target` as given (Caps().Links), under the promises
    // of Commit: `terms.Replaces` checked at `path`, which is replaced in one step or not at all,
    // never through a link on the way. The text is never resolved here: what it names is not
    // touched. Unsupported by default.
    virtual TKNSideResult MakeLink(const TKNSidePath& path, const std::string& target, const TKNWriteTerms& terms);

    // The hash functions the side computes where its files are ("sha256", "sha1", "md5",
    // "crc32"), best first; none by default (a local side: reading is as cheap as hashing). The
    // file about to be compared is given, for a server whose commands must be tried on a file.
    virtual std::vector<std::string> Hashes(const TKNSidePath&) { return {}; }
    // The lower-case hex digest of the file by `function`, one of Hashes.
    virtual TKNSideResult Hash(const TKNSidePath&, const std::string& function, std::string& hex);
};

}  // namespace kn
