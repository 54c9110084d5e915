// The comparison engine: file records and result rows, the scan list of one side with its
// filters, the abstract scan provider, and TKNFileCompare, which scans two folder trees at once
// on worker threads, pairs the two sorted lists and keeps the rows that differ.
//
// Threads: a comparison runs one compare thread, which runs one scan thread per side and waits
// for both. Every event is raised on the main thread: through vex::Synchronize while the worker
// waits, except the progress reports, which go as `ProgressDelivery` says; the main thread must
// therefore serve the hand-over queue (its event loop, or Compare(true), which waits while
// serving it). Stop flags are atomic; nothing else is shared.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/kn_unitCompareOptions.h"
#include "engine/kn_unitSideRegistry.h"
#include "framework/vex_unitDateTime.h"
#include "framework/vex_unitThreads.h"

namespace kn {

// An immutable text shared by reference. All records of one listed folder point at one copy of
// its path, which keeps a scan list of many small files lean. Copies share the text.
class TKNSharedText {
public:
    TKNSharedText() = default;
    TKNSharedText(std::string text) : text_(std::make_shared<const std::string>(std::move(text))) {}
    TKNSharedText(const char* text) : TKNSharedText(std::string(text)) {}

    const std::string& str() const { return text_ ? *text_ : Empty(); }
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }
    const char* c_str() const { return str().c_str(); }
    std::size_t size() const { return str().size(); }
    bool empty() const { return str().empty(); }
    // True when both refer to the very same text (then they are certainly equal).
    bool SameText(const TKNSharedText& other) const { return text_ == other.text_; }

    friend bool operator==(const TKNSharedText& a, std::string_view b) { return a.str() == b; }

    // The empty text all empty shared texts refer to.
    static const std::string& Empty();

private:
    std::shared_ptr<const std::string> text_;
};

// Result statuses of a pair: which side is newer (or the only one), or Differ for a pair
// whose sizes or attributes differ at the same time.
enum class TKNStatus : uint8_t { Left = 0, Right = 1, Differ = 2 };

// What links make of a record: the text of a link kept as a link, or, for an entry reached
// through a followed link, where its bytes are (TKNFileRec::ReadFrom).
struct TKNRecLinks {
    std::string Target;
    std::string ReadFrom;
};

// One scanned file or folder. A file: `Path` is the folder holding it, `Name` its name. A
// folder: `Path` is the folder itself, `Name` is empty. `Attr` holds the low 8 attribute bits.
struct TKNFileRec {
    TKNSharedText Path;
    std::string Name;
    int64_t Size = 0;
    vex::TDateTime Time = vex::kNoTime;  // local time, 2-second resolution for local entries
    uint32_t Attr = 0;
    // A symbolic link kept as a link (TKNLinkPolicy::Copy): an entry like a file, its Size the
    // length of its text, its time its own; LinkTarget() holds the text.
    bool Link = false;
    // False for a server entry listed without its permissions: its attribute key is unknown.
    bool AttrKnown = true;
    // The seconds to which Time is known: 2 for a local entry (a DOS time), 1 for an exact
    // server time, 60 or 86400 for an FTP listing that shows minutes or only the day.
    uint32_t TimeStep = 2;
    // As the side tells them: the exact time (UTC seconds), the permission bits and owner
    // (ModeKnown) and the inode (0 where the side has none). A copy takes its modes from them,
    // and the update checks the entry against them before it replaces or removes it.
    int64_t MTime = 0;
    int32_t MTimeNsec = 0;
    uint32_t Mode = 0;
    uint32_t Uid = 0;
    bool ModeKnown = false;
    uint64_t Inode = 0;
    // The file's device and its number of names, where the side has inodes: names of one file
    // are copied as names of one file where the written side can hold them.
    uint64_t Device = 0;
    uint32_t HardLinks = 1;
    // The change time where the side tells it (0 elsewhere): a two-way state keeps it.
    int64_t CTime = 0;
    int32_t CTimeNsec = 0;
    // The texts of links, shared by copies of the record; null for almost every entry.
    std::shared_ptr<const TKNRecLinks> Links;

    bool IsFolder() const { return (Attr & faDirectory) != 0; }
    // The text of a link kept as a link; empty otherwise.
    const std::string& LinkTarget() const;
    // Where an entry reached through a followed link is read (its path below the root, "/"
    // joined); empty for an entry read where it is listed.
    const std::string& ReadFrom() const;
};

