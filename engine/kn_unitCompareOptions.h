// The options record: the 2048-byte block that holds one set of comparison settings. The
// configuration file stores the current options and every preset byte for byte, so this layout
// is a file format: fields are unaligned, integers little-endian, texts NUL-terminated 8-bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/vex_unitDateTime.h"

namespace kn {

// The action of an update: one fixed direction, Auto (each differing entry from its newer
// side) or TwoWay (both sides brought in line against the state of their last synchronisation,
// engine/kn_unitTwoWayPlan.h). Stored records hold it as one byte, so a damaged file may hold
// any value there.
enum class TKNAction : uint8_t { LeftToRight = 0, RightToLeft = 1, Auto = 2, TwoWay = 3 };

// The action a stored byte or any outside value holds: 0..3 as they are; anything else reads as
// Auto, which never deletes, so a damaged record never turns into a destructive direction. E.g.
// StoredAction(3) == TwoWay, StoredAction(5) == Auto.
inline TKNAction StoredAction(int value)
{
    return value >= 0 && value <= 3 ? static_cast<TKNAction>(value) : TKNAction::Auto;
}

// The window's lists show the four actions by position (0..3, wrapping round): ActionOf(4) ==
// LeftToRight. Positions only; a stored value goes through StoredAction.
constexpr int kActionCount = 4;
inline TKNAction ActionOf(int position)
{
    return static_cast<TKNAction>(((position % kActionCount) + kActionCount) % kActionCount);
}
// The position of the action in the window's lists; an unknown value takes Auto's, so the
// window never shows it as a fixed direction.
inline int ActionIndex(TKNAction action)
{
    return static_cast<int>(StoredAction(static_cast<int>(action)));
}

// The action's caption: "Left to Right", "Right to Left", "Auto", "Two-way" (an unknown value
// reads as Auto, as StoredAction reads it).
const char* ActionCaption(TKNAction action);

// Attribute bits kept from a listing (see framework/vex_unitFileSystem for how they are derived).
constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faSysFile = 0x04;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;

// Attribute sets store bit k for attribute 2^k; bit 3 never reaches a mask.
constexpr uint8_t kDefaultAttributeSet = 0x37;
inline uint32_t AttributeSetToMask(uint8_t set)
{
    return set & 0x37u;
}

// Days added to today for the default upper date bound.
constexpr double kEndDateSpanDays = 36524.0;

#pragma pack(push, 1)
struct TKNOptionsRec {
    char Name[32];
    char LeftFolder[256];
    char RightFolder[256];
    TKNAction Action;
    char Filter[256];
    char ExcludeFilter[256];
    uint8_t Attributes;
    uint8_t ExcludeAttributes;
    double BeginDate;
    double EndDate;
    uint8_t Recursive;
    int64_t MinSize;
    int64_t MaxSize;
    uint8_t CheckFilter;
    uint8_t CheckAttr;
    uint8_t CheckDate;
    uint8_t CheckSize;
    // Earlier versions' "two workers for the files" switch; kept written (TransfersOf above 1)
    // so that they read a file of this version sensibly. Transfers below is what counts.
    uint8_t MultiThread;
    // Pairs of equal-size files are compared byte by byte (1) instead of trusting their times.
    uint8_t CompareContent;
    // Times that differ by exactly a whole number of hours up to this many (0..24) are equal.
    uint8_t IgnoreHours;
    // Operations carried out at once by an update, each worker with its own connections
    // (1..kMaxTransfers); 0, as records from before this setting hold, is kDefaultTransfers.
    uint8_t Transfers;
    // How a two-way run settles a conflict: a TKNConflictPolicy (engine/kn_unitTwoWayPlan.h),
    // read through StoredConflictPolicy. 0, as older records hold, is keep-both.
    uint8_t ConflictPolicy;
    // What a comparison and an update do with symbolic links: a TKNLinkPolicy, read through
    // LinkPolicyOf. 0, as older records hold, is copy.
    uint8_t Links;
    uint8_t Reserved[938];
    // The bytes per second all transfers of an update may move together; 0 (older records), or
    // below, is no limit. Read through BandwidthLimitOf.
    int64_t BandwidthLimit;
};
#pragma pack(pop)

static_assert(sizeof(TKNOptionsRec) == 2048);
static_assert(offsetof(TKNOptionsRec, Name) == 0);
static_assert(offsetof(TKNOptionsRec, LeftFolder) == 32);
static_assert(offsetof(TKNOptionsRec, RightFolder) == 288);
static_assert(offsetof(TKNOptionsRec, Action) == 544);
static_assert(offsetof(TKNOptionsRec, Filter) == 545);
static_assert(offsetof(TKNOptionsRec, ExcludeFilter) == 801);
static_assert(offsetof(TKNOptionsRec, Attributes) == 1057);
static_assert(offsetof(TKNOptionsRec, ExcludeAttributes) == 1058);
static_assert(offsetof(TKNOptionsRec, BeginDate) == 1059);
static_assert(offsetof(TKNOptionsRec, EndDate) == 1067);
static_assert(offsetof(TKNOptionsRec, Recursive) == 1075);
static_assert(offsetof(TKNOptionsRec, MinSize) == 1076);
static_assert(offsetof(TKNOptionsRec, MaxSize) == 1084);
static_assert(offsetof(TKNOptionsRec, CheckFilter) == 1092);
static_assert(offsetof(TKNOptionsRec, CheckAttr) == 1093);
static_assert(offsetof(TKNOptionsRec, CheckDate) == 1094);
static_assert(offsetof(TKNOptionsRec, CheckSize) == 1095);
static_assert(offsetof(TKNOptionsRec, MultiThread) == 1096);
static_assert(offsetof(TKNOptionsRec, CompareContent) == 1097);
static_assert(offsetof(TKNOptionsRec, IgnoreHours) == 1098);
static_assert(offsetof(TKNOptionsRec, Transfers) == 1099);
static_assert(offsetof(TKNOptionsRec, ConflictPolicy) == 1100);
static_assert(offsetof(TKNOptionsRec, Links) == 1101);
static_assert(offsetof(TKNOptionsRec, Reserved) == 1102);
static_assert(offsetof(TKNOptionsRec, BandwidthLimit) == 2040);

// What happens to a symbolic link. Copy: it is an entry of its own, compared by its text and
// made with the same text on the written side (left out with one notice where that side holds
// no links). Skip: links are left out. Follow: a link counts as what it leads to while that
// lies inside the root; one that leads out of it, nowhere or round in a loop is left out and
// reported. Whatever the policy, nothing is ever written through a link.
enum class TKNLinkPolicy : uint8_t { Copy = 0, Skip = 1, Follow = 2 };

// The policy a stored Links byte holds; an unknown value is Copy.
TKNLinkPolicy LinkPolicyOf(const TKNOptionsRec& rec);
// "copy", "skip", "follow"; LinkPolicyOfWord is false for any other word.
const char* LinkPolicyWord(TKNLinkPolicy policy);
bool LinkPolicyOfWord(const std::string& word, TKNLinkPolicy& policy);

// The largest whole-hour shift that can be ignored.
constexpr int kMaxIgnoreHours = 24;

// Workers of an update: by default, and at most.
constexpr int kDefaultTransfers = 4;
constexpr int kMaxTransfers = 16;

// The workers a stored Transfers byte asks for: 0 (a record from before the setting) is the
// default, anything above kMaxTransfers is kMaxTransfers. E.g. 0 -> 4, 1 -> 1, 200 -> 16.
int TransfersOf(uint8_t stored);
// Sets both bytes of `rec` for `transfers` workers (clamped to 1..kMaxTransfers).
void SetTransfers(TKNOptionsRec& rec, int transfers);
// The slowest bandwidth limit taken: a 1 MiB block then waits at most 64 s, within the idle
// time servers allow a connection.
constexpr int64_t kMinBandwidthLimit = 16 * 1024;
// The fastest limit the window offers, in KiB a second (1 GiB/s).
constexpr int kMaxBandwidthKiB = 1 << 20;
// The bytes per second `rec` limits an update to; 0 for none (also for a stored value below 0).
int64_t BandwidthLimitOf(const TKNOptionsRec& rec);

// A record as a new configuration sets it up: all zero, then the defaults. `homeFolder` takes
// the place of a drive root as both folders.
TKNOptionsRec DefaultOptions(const char* homeFolder);

}  // namespace kn
