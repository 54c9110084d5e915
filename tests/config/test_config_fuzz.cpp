// Many randomly damaged configuration files: loading must never crash (sanitizers are on in the
// test build), a file that cannot be used must never be written, and a usable one must save
// into a consistent file.
#include <gtest/gtest.h>

#include <random>

#include "config/kn_unitConfig.h"
#include "tests/config/config_bytes.h"

using namespace cfgtest;

namespace {

const kn::TKNWorkArea kArea{0, 0, 800, 600};

std::vector<Bytes> Seeds()
{
    Bytes v8 = Header8(3, 2).Append(Preset8("one")).Append(Preset8("two")).Append(Preset8("three"));
    v8.Append(Batch8("b1", {{"one", 0, 1}, {"two", 2, 0}})).Append(Batch8("b2", {{"three", 1, 0}}));
    Bytes v7 = v8;
    v7.Put<uint16_t>(hdr::Version, 7);
    Bytes v3 = Header8(0, 0).Put<uint16_t>(hdr::Version, 3).Append(Preset8("a")).Append(Preset8("b"));
    Bytes v1(2180);
    v1.Put<uint16_t>(hdr::Version, 1).Append(Bytes(1075).Text(0, "old")).Append(Bytes(1075).Text(0, "older"));
    return {v8, v7, v3, v1};
}

class Damager {
public:
    explicit Damager(unsigned seed) : rng_(seed) {}

    std::size_t Below(std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    uint8_t Byte() { return static_cast<uint8_t>(Below(256)); }

    void Damage(Bytes& f)
    {
        switch (Below(7)) {
            case 0:
                f.b.resize(Below(f.size() + 1));
                break;
            case 1:
                for (std::size_t n = 1 + Below(20); n > 0 && f.size() > 0; --n)
                    f.b[Below(f.size())] = static_cast<char>(Byte());
                break;
            case 2:
                if (f.size() >= 2244)
                    f.Put<uint16_t>(hdr::PresetCount + 2 * Below(2), static_cast<uint16_t>(Below(70000)));
                break;
            case 3:
                if (f.size() >= 34) f.Put<uint16_t>(hdr::Version, static_cast<uint16_t>(Below(11)));
                break;
            case 4: {
                std::size_t at = 4096 + 32 + 2048 * Below(6);  // an EntryCount, perhaps
                if (at < f.size()) f.b[at] = static_cast<char>(Byte());
                break;
            }
            case 5:
                for (std::size_t n = Below(5000); n > 0; --n) f.b.push_back(static_cast<char>(Byte()));
                break;
            default:
                f.b.assign(Below(3 * 4096), '\0');
                for (char& c : f.b) c = static_cast<char>(Byte());
                if (f.size() >= 34 && Below(2) == 0) f.Put<uint16_t>(hdr::Version, static_cast<uint16_t>(1 + Below(8)));
        }
    }

private:
    std::mt19937 rng_;
};

// Reads everything a caller may read from a loaded configuration.
void TouchEverything(const kn::TKNConfig& config)
{
    for (int i = 0; i < config.Presets.Count(); ++i) (void)config.Presets.Names(i);
    for (int i = 0; i < config.Batches.Count(); ++i) {
        const kn::TKNBatchRec* b = config.Batches.Items(i);
        ASSERT_LE(kn::UsedEntries(*b), kn::kMaxBatchEntries);
        for (int k = 0; k < kn::UsedEntries(*b); ++k) (void)vex::GetField(b->Entries[k].PresetName);
    }
}

}  // namespace

TEST(ConfigFuzz, DamagedFilesNeverCrashAndUnusableOnesAreNeverWritten)
{
    const std::vector<Bytes> seeds = Seeds();
    Damager damage(20261208);
    int unusable = 0, saved = 0;
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bytes f = seeds[damage.Below(seeds.size())];
        for (std::size_t n = 1 + damage.Below(3); n > 0; --n) damage.Damage(f);
        testutil::TempDir dir;
        const std::string path = dir / "Kestrune.bin";
        f.Save(path);

        kn::TKNConfig config(path, kArea);
        TouchEverything(config);
        if (config.HeaderLoaded()) {
            EXPECT_LE(config.Presets.Count(), config.Header.PresetCount);
            EXPECT_LE(config.Batches.Count(), config.Header.BatchCount);
        }
        if (!config.ConfigFile.Ok() || !config.HeaderLoaded()) {
            ++unusable;
            config.Presets.Add(Preset8("new").Get<kn::TKNOptionsRec>(0));
            EXPECT_FALSE(config.WriteHeader(true));
            EXPECT_FALSE(config.SavePresets());
            EXPECT_FALSE(config.SaveBatches());
            ASSERT_EQ(Bytes::Load(path).b, f.b) << "an unusable file was written";
            continue;
        }
        // A usable file saves into a consistent one that reads back the same lists.
        ASSERT_TRUE(config.SavePresets()) << config.ConfigFile.ErrorText();
        ASSERT_TRUE(config.SaveBatches()) << config.ConfigFile.ErrorText();
        ++saved;
        kn::TKNConfig reread(path, kArea);
        ASSERT_TRUE(reread.HeaderLoaded());
        EXPECT_EQ(Bytes::Load(path).size(), 4096u + 2048u * static_cast<unsigned>(reread.Presets.Count()) +
                                                4096u * static_cast<unsigned>(reread.Batches.Count()));
        EXPECT_EQ(reread.Presets.Count(), config.Presets.Count());
        EXPECT_EQ(reread.Batches.Count(), config.Batches.Count());
        for (int i = 0; i < config.Presets.Count(); ++i) EXPECT_EQ(reread.Presets.Names(i), config.Presets.Names(i));
    }
    // The damage must reach both outcomes, or the test proves little.
    EXPECT_GT(unusable, 50);
    EXPECT_GT(saved, 50);
}