// The time an entry has, to the second, in the scan's local time: what the list and every
// listing show. `Time` may be cut to even seconds for the comparison's two-second tolerance;
// the second the cut dropped is put back from the exact time (UTC offsets are whole minutes,
// so the local time's second has the parity of the Unix time's).
vex::TDateTime ShownTime(const TKNFileRec& rec);

// One pair that differs. An absent side is a default record (empty, Time -1.0).
struct TMyFileOpt {
    TKNFileRec Left;
    TKNFileRec Right;
    TKNStatus Status = TKNStatus::Left;
    int32_t LeftImage = -2;  // -2: not looked up yet
    int32_t RightImage = -2;
    // The pair is, or lies beneath, a folder that one of the sides could not list (or lies
    // beneath a link to a folder, which is never entered): what the other side has there
    // cannot be judged, so no update writes or deletes anything for it.
    bool Unlisted = false;
    // The two files hold the same bytes and only their times differ (Status names the newer
    // side): an update sets the written side's time to the source's instead of copying.
    bool ContentEqual = false;
    // The two files were compared by content and differ: a forced update copies such a pair
    // of equal size, as it copies one whose sizes differ.
    bool ContentDiffers = false;
};

// The folder, one "/" unless the folder already ends in one, then the name without one leading
// and one trailing "/".
std::string PathJoin(std::string_view folder, std::string_view name);

// True for a folder text on a server (the registry's answer, engine/kn_unitSideRegistry.h, which
// also hides the passwords of locations in texts: HideLocationPasswords).
bool IsRemotePath(std::string_view text);

// Wildcard match: "*" any run of characters, "?" any one character, others equal after ASCII
// upper-casing. A remaining pattern of exactly "*" or "*.*" matches whatever text remains; an
// exhausted text matches only an exhausted pattern.
bool MatchWildcard(std::string_view text, std::string_view pattern);

// The order of names and relative paths for sorting and pairing: byte for byte, a prefix first.
// This file system is case-sensitive, so no folding; this is the one place to change that.
int CompareEntryText(std::string_view a, std::string_view b);

// Splits a filter text at ";" into upper-cased patterns, dropping empty pieces and pieces equal
// (ignoring ASCII case) to an earlier one. Blanks are kept.
std::vector<std::string> ParseFilter(std::string_view text);

// How two file times compare: 1 when `left` is later, -1 when earlier, 0 when they are equal
// or differ by exactly 1 to `ignoreHours` whole hours, give or take a second (a time zone or
// daylight-saving shift). Both times are first cut to `step` seconds (a listing that shows
// minutes has step 60). Example: 10:00:00 and 12:00:00 with ignoreHours 2 give 0, with 1
// give -1.
int CompareFileTimes(vex::TDateTime left, vex::TDateTime right, int ignoreHours, int64_t step = 1);

enum class TKNContentResult : uint8_t;
class TKNContentSide;

// The row of a pair of equal-size files once their contents are compared, from the outcome,
// the time order (CompareFileTimes) and whether the attribute keys differ; false when the pair
// gets no row. Equal contents give no row unless the attributes differ (TKNStatus::Differ) or, with
// `keepTimeOnly`, the times differ (the time order's status, `contentEqual` set). Different or
// unreadable contents give the time order's status, TKNStatus::Differ for equal times. A special file
// keeps the time rule.
bool ContentRowStatus(TKNContentResult result, int timeOrder, bool attrDiffer, bool keepTimeOnly, TKNStatus& status,
                      bool& contentEqual);
struct TKNUpdateOutcome;
class TKNSide;
struct TKNSideCaps;
struct TKNSideContext;
struct TKNOpEvent;
using TKNOperationEvent = std::function<void(void* Sender, const TKNOpEvent& Event)>;

using TKNNotifyEvent = std::function<void(void* Sender)>;
using TKNProgressEvent = std::function<void(void* Sender, uint8_t State, const std::string& Path)>;

// One kind of side (local folder, FTP folder): lists one folder at a time and hands out
// records, which belong to the caller; a record the caller hands back to FindNext may be
// filled anew. The virtual operations keep this order.
// A folder a scan could not list, and why.
struct TKNUnlistedFolder {
    std::string Path;
    std::string Reason;
};

class TKNScanProvider {
public:
    virtual ~TKNScanProvider() = default;

