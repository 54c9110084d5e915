#include "config/kn_unitConfigRecords.h"

#include <algorithm>
#include <cstring>

#include "app/kn_version.h"
#include "framework/vex_unitSecurity.h"
#include "framework/vex_unitText.h"

namespace kn {

TKNConfigHeader DefaultHeader(const TKNWorkArea& area, const char* homeFolder)
{
    TKNConfigHeader h;
    std::memset(&h, 0, sizeof h);
    vex::SetField(h.Magic, kConfigMagic);
    vex::SetField(h.TagText, "Kestrune " KESTRUNE_VERSION);
    h.Version = kConfigVersion;
    h.WindowLeft = area.Left;
    h.WindowTop = area.Top;
    h.WindowWidth = area.Width;
    h.WindowHeight = area.Height;
    h.CurrentOptions = DefaultOptions(homeFolder);
    // The first start offers no comparison of the home folder with itself: the right field
    // starts empty, for the user to fill.
    vex::SetField(h.CurrentOptions.RightFolder, "");
    h.SortColumn = 0;
    h.SortDirection = kSortAscending;
    return h;
}

bool CheckHeaderPassword(const TKNConfigHeader& header, std::string_view input)
{
    return vex::CheckPassword(input, vex::GetField(header.Password));
}

bool StorePassword(TKNConfigHeader& header, std::string_view plain)
{
    if (!vex::IsStorablePassword(plain)) return false;
    // Scrambled bytes are no UTF-8 text: copied as they are, never cut.
    const std::string scrambled = vex::ScramblePassword(plain);
    std::memset(header.Password, 0, sizeof header.Password);
    std::memcpy(header.Password, scrambled.data(), scrambled.size());
    return true;
}

int UsedEntries(const TKNBatchRec& batch)
{
    return std::min<int>(batch.EntryCount, kMaxBatchEntries);
}

bool AddBatchEntry(TKNBatchRec& batch, std::string_view presetName, TKNAction action, bool force)
{
    const int k = UsedEntries(batch);
    if (k >= kMaxBatchEntries) return false;
    TKNBatchEntry& entry = batch.Entries[k];
    std::memset(&entry, 0, sizeof entry);
    vex::SetField(entry.PresetName, presetName);
    entry.Action = action;
    entry.Force = force ? 1 : 0;
    batch.EntryCount = static_cast<uint8_t>(k + 1);
    return true;
}

}  // namespace kn
