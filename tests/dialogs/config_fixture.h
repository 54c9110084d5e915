// A configuration in a temporary folder for the dialog tests, and builders for its records.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/kn_unitConfig.h"
#include "tests/common/temp_tree.h"

namespace testing_dialogs {

class ConfigFixture {
public:
    ConfigFixture();

    kn::TKNConfig& Config() { return *config_; }
    std::string FileName() const { return dir_ / "Kestrune.bin"; }
    std::string FileBytes() const;
    // Opens the file again, as the next start of the program would.
    void Reopen();

    // Stores presets (and batches) in memory and in the file.
    void SetPresets(const std::vector<kn::TKNOptionsRec>& presets);
    void SetBatches(const std::vector<kn::TKNBatchRec>& batches);

private:
    testutil::TempDir dir_;
    std::unique_ptr<kn::TKNConfig> config_;
};

kn::TKNOptionsRec Preset(const std::string& name, kn::TKNAction action = kn::TKNAction::Auto,
                         const std::string& left = "/left", const std::string& right = "/right");

struct EntryTerms {
    std::string preset;
    kn::TKNAction action;
    bool force;
};
kn::TKNBatchRec Batch(const std::string& name, const std::vector<EntryTerms>& entries);

std::vector<std::string> Names(const kn::TKNPresetList& list);
std::vector<std::string> Names(const kn::TKNBatchList& list);
std::vector<std::string> EntryNames(const kn::TKNBatchRec& batch);

}  // namespace testing_dialogs