    virtual void Close() = 0;
    // Forgets what earlier scans learned of the tree (the folders reached through followed
    // links): the next scan is a new one, not a refresh.
    virtual void StartOver() {}
    // False when the side cannot be reached; the scan then ends empty.
    virtual bool Open(const std::string& Root) = 0;
    virtual void FindClose() = 0;
    // Begins listing `Folder`; entries whose hidden, system or folder bit `AttrMask` lacks are
    // skipped. True with the first entry's record, false when nothing can be listed.
    virtual bool FindFirst(const std::string& Folder, uint32_t AttrMask, std::unique_ptr<TKNFileRec>& Rec) = 0;
    virtual bool FindNext(std::unique_ptr<TKNFileRec>& Rec) = 0;
    // Folders about to be listed (FindFirst) one after the other: a provider may list them all
    // at once now, so that a server overlaps their round trips, and answer FindFirst for each
    // from what it got. Folders never asked for are simply dropped. By default nothing.
    virtual void ListAhead(const std::vector<std::string>& /*Folders*/) {}
    // True when listing ahead saves time; a walk of the tree then lists a folder's folders so.
    virtual bool ListsAheadFaster() const { return false; }
    // What the side listed can do, as it told at the end of the last scan; null where the
    // provider has no side.
    virtual const TKNSideCaps* SideCaps() const { return nullptr; }
    // What the root is, as the side told at Open (TKNSide::Identity); empty where not known.
    virtual std::string SideIdentity() const { return {}; }
    // The value pairing compares to find attribute differences.
    virtual int32_t AttrKey(const TKNFileRec& Rec) = 0;
    // The local file of an entry of a local side; throws for an entry on a server.
    virtual std::string LocalFileName(const TKNFileRec& Rec) = 0;
    // The keys pairing and rows use. GetPath starts with the side's root folder exactly; both
    // return references into the record (or into the provider) that stay valid with it.
    virtual const TKNSharedText& GetPath(const TKNFileRec& Rec) = 0;
    virtual const std::string& GetName(const TKNFileRec& Rec) = 0;
    // Index of the entry's small icon in the program's image list, or -1.
    virtual int IconIndex(const TKNFileRec& Rec) = 0;
    // A new access to the side's file contents (see kn_unitCompareContent.h) for one reader
    // thread of a content comparison under the side's root `Root`. Called from several threads
    // at once; the access is used by its thread alone. The base gives none: the pairs of such
    // a side are listed as not compared.
    virtual std::unique_ptr<TKNContentSide> OpenContentSide(const std::string& Root);

    // Why the last Open, FindFirst or FindNext could not list (empty when it could). A false
    // FindFirst with an empty ListError is an empty folder; with a text, a folder whose content
    // is unknown, which must never be taken as empty.
    std::string ListError;
    // The kind of ListError where a side gave it (Untrusted: a recorded trust mends it).
    TKNSideError ListErrorKind = TKNSideError::None;
    // The kind of the last failure: None without one, Other for one that no side classed.
    TKNSideError ListFailure() const
    {
        if (ListError.empty()) return TKNSideError::None;
        return ListErrorKind == TKNSideError::None ? TKNSideError::Other : ListErrorKind;
    }
    // Full paths of the program's own temporary files that the listings since Open skipped as
    // left-overs of a run that is over: no run in progress holds their tag's lock
    // (kn_unitRunLock.h). No temporary is ever listed as an entry.
    std::vector<std::string> StaleTempFiles;
    // What a scan does with links (set by the scan list before Open), and the links the
    // listings since Open left out under it (following: out of the root, nowhere, a loop).
    TKNLinkPolicy Links = TKNLinkPolicy::Copy;
    std::vector<TKNUnlistedFolder> LinksLeftOut;
    // Set when the side could not show names beginning with "." (a server that hides them): what
    // it has under such names is unknown, as beneath a folder it could not list.
    bool DotEntriesUnknown = false;
    // Set by the scan list while it scans: a provider that waits on a network checks it and
    // gives up the listing in work soon after it turns true.
    const std::atomic<bool>* StopFlag = nullptr;

    // The icon lookup the windows install (text = a full name or "*.ext"); unset, IconIndex
    // gives -1. The engine knows no icons itself.
    using TIconLookup = std::function<int(const std::string& text, bool isFolder)>;
    static void SetIconLookup(TIconLookup lookup);
    static int LookupIcon(const std::string& text, bool isFolder);
};

