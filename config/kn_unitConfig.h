// TKNConfig: the program's one configuration object, `Config`. It owns the configuration file
// (TKNConfigFile), a working copy of the file's header and the two named lists.
//
// Opening: call TKNConfig::OpenProgramConfig(workArea) once at start, before any window. It
// picks the file "Kestrune.bin" in the program folder (vex::ProgramFolder: KESTRUNE_HOME, the
// executable's folder, or ~/.config/kestrune), creates it with defaults when missing, upgrades
// an older version in place, and loads header, presets and batches. It never fails: an unusable
// file gives an empty configuration (ConfigFile.Ok() false) and the program runs on memory.
//
// Using: read and change `Header` fields in place (Header.CurrentOptions, Header.WindowLeft ..
// WindowMaximized, Header.SortColumn/SortDirection, Header.Password). Presets and Batches are
// changed by a manager dialog on a Clone() that is handed back with Assign() on OK.
//
// Saving: WriteHeader(full) puts Header on disk (all 4096 bytes when `full`, in expert mode and
// after the configuration dialog; otherwise the first 2240 bytes and the differences window's
// settings, which leaves the reserved tail on disk alone; the counts always follow the lists on
// disk). The file is written whole under a temporary name and renamed into place. SavePresets()/SaveBatches() sort the
// list and rewrite the file safely. Each returns false when nothing was written; ConfigFile.ErrorText() says why.
#pragma once

#include <memory>
#include <string>

#include "config/kn_unitConfigFile.h"
#include "config/kn_unitConfigLists.h"
#include "config/kn_unitConfigRecords.h"
#include "framework/vex_unitSecretStore.h"

namespace kn {

constexpr char kConfigFileName[] = "Kestrune.bin";

class TKNConfig {
public:
    // Opens `fileName` (see TKNConfigFile) and loads it. `area` places the window of a new or
    // unusable configuration.
    TKNConfig(const std::string& fileName, const TKNWorkArea& area);
    TKNConfig(const TKNConfig&) = delete;
    TKNConfig& operator=(const TKNConfig&) = delete;

    // The configuration of the running program, opened as described above. Both programs and
    // kestrune-cli start through this.
    static std::unique_ptr<TKNConfig> OpenProgramConfig(const TKNWorkArea& area = TKNWorkArea{});
    // Full name of the program's configuration file.
    static std::string ProgramConfigFileName();

    // The file did not exist and was created in this run.
    bool Created() const { return ConfigFile.Created(); }
    // The header was read from the file at load. When it was not, Header is a stand-in that
    // WriteHeader never writes (it would turn a readable file into one of version 0).
    bool HeaderLoaded() const { return headerLoaded_; }

    bool WriteHeader(bool full);
    // Sort the list by name and rewrite the file with it; the other list stays as it is on disk.
    // Header's two counts follow what was written.
    bool SavePresets();
    bool SaveBatches();

    // Where the passwords of server locations go. When set, the folders of Header's options and
    // of the presets hold no password in memory or on disk: MovePasswordsToSecrets moves them
    // into the store, and every save does so first, so a file written by an older version loses
    // its passwords at its next save (all of them, also those of the list not being saved).
    // Unset (kestrune-cli), records are written as they are.
    vex::TvexSecretStore* Secrets = nullptr;
    // True when a record held a password.
    bool MovePasswordsToSecrets();

    TKNConfigFile ConfigFile;
    TKNBatchList Batches;
    TKNPresetList Presets;
    TKNConfigHeader Header;

private:
    void Load(const TKNWorkArea& area);
    void TakeCounts(const TKNConfigHeader& written);
    // After a save: rewrites the presets and the header once when the file still holds
    // passwords that were moved to the store.
    bool FlushMovedPasswords(bool presetsWritten);

    bool headerLoaded_ = false;
    bool passwordsOnDisk_ = false;
};

}  // namespace kn
