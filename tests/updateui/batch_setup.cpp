#include "batch_setup.h"

#include <gtest/gtest.h>

#include <cstring>

#include "framework/vex_unitText.h"

namespace updateui_test {

kn::TKNOptionsRec FolderPreset(const std::string& home, const char* name, const std::string& left,
                               const std::string& right)
{
    kn::TKNOptionsRec preset = kn::DefaultOptions(home.c_str());
    vex::SetField(preset.Name, name);
    vex::SetField(preset.LeftFolder, left);
    vex::SetField(preset.RightFolder, right);
    preset.Action = kn::TKNAction::Auto;
    return preset;
}

kn::TKNBatchRec BatchOf(const char* name, const std::vector<BatchEntry>& entries)
{
    kn::TKNBatchRec batch;
    std::memset(&batch, 0, sizeof batch);
    vex::SetField(batch.Name, name);
    for (const BatchEntry& e : entries) EXPECT_TRUE(kn::AddBatchEntry(batch, e.preset, e.action, e.force)) << e.preset;
    return batch;
}

NightlyTrees AddNightly(kn::TKNConfig& config, const std::string& home, const testutil::TempDir& trees)
{
    NightlyTrees t{trees / "one/left", trees / "one/right", trees / "two/left", trees / "two/right"};
    testutil::WriteFile(t.l1 + "/doc.txt", "doc");
    testutil::WriteFile(t.r1 + "/stale.txt", "stale");
    testutil::WriteFile(t.l2 + "/mine.txt", "mine");
    testutil::WriteFile(t.r2 + "/theirs.txt", "theirs");
    EXPECT_GE(config.Presets.Add(FolderPreset(home, "One", t.l1, t.r1)), 0);
    EXPECT_GE(config.Presets.Add(FolderPreset(home, "Two", t.l2, t.r2)), 0);
    EXPECT_GE(config.Batches.Add(BatchOf("Nightly", {{"One", kn::TKNAction::LeftToRight, true},
                                                     {"Gone", kn::TKNAction::Auto, true},
                                                     {"Two", kn::TKNAction::RightToLeft, false}})),
              0);
    return t;
}

}  // namespace updateui_test