// An end date this many days or more after today is no limit: the default end date is made
// 100 years after the day the options were, so every such date stands for "no end".
constexpr double kOpenEndDateDays = 18262.0;

// The scan list of one side: the accepted records and the settings of one scan. The list owns
// its records, which stay where they are until Clear; they are sorted by the provider's path
// and name after a completed scan.
class TKNFileBuffer {
public:
    TKNFileBuffer();
    ~TKNFileBuffer();
    TKNFileBuffer(const TKNFileBuffer&) = delete;
    TKNFileBuffer& operator=(const TKNFileBuffer&) = delete;

    std::vector<TKNFileRec*> Items;

    uint32_t AttrMask = AttributeSetToMask(kDefaultAttributeSet);
    uint32_t ExcludeAttrMask = 0;
    vex::TDateTime BeginDate = vex::kNoTime;
    std::string Folder;  // root of the side, without a trailing separator
    vex::TDateTime EndDate;
    std::vector<std::string> ExcludeList;
    std::vector<std::string> IncludeList{"*.*"};
    int64_t MaxSize = -1;
    int64_t MinSize = 0;
    bool Recursive = true;
    std::atomic<uint8_t> State{0};  // 0 idle, 1 searching, 2 sorting
    std::atomic<bool> Stop{false};
    TKNProgressEvent OnProgress;  // raised on the main thread
    // How OnProgress reaches the main thread; the engine sets it from its own.
    vex::TDelivery ProgressDelivery = vex::TDelivery::Synchronized;
    std::unique_ptr<TKNScanProvider> Provider;
    // Why the last scan failed (the root could not be listed, or an unexpected error); empty
    // if it did not. A failed scan leaves the list empty.
    std::string ErrorText;
    // The kind of ErrorText (as TKNScanProvider::ListErrorKind).
    TKNSideError ErrorKind = TKNSideError::None;
    // The folders below the root the last scan could not list; their content is unknown.
    std::vector<TKNUnlistedFolder> UnlistedFolders;
    // The program's left-over temporary files the last scan found (see TKNScanProvider).
    std::vector<std::string> StaleTempFiles;
    // What the scan does with links, and the links it left out (full paths, and why): a two-way
    // run keeps them in LeftOut too.
    TKNLinkPolicy Links = TKNLinkPolicy::Copy;
    std::vector<TKNUnlistedFolder> LinksLeftOut;
    // Set for a two-way run: the full paths of the entries the last scan's filters left out
    // are kept in LeftOut, since what lies there must never be taken as deleted.
    bool KeepLeftOut = false;
    std::vector<std::string> LeftOut;

    void SetAttributes(uint8_t set) { AttrMask = AttributeSetToMask(set); }
    void SetExcludeAttributes(uint8_t set) { ExcludeAttrMask = AttributeSetToMask(set); }
    void SetFilter(std::string_view text) { IncludeList = ParseFilter(text); }
    void SetExcludeFilter(std::string_view text) { ExcludeList = ParseFilter(text); }
    // Makes the provider for the text (of any kind) and takes it, less the location's options
    // (an FTP server's ";tz=", handed to the provider's Open) and one trailing separator, as `Folder`.
    // Settings change only while no scan runs.
    void SetFolder(std::string_view text);
    // The folder as it was given, less one trailing separator: with its options, as it is shown.
    std::string Location() const { return Folder + options_; }
    // True for a side on a server.
    bool IsRemote() const { return remote_; }
    bool MatchName(std::string_view text) const;
    // The four tests of a listed record: name, time, size, attributes.
    bool Accepts(const TKNFileRec& rec) const;
    void Clear();

