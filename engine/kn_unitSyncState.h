// The state of the last synchronisation of a pair of roots: per relative path its kind and, per
// side, what that side held when both were last in line. Two-way runs (kn_unitTwoWayPlan.h)
// tell deletions from new entries, and edits on one side from edits on both, against it.
//
// It lives in one SQLite database in the program folder (vex::ProgramFolder), never inside a
// compared tree. A state is keyed by both roots (without passwords) and by the options that
// decide what is compared, so a state made for other roots or other filters is never used; a
// pair given the other way round reads its state with the sides exchanged. The whole state of a
// pair is read with one query and written in one transaction; the database runs in WAL mode
// with synchronous=FULL, so a committed write survives a crash or a power cut.
//
// Errors: every operation returns false with a message in `error` (it names the database file);
// nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/kn_unitCompareOptions.h"
#include "side/kn_unitSide.h"

namespace kn {

// One side of an entry: as it was when both sides were last in line, or as a listing gives it.
struct TKNSideFacts {
    int64_t Size = 0;
    int64_t MTime = 0;       // UTC seconds
    int32_t MTimeNsec = -1;  // and nanoseconds, where the side lists them; -1 not known
    uint32_t TimeStep = 1;   // the seconds to which MTime is known on this side
    uint32_t Mode = 0;       // permission bits, valid when ModeKnown
    bool ModeKnown = false;
    uint32_t Attr = 0;   // the attribute bits the comparison keeps
    uint64_t Inode = 0;  // 0 where the side has none
    // The change time where the side tells it (0 elsewhere): any write or status change moves it.
    int64_t CTime = 0;
    int32_t CTimeNsec = 0;
    std::string Hash;  // the content hash (SHA-256 hex) when one was read or copied; empty otherwise

    friend bool operator==(const TKNSideFacts&, const TKNSideFacts&) = default;
};

// One path of a state: relative to both roots, components joined by "/" (TKNSidePath::Text).
struct TKNStateEntry {
    std::string Path;
    TKNEntryKind Kind = TKNEntryKind::File;
    TKNSideFacts Left;
    TKNSideFacts Right;

    friend bool operator==(const TKNStateEntry&, const TKNStateEntry&) = default;
};

// What a state belongs to.
struct TKNStateKey {
    // The left root: what it is (TKNRootIdentity::Key), or as shown (no password, no trailing
    // separator) where that is not known.
    std::string Left;
    std::string Right;    // the same for the right root
    std::string Options;  // the options that decide what is compared, as text (StateOptionsText)
    // Where the roots are (a local folder's canonical path): a folder made anew at the same
    // place (a disk mounted again, a tree restored) finds its pair's state by it. Empty: not
    // known.
    std::string LeftPlace, RightPlace;

    friend bool operator==(const TKNStateKey&, const TKNStateKey&) = default;
};

// The options of `options` that decide which entries are compared and how, one "name=value" a
// line, as the comparison applies them (a filter that is switched off counts as none, an open
// end date as no end): filters, attribute sets, dates, sizes, recursion, content, hour shifts.
std::string StateOptionsText(const TKNOptionsRec& options);

// The key of the pair `left`/`right` (locations as given, their options included) under
// `options`. A root is kept without its trailing "/" and a server location without its
// password, as HideLocationPasswords shows it: "scheme://u:pw@h/x/" is keyed as "scheme://u@h/x".
TKNStateKey StateKeyOf(std::string_view left, std::string_view right, const TKNOptionsRec& options);

// How the state found for a key relates to it.
enum class TKNStateMatch : uint8_t {
    None,          // no state for these roots: a first run
    Same,          // the state of these roots under these options
    Swapped,       // the state of the same roots given the other way round (sides exchanged on reading)
    OtherOptions,  // only states of these roots under other options: not used, a first run
};

// The state database's file in the program folder.
std::string DefaultStateFile();

// Why `stateFile` must not be used with the local root `root`: it would lie inside the tree
// (its writes would show as changes there, and a synchronisation would copy it); empty when it
// may be used or `root` is not local.
std::string StateFileProblem(const std::string& stateFile, const std::string& root);

class TKNSyncState {
public:
    TKNSyncState();
    ~TKNSyncState();
    TKNSyncState(const TKNSyncState&) = delete;
    TKNSyncState& operator=(const TKNSyncState&) = delete;

    // Opens the database at `file`, creating it (mode 0600) and its tables when missing.
    bool Open(const std::string& file, std::string& error);
    void Close();

    // Reads the whole state of `key` in one query, sorted by path (byte order, as
    // CompareEntryText sorts). With Swapped the sides come exchanged; with None and OtherOptions
    // `entries` is empty. Where `key`'s roots have no state, one kept for folders at the same
    // places (key's LeftPlace and RightPlace), or else under `former`'s roots (the same pair
    // under the names it was kept by before, their texts), becomes theirs first.
    bool Load(const TKNStateKey& key, TKNStateMatch& match, std::vector<TKNStateEntry>& entries, std::string& error,
              const TKNStateKey* former = nullptr);
    // Records `records` (replacing what a path held) and forgets `forget` (each path and every
    // path beneath it) for `key`, in one transaction: after each completed operation of a run,
    // or in batches of them. A state kept for the pair the other way round becomes this key's
    // (its sides exchanged) first, so nothing of it is lost.
    bool Apply(const TKNStateKey& key, const std::vector<TKNStateEntry>& records,
               const std::vector<std::string>& forget, std::string& error);

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

}  // namespace kn
