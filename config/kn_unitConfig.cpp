#include "config/kn_unitConfig.h"

#include <cstring>

#include "config/kn_unitLocationSecrets.h"
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

bool TKNConfig::MovePasswordsToSecrets()
{
    if (!Secrets) return false;
    bool moved = MoveFolderPasswords(Header.CurrentOptions, *Secrets);
    for (int i = 0; i < Presets.Count(); ++i)
        if (TKNOptionsRec* preset = Presets.Find(Presets.Names(i)))
            moved = MoveFolderPasswords(*preset, *Secrets) || moved;
    if (moved) passwordsOnDisk_ = true;
    return moved;
}

bool TKNConfig::FlushMovedPasswords(bool presetsWritten)
{
    if (!passwordsOnDisk_) return true;
    TKNConfigHeader written;
    if (!presetsWritten && !ConfigFile.SavePresets(Presets, &written)) return false;
    if (headerLoaded_ && !ConfigFile.WriteHeader(Header, false)) return false;
    passwordsOnDisk_ = false;
    return true;
}

bool TKNConfig::WriteHeader(bool full)
{
    MovePasswordsToSecrets();
    return headerLoaded_ && ConfigFile.WriteHeader(Header, full) && FlushMovedPasswords(false);
}

void TKNConfig::TakeCounts(const TKNConfigHeader& written)
{
    Header.PresetCount = written.PresetCount;
    Header.BatchCount = written.BatchCount;
}

bool TKNConfig::SavePresets()
{
    MovePasswordsToSecrets();
    Presets.Sort();
    Header.PresetCount = static_cast<uint16_t>(Presets.Count());
    TKNConfigHeader written;
    if (!ConfigFile.SavePresets(Presets, &written)) return false;
    TakeCounts(written);
    return FlushMovedPasswords(true);
}

bool TKNConfig::SaveBatches()
{
    MovePasswordsToSecrets();
    Batches.Sort();
    Header.BatchCount = static_cast<uint16_t>(Batches.Count());
    TKNConfigHeader written;
    if (!ConfigFile.SaveBatches(Batches, &written)) return false;
    TakeCounts(written);
    return FlushMovedPasswords(false);
}

}  // namespace kn