    // Clears the list and starts the scan thread. The future is ready once the thread has
    // made its final report, also when it ended before anyone waits.
    std::shared_future<void> StartScan();
    // Starts a scan of `folders` only: full paths in CompareEntryText order, the root and, with
    // each folder, the folder above it. Each is listed alone, without its sub-folders, when the
    // fresh listing of the folder above shows it here. What the last scan knew of the other
    // folders stays: the folders it could not list, the left-over temporary files and the
    // count of entries. A folder that cannot be listed now ends the scan with RefreshFailed.
    std::shared_future<void> StartRefresh(std::vector<std::string> folders);
    // Set when the last StartRefresh met a folder it could not list: only a whole scan can say
    // what is there.
    bool RefreshFailed = false;
    // The entries the scans accepted in the whole tree (the last whole scan, corrected by the
    // refreshes since).
    int64_t Entries() const { return entries_; }
    // The settings that decide what a scan accepts, as one text: two scans with equal texts
    // judge the same entries alike.
    std::string ScanSettings() const;
    void StopScan() { Stop = true; }
    // Waits for the scan thread to end (serving the hand-over queue on the main thread).
    void WaitScan();

private:
    std::shared_future<void> Launch();
    void RunScan();
    void ScanRoot();
    void WalkFolder(const std::string& folder);
    // Lists one folder into Items and its folders to enter into `subFolders`; false when it
    // could not be listed (recorded as the scan's error at the root, else as unlisted).
    bool ListFolder(const std::string& folder, std::vector<std::string>& subFolders);
    void RefreshFolders();
    void SetCount(const std::string& folder, int64_t count);
    // The folder and those below it are gone from this side.
    void Forget(const std::string& folder);
    void Offer(TKNFileRec& rec, std::vector<std::string>& subFolders);
    TKNFileRec* Keep(TKNFileRec&& rec);
    bool IsBackupFolder(const TKNFileRec& rec) const;
    void FindBackupHome();
    void SortItems();
    std::vector<uint32_t> RankPaths(TKNScanProvider& provider, uint32_t& count) const;
    void ReportProgress();

    bool openEnd_ = false;    // EndDate is no limit (see kOpenEndDateDays), taken at scan start
    std::string backupHome_;  // where this side's tree holds the program's backup folders, if it does
    bool remote_ = false;
    std::string options_;      // the location's options, opened with the root
    std::string currentPath_;  // the folder being listed, carried by progress reports
    // A refresh in work (StartRefresh) and its folders.
    bool refreshing_ = false;
    std::vector<std::string> refreshFolders_;
    // The accepted entries of each folder the scans listed, and their sum.
    std::map<std::string, int64_t> listedCounts_;
    int64_t entries_ = 0;
    // The records of Items, in blocks: one allocation per block rather than one per entry.
    std::vector<std::unique_ptr<TKNFileRec[]>> blocks_;
    std::size_t blockUsed_ = 0;  // records taken from the last block
    std::thread thread_;
    std::shared_future<void> done_;
};

// The comparison engine. Owns both scan lists and the result rows (`Items`), which the main
// thread may read only while `State` is 0.
class TKNFileCompare {
public:
    TKNFileCompare();
    ~TKNFileCompare();
    TKNFileCompare(const TKNFileCompare&) = delete;
    TKNFileCompare& operator=(const TKNFileCompare&) = delete;

    std::vector<std::unique_ptr<TMyFileOpt>> Items;
    TKNFileBuffer LeftList;
    TKNFileBuffer RightList;
    int LeftRootLen = 0;
    int RightRootLen = 0;
    std::atomic<uint8_t> State{0};  // 0 idle, 1 comparing, 3 pairing, 4 updating
    std::atomic<int> Stop{0};       // -1 once a stop is requested
    // Operations an update carries out at once, each worker with its own pair of sides (one
    // connection each on a server): 1..kMaxTransfers. A server that takes fewer connections
    // makes the run use fewer.
    int Transfers = kDefaultTransfers;
    // The bytes per second all workers of an update move together, reads and writes; 0: no limit.
    int64_t BandwidthLimit = 0;
    bool CompareAfterUpdate = true;
    // Pairs of equal-size files are compared by content (on ContentReaders threads), whatever
    // their times; see ContentRowStatus for the rows they get.
    bool CompareContent = false;
    int ContentReaders = 4;
    // Keeps the rows of content-equal pairs whose times differ (marked ContentEqual) among
    // Items; otherwise they go to TimeOnlyItems.
    bool KeepContentEqualRows = false;
    // The content-equal pairs whose times differ, when KeepContentEqualRows is off: they are
    // no differences, so no rows, yet an update of the whole result sets their times. An
    // update addresses them by the positions after Items (see RowAt).
    std::vector<std::unique_ptr<TMyFileOpt>> TimeOnlyItems;
    // The row at `index` of Items followed by TimeOnlyItems; null outside both.
    const TMyFileOpt* RowAt(int index) const;
    // Whole-hour time shifts up to this many hours count as equal times (0..24).
    int IgnoreHours = 0;
    // Why pairs of the last comparison could not be compared by content (they are listed).
    std::vector<std::string> ContentNotes;
    // How the progress reports (OnProgress while scanning, OnUpdateProgress, OnFileProgress)
    // reach the main thread: synchronised (the worker waits), queued (in order, every one) or
    // newest only (a window that shows them). Start, end and error events always wait.
    vex::TDelivery ProgressDelivery = vex::TDelivery::Synchronized;
    // Why the last comparison ended early through an error; empty otherwise.
    std::string ErrorText;
    // Its kind: Untrusted when a server is not trusted yet, which recording it mends
    // (engine/kn_unitServerTrust.h); Other for a failure that no side classed; None without one.
    TKNSideError ErrorKind = TKNSideError::None;
    // How many folders the last comparison could not list on either side, and which (left
    // side's first). Rows at or beneath them are marked Unlisted.
    std::size_t UnlistedCount() const { return LeftList.UnlistedFolders.size() + RightList.UnlistedFolders.size(); }
    std::vector<TKNUnlistedFolder> UnlistedFolders() const;
    // The links both sides' scans left out for a reason (following them: out of the root, a
    // loop), each with its reason; those Skip leaves out are not told.
    std::vector<TKNUnlistedFolder> LinksLeftOut() const;
    // How many entries each side's scan accepted in the last comparison (rows hold only the
    // pairs that differ); the mass-deletion guard weighs a plan against them.
    int64_t LeftEntries = 0;
    int64_t RightEntries = 0;

