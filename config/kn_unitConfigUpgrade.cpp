// Upgrade chain of the configuration file. Each step turns the layout of version N into that of
// version N+1; a file of version N runs every step from N on. The older layouts:
//   1, 2: a 2180-byte header (window values at 64-80, the 1075-byte options form at 81-1155,
//         from version 2 the sort column and direction at 1156-1163), then 1075-byte presets
//         up to the end of the file.
//   3:    the 4096-byte header and 2048-byte presets up to the end of the file, no counts.
//   4-7:  the current header with counts; options and batches in the version-7 forms until 8.
#include "config/kn_unitConfigUpgrade.h"

#include <algorithm>
#include <cstring>

namespace kn {

namespace {

constexpr std::size_t kVersionAt = offsetof(TKNConfigHeader, Version);
constexpr std::size_t kOptionsAt = offsetof(TKNConfigHeader, CurrentOptions);
constexpr std::size_t kPresetCountAt = offsetof(TKNConfigHeader, PresetCount);
constexpr std::size_t kBatchCountAt = offsetof(TKNConfigHeader, BatchCount);
constexpr std::size_t kCheckedSize = 64;

constexpr std::size_t kOldHeaderSize = 2180;
constexpr std::size_t kOldOptionsSize = 1075;
constexpr std::size_t kOldWindowAt = 64;
constexpr std::size_t kOldWindowSize = 17;
constexpr std::size_t kOldOptionsAt = 81;
constexpr std::size_t kOldSortAt = 1156;
constexpr std::size_t kSortSize = 8;
// Check flags (attributes, date, size) of the options form of versions 3 to 7.
constexpr std::size_t kOldCheckFlagsAt = 1091;

using Bytes = std::vector<uint8_t>;

template <class T>
void Put(uint8_t* at, T value)
{
    std::memcpy(at, &value, sizeof value);
}

template <class T>
T Get(const uint8_t* at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void SetVersion(Bytes& b, uint16_t version)
{
    Put<uint16_t>(b.data() + kVersionAt, version);
}

// The 1075-byte options form with the two size limits (0, no maximum) appended.
void WidenOptions1075(const uint8_t* old, uint8_t* out2048)
{
    std::memset(out2048, 0, kPresetSize);
    std::memcpy(out2048, old, kOldOptionsSize);
    Put<int64_t>(out2048 + kOldOptionsSize, 0);
    Put<int64_t>(out2048 + kOldOptionsSize + 8, -1);
}

void SetCheckFlags(uint8_t* options)
{
    std::fill(options + kOldCheckFlagsAt, options + kOldCheckFlagsAt + 3, uint8_t{1});
}

bool Step1To2(Bytes& b)
{
    if (b.size() < kOldHeaderSize) return false;
    SetVersion(b, 2);
    Put<int32_t>(b.data() + kOldSortAt, 0);
    Put<int32_t>(b.data() + kOldSortAt + 4, kSortAscending);
    return true;
}

bool Step2To3(Bytes& b)
{
    if (b.size() < kOldHeaderSize) return false;
    // The counts are 16-bit: the next step keeps no more presets than this anyway.
    std::size_t presets = std::min<std::size_t>((b.size() - kOldHeaderSize) / kOldOptionsSize, kMaxListRecords);
    Bytes out(kHeaderSize + presets * kPresetSize, 0);
    std::memcpy(out.data(), b.data(), kCheckedSize);
    std::memcpy(out.data() + kOldWindowAt, b.data() + kOldWindowAt, kOldWindowSize);
    WidenOptions1075(b.data() + kOldOptionsAt, out.data() + kOptionsAt);
    std::memcpy(out.data() + offsetof(TKNConfigHeader, SortColumn), b.data() + kOldSortAt, kSortSize);
    for (std::size_t i = 0; i < presets; ++i)
        WidenOptions1075(b.data() + kOldHeaderSize + i * kOldOptionsSize, out.data() + kHeaderSize + i * kPresetSize);
    b.swap(out);
    SetVersion(b, 3);
    return true;
}

bool Step3To4(Bytes& b)
{
    if (b.size() < kHeaderSize) return false;
    // The counts are 16-bit: presets beyond the last countable one cannot be kept.
    std::size_t presets = std::min<std::size_t>((b.size() - kHeaderSize) / kPresetSize, kMaxListRecords);
    b.resize(kHeaderSize + presets * kPresetSize);
    SetVersion(b, 4);
    SetCheckFlags(b.data() + kOptionsAt);
    for (std::size_t i = 0; i < presets; ++i) SetCheckFlags(b.data() + kHeaderSize + i * kPresetSize);
    Put<uint16_t>(b.data() + kPresetCountAt, static_cast<uint16_t>(presets));
    Put<uint16_t>(b.data() + kBatchCountAt, 0);
    return true;
}

bool Step4To5(Bytes& b)
{
    SetVersion(b, 5);
    return true;
}

bool Step5To6(Bytes& b)
{
    if (b.size() < kHeaderSize) return false;
    SetVersion(b, 6);
    std::size_t at = offsetof(TKNConfigHeader, OtherUse);
    std::fill(b.begin() + at, b.begin() + at + sizeof(TKNConfigHeader::OtherUse), uint8_t{0});
    return true;
}

// An upgraded file has no password.
bool Step6To7(Bytes& b)
{
    SetVersion(b, 7);
    std::fill(b.begin() + 34, b.begin() + 50, uint8_t{0});
    return true;
}

bool Step7To8(Bytes& b)
{
    if (b.size() < kHeaderSize) return false;
    std::size_t presets = Get<uint16_t>(b.data() + kPresetCountAt);
    std::size_t batches = Get<uint16_t>(b.data() + kBatchCountAt);
    if (b.size() < kHeaderSize + presets * kPresetSize + batches * kBatchSize) return false;
    SetVersion(b, 8);
    TKNOptionsRec options = ConvertOptions7(b.data() + kOptionsAt);
    std::memcpy(b.data() + kOptionsAt, &options, kPresetSize);
    for (std::size_t i = 0; i < presets; ++i) {
        uint8_t* at = b.data() + kHeaderSize + i * kPresetSize;
        options = ConvertOptions7(at);
        std::memcpy(at, &options, kPresetSize);
    }
    for (std::size_t i = 0; i < batches; ++i) {
        uint8_t* at = b.data() + kHeaderSize + presets * kPresetSize + i * kBatchSize;
        TKNBatchRec batch = ConvertBatch7(at);
        std::memcpy(at, &batch, kBatchSize);
    }
    return true;
}

}  // namespace

TKNOptionsRec ConvertOptions7(const uint8_t* old)
{
    TKNOptionsRec rec;
    std::memset(&rec, 0, sizeof rec);
    auto* out = reinterpret_cast<uint8_t*>(&rec);
    std::memcpy(out, old, offsetof(TKNOptionsRec, ExcludeAttributes));  // Name .. Attributes
    const uint8_t oldRecursive = old[1074];
    if (oldRecursive != 0) rec.Attributes = static_cast<uint8_t>(rec.Attributes | faDirectory);
    rec.ExcludeAttributes = 0;
    std::memcpy(out + offsetof(TKNOptionsRec, BeginDate), old + 1058, 16);  // both dates
    rec.Recursive = oldRecursive;
    std::memcpy(out + offsetof(TKNOptionsRec, MinSize), old + 1075, 16);  // both sizes
    rec.CheckFilter = 1;
    std::memcpy(out + offsetof(TKNOptionsRec, CheckAttr), old + 1091, 4);  // attr, date, size, threads
    return rec;
}

TKNBatchRec ConvertBatch7(const uint8_t* old)
{
    constexpr int kOldEntries = 32;
    constexpr std::size_t kOldEntriesAt = 32;
    TKNBatchRec rec;
    std::memset(&rec, 0, sizeof rec);
    std::memcpy(rec.Name, old, sizeof rec.Name);
    for (int k = 0; k < kOldEntries; ++k) {
        const uint8_t* entry = old + kOldEntriesAt + static_cast<std::size_t>(k) * sizeof(TKNBatchEntry);
        if (entry[0] == 0) break;
        std::memcpy(&rec.Entries[rec.EntryCount], entry, sizeof(TKNBatchEntry));
        ++rec.EntryCount;
    }
    return rec;
}

bool UpgradeConfigBytes(std::vector<uint8_t>& bytes)
{
    using Step = bool (*)(Bytes&);
    static constexpr Step kSteps[] = {Step1To2, Step2To3, Step3To4, Step4To5, Step5To6, Step6To7, Step7To8};
    if (bytes.size() < kCheckedSize) return false;
    const unsigned version = Get<uint16_t>(bytes.data() + kVersionAt);
    if (version < 1 || version >= kConfigVersion) return false;
    for (unsigned step = version - 1; step < std::size(kSteps); ++step)
        if (!kSteps[step](bytes)) return false;
    return true;
}

}  // namespace kn
