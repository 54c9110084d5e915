// The records of the configuration file "Kestrune.bin", version 8. The file is the 4096-byte
// header, then PresetCount presets (each a 2048-byte TKNOptionsRec with its Name filled), then
// BatchCount batches (4096-byte TKNBatchRec). The structs are copied to and from the file byte
// for byte: fields unaligned, integers little-endian, texts NUL-terminated 8-bit in zero-filled
// fields (write them with vex::SetField, read them with vex::GetField).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/kn_unitCompareOptions.h"

namespace kn {

static_assert(std::endian::native == std::endian::little, "the records are stored in host order");

constexpr uint16_t kConfigVersion = 8;
constexpr char kConfigMagic[] = "KESTRUNECFGFILE";
constexpr std::size_t kHeaderSize = 4096;
constexpr std::size_t kPresetSize = 2048;
constexpr std::size_t kBatchSize = 4096;
// A header write in normal mode stops here, before PresetCount.
constexpr std::size_t kHeaderNormalWriteSize = 2240;
constexpr int kMaxBatchEntries = 63;
// The counts in the header are 16-bit: no list may grow beyond this.
constexpr int kMaxListRecords = 65535;
// DiffSettings bits.
constexpr uint8_t kDiffIgnoreSpaceChange = 1;
constexpr uint8_t kDiffIgnoreAllSpace = 2;
constexpr uint8_t kDiffIgnoreCase = 4;
constexpr uint8_t kDiffIgnoreBlankLines = 8;
constexpr uint8_t kDiffIgnoreTrailingCR = 16;
constexpr uint8_t kDiffShowWhitespace = 32;
constexpr uint8_t kDiffIgnorePatternOn = 64;
// SortDirection values.
constexpr int32_t kSortAscending = 1;
constexpr int32_t kSortDescending = -1;

#pragma pack(push, 1)
struct TKNConfigHeader {
    char Magic[16];
    char TagText[16];
    uint16_t Version;
    char Password[17];  // scrambled (vex::ScramblePassword); empty = no password
    uint8_t Reserved51[13];
    int32_t WindowLeft;
    int32_t WindowTop;
    int32_t WindowWidth;
    int32_t WindowHeight;
    uint8_t WindowMaximized;
    // The differences window's size when it was last closed; 0 for none yet.
    int32_t DiffWindowWidth;
    int32_t DiffWindowHeight;
    uint8_t Reserved89[39];
    TKNOptionsRec CurrentOptions;  // Name empty
    int32_t SortColumn;
    int32_t SortDirection;  // 1 ascending; below 1 reads as descending
    uint8_t Reserved2184[56];
    uint16_t PresetCount;
    uint16_t BatchCount;
    uint8_t Reserved2244[28];
    uint8_t OtherUse[256];  // kept as read, never interpreted
    // The differences window's settings: kDiffIgnore* bits (0 in older files: nothing ignored)
    // and the -I expression, empty for none.
    uint8_t DiffSettings;
    char DiffIgnorePattern[31];
    uint8_t Reserved2560[1536];
};

struct TKNBatchEntry {
    char PresetName[32];
    TKNAction Action;
    uint8_t Force;  // 0/1
    uint8_t Unused[30];
};

struct TKNBatchRec {
    char Name[32];
    uint8_t EntryCount;  // entries in use; a damaged file may claim more than kMaxBatchEntries
    TKNBatchEntry Entries[kMaxBatchEntries];
    uint8_t Unused[31];
};
#pragma pack(pop)

static_assert(sizeof(TKNConfigHeader) == kHeaderSize);
static_assert(offsetof(TKNConfigHeader, Magic) == 0);
static_assert(offsetof(TKNConfigHeader, TagText) == 16);
static_assert(offsetof(TKNConfigHeader, Version) == 32);
static_assert(offsetof(TKNConfigHeader, Password) == 34);
static_assert(offsetof(TKNConfigHeader, Reserved51) == 51);
static_assert(offsetof(TKNConfigHeader, WindowLeft) == 64);
static_assert(offsetof(TKNConfigHeader, WindowTop) == 68);
static_assert(offsetof(TKNConfigHeader, WindowWidth) == 72);
static_assert(offsetof(TKNConfigHeader, WindowHeight) == 76);
static_assert(offsetof(TKNConfigHeader, WindowMaximized) == 80);
static_assert(offsetof(TKNConfigHeader, DiffWindowWidth) == 81);
static_assert(offsetof(TKNConfigHeader, DiffWindowHeight) == 85);
static_assert(offsetof(TKNConfigHeader, CurrentOptions) == 128);
static_assert(offsetof(TKNConfigHeader, SortColumn) == 2176);
static_assert(offsetof(TKNConfigHeader, SortDirection) == 2180);
static_assert(offsetof(TKNConfigHeader, PresetCount) == kHeaderNormalWriteSize);
static_assert(offsetof(TKNConfigHeader, BatchCount) == 2242);
static_assert(offsetof(TKNConfigHeader, OtherUse) == 2272);
static_assert(offsetof(TKNConfigHeader, DiffSettings) == 2528);
static_assert(offsetof(TKNConfigHeader, DiffIgnorePattern) == 2529);
static_assert(offsetof(TKNConfigHeader, Reserved2560) == 2560);

static_assert(sizeof(TKNBatchEntry) == 64);
static_assert(offsetof(TKNBatchEntry, Action) == 32);
static_assert(offsetof(TKNBatchEntry, Force) == 33);
static_assert(sizeof(TKNBatchRec) == kBatchSize);
static_assert(offsetof(TKNBatchRec, EntryCount) == 32);
static_assert(offsetof(TKNBatchRec, Entries) == 33);
static_assert(offsetof(TKNBatchRec, Unused) == 4065);
static_assert(sizeof(TKNOptionsRec) == kPresetSize);

// The desktop work area that a new configuration takes as the main window's placement.
// Programs without a screen use the fixed 0, 0, 1024, 768.
struct TKNWorkArea {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 1024;
    int32_t Height = 768;
};

// The header of a new configuration: magic, tag, version 8, the window placed on `area`,
// the default options with `homeFolder` as the left folder and no right folder, ascending sort
// on column 0.
TKNConfigHeader DefaultHeader(const TKNWorkArea& area, const char* homeFolder);

// SortDirection 1 is ascending; any value below 1 reads as descending.
inline bool SortAscending(const TKNConfigHeader& header)
{
    return header.SortDirection >= kSortAscending;
}

// Whether a password is set (the stored text is not empty).
inline bool HasPassword(const TKNConfigHeader& header)
{
    return header.Password[0] != 0;
}
// True when `input` is the password stored in `header` (an empty input passes when none is).
bool CheckHeaderPassword(const TKNConfigHeader& header, std::string_view input);
// Stores `plain` scrambled into the Password field; "" removes the password. False, and nothing
// changed, when `plain` is longer than 16 bytes or could never be confirmed
// (vex::IsStorablePassword). The field is written in memory only: WriteHeader puts it on disk.
bool StorePassword(TKNConfigHeader& header, std::string_view plain);

// Entries of `batch` that may be read: EntryCount, but never beyond the record.
int UsedEntries(const TKNBatchRec& batch);

// Appends an entry; false (nothing changed) when the batch already holds kMaxBatchEntries.
bool AddBatchEntry(TKNBatchRec& batch, std::string_view presetName, TKNAction action, bool force);

}  // namespace kn