    TKNNotifyEvent OnCompareStart;
    TKNNotifyEvent OnCompareDone;
    TKNProgressEvent OnProgress;
    std::function<void(void* Sender, const std::string& Text, int Position)> OnUpdateProgress;
    std::function<void(void* Sender, const std::string& Text, int64_t Maximum, int64_t Position)> OnFileProgress;
    std::function<void(void* Sender, const std::string& Message)> OnError;
    // A remark on an update that is no failure (each text at most once per run).
    std::function<void(void* Sender, const std::string& Text)> OnNotice;
    TKNNotifyEvent OnUpdateStart;
    TKNNotifyEvent OnUpdateDone;
    // Every operation an update plans (a dry run) or carries out, in order, queued to the main
    // thread without making the worker wait (engine/kn_unitUpdateEvent.h).
    TKNOperationEvent OnOperation;

    void SetAttributes(uint8_t set);
    void SetExcludeAttributes(uint8_t set);
    void SetFilter(std::string_view text);
    void SetExcludeFilter(std::string_view text);
    void SetBeginDate(vex::TDateTime date);
    void SetEndDate(vex::TDateTime date);
    void SetMinSize(int64_t size);
    void SetMaxSize(int64_t size);
    void SetRecursive(bool recursive);
    void SetLinks(TKNLinkPolicy links);
    void SetLeftFolder(std::string_view text);
    void SetRightFolder(std::string_view text);
    const std::string& GetLeftFolder() const { return LeftList.Folder; }
    const std::string& GetRightFolder() const { return RightList.Folder; }
    // Hands an options record to both lists (folders, filters, attributes, dates, sizes,
    // recursion) and takes its transfers, content and time-shift settings.
    void ApplyOptions(const TKNOptionsRec& options);

    // Starts a comparison. Call it on the main thread while State is 0 (or from the end of an
    // update, which hands State over), never from inside one of this engine's events. With
    // `Wait` it returns when State is 0 again, serving the hand-over queue meanwhile.
    void Compare(bool Wait);
    void StopCompare();
    void Clear();
    // Waits, serving the hand-over queue, until State is 0.
    void WaitIdle();

