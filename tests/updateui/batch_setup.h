// Presets and batches for the batch tests of this suite (run from the window's menu and by
// kestrune-cli), and the batch "Nightly" that both run as their main case.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/kn_unitConfig.h"
#include "tests/common/temp_tree.h"

namespace updateui_test {

struct BatchEntry {
    const char* preset;
    kn::TKNAction action;
    bool force;
};

// A preset comparing `left` with `right`, the other options at their defaults; its action is
// Auto, as every batch entry sets its own.
kn::TKNOptionsRec FolderPreset(const std::string& home, const char* name, const std::string& left,
                               const std::string& right);
kn::TKNBatchRec BatchOf(const char* name, const std::vector<BatchEntry>& entries);

// The folders of the batch "Nightly".
struct NightlyTrees {
    std::string l1, r1, l2, r2;
};

// Writes two pairs of trees below `trees` and adds to `config`, in memory, the presets "One"
// and "Two" over them and the batch "Nightly": One Left to Right forced (the right side gets
// doc.txt and loses its extra stale.txt), a preset "Gone" that does not exist, and Two Right to
// Left without force (the left side gets theirs.txt and keeps its own mine.txt).
NightlyTrees AddNightly(kn::TKNConfig& config, const std::string& home, const testutil::TempDir& trees);

}  // namespace updateui_test
