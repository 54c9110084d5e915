#include "config_fixture.h"

#include "framework/vex_unitText.h"

namespace testing_dialogs {

ConfigFixture::ConfigFixture()
{
    Reopen();
}

void ConfigFixture::Reopen()
{
    config_.reset();
    config_ = std::make_unique<kn::TKNConfig>(FileName(), kn::TKNWorkArea{});
}

std::string ConfigFixture::FileBytes() const
{
    return testutil::ReadFile(FileName());
}

void ConfigFixture::SetPresets(const std::vector<kn::TKNOptionsRec>& presets)
{
    config_->Presets.Clear();
    for (const kn::TKNOptionsRec& p : presets) config_->Presets.Add(p);
    config_->SavePresets();
}

void ConfigFixture::SetBatches(const std::vector<kn::TKNBatchRec>& batches)
{
    config_->Batches.Clear();
    for (const kn::TKNBatchRec& b : batches) config_->Batches.Add(b);
    config_->SaveBatches();
}

kn::TKNOptionsRec Preset(const std::string& name, kn::TKNAction action, const std::string& left,
                         const std::string& right)
{
    kn::TKNOptionsRec rec = kn::DefaultOptions("/home/user");
    vex::SetField(rec.Name, name);
    vex::SetField(rec.LeftFolder, left);
    vex::SetField(rec.RightFolder, right);
    rec.Action = action;
    return rec;
}

kn::TKNBatchRec Batch(const std::string& name, const std::vector<EntryTerms>& entries)
{
    kn::TKNBatchRec batch{};
    vex::SetField(batch.Name, name);
    for (const EntryTerms& e : entries) kn::AddBatchEntry(batch, e.preset, e.action, e.force);
    return batch;
}

template <class List>
static std::vector<std::string> ListNames(const List& list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list.Names(i));
    return names;
}

std::vector<std::string> Names(const kn::TKNPresetList& list)
{
    return ListNames(list);
}
std::vector<std::string> Names(const kn::TKNBatchList& list)
{
    return ListNames(list);
}

std::vector<std::string> EntryNames(const kn::TKNBatchRec& batch)
{
    std::vector<std::string> names;
    for (int k = 0; k < kn::UsedEntries(batch); ++k) names.push_back(vex::GetField(batch.Entries[k].PresetName));
    return names;
}

}  // namespace testing_dialogs