    // Carries out the rows `Indexes` (positions as RowAt takes them, handled in this order) on the update
    // thread (main thread only; ignored unless State is 0): Direction is an action (TKNAction::LeftToRight,
    // TKNAction::RightToLeft, TKNAction::Auto); Force also overwrites newer files, deletes entries that only the
    // written side has and applies attributes; Backup keeps what is overwritten or deleted. The run ends with a new
    // comparison when CompareAfterUpdate is set. With `Wait` it returns when State is 0 again, serving the hand-over
    // queue meanwhile.
    void Update(TKNAction Direction, bool Force, const std::vector<int>& Indexes, bool Wait, bool AfterUpdate,
                bool Backup);
    // When set, an update reports every operation it would do and carries out none: each one
    // reaches OnDryRunOperation (on the main thread) with what it would do, e.g.
    // "copy /a/x.txt -> /b/x.txt" or "delete /b/y.txt".
    bool UpdateDryRun = false;
    std::function<void(void* Sender, const std::string& Text)> OnDryRunOperation;
    // How an update's workers open their sides: the registry's OpenSide when empty. A test puts
    // a side of its own in between, e.g. one that refuses more connections than a server would.
    std::function<std::unique_ptr<TKNSide>(const std::string& location, const TKNSideContext& context)> OpenUpdateSide;
    // What the last update planned and did (engine/kn_unitUpdatePlan.h); complete from its
    // OnUpdateDone on, and reset when the next update starts.
    const TKNUpdateOutcome& LastUpdate() const { return *lastUpdate_; }
    // The tag of the run's lock (TKNRunLock::Tag), which the update's temporary files carry;
    // empty while no lock is held (the run layer, engine/kn_unitRun.h, sets it).
    std::string RunTag;
    // Set before Compare for a two-way run (engine/kn_unitTwoWayRun.h): the comparison plans it
    // from its listings and the state, and Update(TKNAction::TwoWay, ...) carries that plan out.
    std::shared_ptr<class TKNTwoWayRun> TwoWay;

private:
    void StartCompare();
    void RunCompare();
    bool ScanBothSides();
    // The comparison that follows an update (kn_unitCompareRefresh.cpp): lists again only the
    // `touched` folders (relative to the roots, "" the root: those whose listings the update's
    // operations changed) and those of the program's left-over temporary files, and keeps every
    // other row as it was; compares the whole trees where the kept rows cannot be trusted (other
    // settings, contents compared, a folder that cannot be listed now). It plans no two-way run:
    // the run it follows carried its plan out. Main thread, State 0, like Compare.
    void CompareAfter(std::vector<std::string> touched);
    bool RefreshBothSides();
    void MergeKeptRows();
    // The folder, relative to its root ("" the root), whose listing holds the row's entry.
    std::string ListedIn(const TMyFileOpt& row) const;
    // The scan settings of both sides and the pairing's own, as one text.
    std::string ScanSettings() const;
    void Pair();
    void CollectUnentered();
    bool LiesUnentered(const TKNFileRec& rec, bool left) const;
    // A side could not show names beginning with ".": rows under such names are unknown there.
    bool HidesDotNames() const;
    void AddRow(const TKNFileRec* left, const TKNFileRec* right, TKNStatus status);
    void PairMatched(const TKNFileRec& left, const TKNFileRec& right);
    void DropFoldersNotKept(std::size_t first, const struct TKNPairCaps& caps);
    void CompareContents();
    void SettleContentRows(const std::vector<struct TKNContentJob>& jobs);
    void FinishCompare();
    void RaiseProgress(void* sender, uint8_t state, const std::string& path);

    // Relative paths pairing cannot judge: the folders a side could not list and the links a
    // side left out (rows at or beneath either are Unlisted).
    std::vector<std::string> unlistedPaths_, leftOutLinks_;
    // A pair waiting for its content comparison: its provisional row in Items.
    struct TContentPair {
        std::size_t Row;
        int TimeOrder;
        bool AttrDiffer;
    };
    std::vector<TContentPair> contentPairs_;
    // The comparison after an update: whether it lists only refreshFolders_ (relative, sorted),
    // the rows it started from, and the scan settings of the last completed comparison.
    bool refresh_ = false;
    bool afterRun_ = false;  // the comparison follows an update
    std::vector<std::string> refreshFolders_, keptLeftOutLinks_;
    std::vector<std::unique_ptr<TMyFileOpt>> refreshRows_;
    std::string comparedSettings_;
    std::thread compareThread_;
    std::shared_ptr<class TKNUpdateThread> updateThread_;  // joined when replaced or destroyed
    std::unique_ptr<TKNUpdateOutcome> lastUpdate_;
    // Locations an update found not to keep permission bits (set, read back, unchanged): their
    // side's attributes are no difference in later comparisons, which could not mend them.
    std::set<std::string> modesNotKept_;
    int64_t pairStep_ = 1;  // the coarser time step of the two sides, for the pairing
    bool KeepsModes(bool right) const;
    friend class TKNUpdateThread;
};

}  // namespace kn
