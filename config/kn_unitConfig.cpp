#include "config/kn_unitConfig.h"

#include <cstring>

#include "framework/vex_unitProgramFolder.h"

namespace kn {

TKNConfig::TKNConfig(const std::string& fileName, const TKNWorkArea& area) : ConfigFile(fileName, area)
{
    Load(area);
}

std::string TKNConfig::ProgramConfigFileName()
{
    return vex::JoinPath(vex::ProgramFolder(), kConfigFileName);
}

std::unique_ptr<TKNConfig> TKNConfig::OpenProgramConfig(const TKNWorkArea& area)
{
    return std::make_unique<TKNConfig>(ProgramConfigFileName(), area);
}

void TKNConfig::Load(const TKNWorkArea& area)
{
    std::memset(&Header, 0, sizeof Header);
    headerLoaded_ = ConfigFile.ReadHeader(Header);
    if (!headerLoaded_) {
        Header.WindowLeft = area.Left;
        Header.WindowTop = area.Top;
        Header.WindowWidth = area.Width;
        Header.WindowHeight = area.Height;
    }
    if (ConfigFile.ReadPresets(Presets)) Presets.Sort();
    if (ConfigFile.ReadBatches(Batches)) Batches.Sort();
}

bool TKNConfig::WriteHeader(bool full)
{
    return headerLoaded_ && ConfigFile.WriteHeader(Header, full);
}

void TKNConfig::TakeCounts(const TKNConfigHeader& written)
{
    Header.PresetCount = written.PresetCount;
    Header.BatchCount = written.BatchCount;
}

bool TKNConfig::SavePresets()
{
    Presets.Sort();
    Header.PresetCount = static_cast<uint16_t>(Presets.Count());
    TKNConfigHeader written;
    if (!ConfigFile.SavePresets(Presets, &written)) return false;
    TakeCounts(written);
    return true;
}

bool TKNConfig::SaveBatches()
{
    Batches.Sort();
    Header.BatchCount = static_cast<uint16_t>(Batches.Count());
    TKNConfigHeader written;
    if (!ConfigFile.SaveBatches(Batches, &written)) return false;
    TakeCounts(written);
    return true;
}

}  // namespace kn
