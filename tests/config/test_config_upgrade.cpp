// Files of older layouts, built byte by byte, opened as the program opens them at start; the
// upgraded bytes on disk are checked field by field.
#include <gtest/gtest.h>

#include "config/kn_unitConfig.h"
#include "tests/config/config_bytes.h"

using namespace cfgtest;

namespace {

const kn::TKNWorkArea kArea{0, 0, 1024, 768};

// The 1075-byte options form of versions 1 and 2 (with `sizes`, of version 3 to 7 when widened).
Bytes OldOptions(const std::string& name, uint8_t attributes, uint8_t recursive)
{
    Bytes o(1075);
    o.Text(opt::Name, name).Text(opt::LeftFolder, "/left/" + name).Text(opt::RightFolder, "/right");
    o.Put<uint8_t>(opt::Action, 1).Text(opt::Filter, "*.txt").Text(opt::ExcludeFilter, "*.bak");
    o.Put<uint8_t>(opt::Attributes, attributes);
    o.Put<double>(opt7::BeginDate, 40000.5)
        .Put<double>(opt7::EndDate, 50000.25)
        .Put<uint8_t>(opt7::Recursive, recursive);
    return o;
}

// The 2048-byte options form of versions 3 to 7.
Bytes Options7(const std::string& name, uint8_t attributes, uint8_t recursive)
{
    Bytes o(2048);
    o.b.replace(0, 1075, OldOptions(name, attributes, recursive).b);
    o.Put<int64_t>(opt7::MinSize, 5).Put<int64_t>(opt7::MaxSize, 1000);
    return o;
}

// The fields that every upgrade to version 8 must produce from OldOptions/Options7.
void ExpectConverted(const Bytes& file, std::size_t at, const std::string& name, uint8_t attributes, uint8_t recursive,
                     int64_t minSize, int64_t maxSize)
{
    SCOPED_TRACE("options of \"" + name + "\" at byte " + std::to_string(at));
    EXPECT_EQ(file.TextAt(at + opt::Name, 32), name);
    EXPECT_EQ(file.TextAt(at + opt::LeftFolder, 256), "/left/" + name);
    EXPECT_EQ(file.TextAt(at + opt::RightFolder, 256), "/right");
    EXPECT_EQ(file.At(at + opt::Action), 1);
    EXPECT_EQ(file.TextAt(at + opt::Filter, 256), "*.txt");
    EXPECT_EQ(file.TextAt(at + opt::ExcludeFilter, 256), "*.bak");
    EXPECT_EQ(file.At(at + opt::Attributes), attributes);
    EXPECT_EQ(file.At(at + opt::ExcludeAttributes), 0);
    EXPECT_EQ(file.Get<double>(at + opt::BeginDate), 40000.5);
    EXPECT_EQ(file.Get<double>(at + opt::EndDate), 50000.25);
    EXPECT_EQ(file.At(at + opt::Recursive), recursive);
    EXPECT_EQ(file.Get<int64_t>(at + opt::MinSize), minSize);
    EXPECT_EQ(file.Get<int64_t>(at + opt::MaxSize), maxSize);
    EXPECT_EQ(file.At(at + opt::CheckFilter), 1);
    EXPECT_TRUE(file.AllZero(at + 1097, 2048 - 1097));
}

Bytes Version1File()
{
    Bytes f(2180);
    f.Text(0, "OLDMAGIC").Put<uint16_t>(hdr::Version, 1);
    f.Put<int32_t>(64, 10).Put<int32_t>(68, 20).Put<int32_t>(72, 800).Put<int32_t>(76, 600).Put<uint8_t>(80, 1);
    f.b.replace(81, 1075, OldOptions("", 0x21, 1).b);
    f.Fill(1156, 8, 0xAB);  // no sort values yet in version 1: whatever lies there is replaced
    f.Append(OldOptions("Beta", 0x21, 0)).Append(OldOptions("alpha", 0x01, 1));
    f.Append(Bytes(100));  // a cut-off third preset
    return f;
}

}  // namespace

TEST(ConfigUpgrade, Version1BecomesVersion8)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    Version1File().Save(path);

    kn::TKNConfigFile file(path, kArea);
    ASSERT_TRUE(file.Ok()) << file.ErrorText();
    EXPECT_FALSE(file.Created());

    Bytes f = Bytes::Load(path);
    ASSERT_EQ(f.size(), 4096u + 2 * 2048u);
    EXPECT_EQ(f.TextAt(0, 16), "OLDMAGIC");
    EXPECT_EQ(f.Get<uint16_t>(hdr::Version), 8);
    EXPECT_EQ(f.Get<int32_t>(hdr::WindowLeft), 10);
    EXPECT_EQ(f.Get<int32_t>(hdr::WindowTop), 20);
    EXPECT_EQ(f.Get<int32_t>(hdr::WindowWidth), 800);
    EXPECT_EQ(f.Get<int32_t>(hdr::WindowHeight), 600);
    EXPECT_EQ(f.At(hdr::WindowMaximized), 1);
    EXPECT_TRUE(f.AllZero(81, 128 - 81));
    EXPECT_EQ(f.Get<int32_t>(hdr::SortColumn), 0);
    EXPECT_EQ(f.Get<int32_t>(hdr::SortDirection), 1);
    EXPECT_EQ(f.Get<uint16_t>(hdr::PresetCount), 2);
    EXPECT_EQ(f.Get<uint16_t>(hdr::BatchCount), 0);
    EXPECT_TRUE(f.AllZero(hdr::Password, 16));
    EXPECT_TRUE(f.AllZero(2184, 56));
    EXPECT_TRUE(f.AllZero(2244, 4096 - 2244));
    // Recursive records gain the folder bit; the check flags of version 4 are on.
    ExpectConverted(f, hdr::Options, "", 0x31, 1, 0, -1);
    ExpectConverted(f, 4096, "Beta", 0x21, 0, 0, -1);
    ExpectConverted(f, 4096 + 2048, "alpha", 0x11, 1, 0, -1);
    for (std::size_t at : {std::size_t{hdr::Options}, std::size_t{4096}, std::size_t{4096 + 2048}}) {
        EXPECT_EQ(f.At(at + opt::CheckAttr), 1);
        EXPECT_EQ(f.At(at + opt::CheckDate), 1);
        EXPECT_EQ(f.At(at + opt::CheckSize), 1);
        EXPECT_EQ(f.At(at + opt::MultiThread), 0);
    }

    // The configuration object then holds them sorted by name.
    kn::TKNConfig config(path, kArea);
    ASSERT_EQ(config.Presets.Count(), 2);
    EXPECT_EQ(config.Presets.Names(0), "alpha");
    EXPECT_EQ(config.Presets.Names(1), "Beta");
}

TEST(ConfigUpgrade, Version3WithTwoPresets)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    Bytes f(4096);
    f.Put<uint16_t>(hdr::Version, 3).Text(hdr::Password, "\x91\x92");
    f.Put<int32_t>(hdr::SortColumn, 3).Put<int32_t>(hdr::SortDirection, -1);
    f.Put<uint16_t>(hdr::PresetCount, 77).Put<uint16_t>(hdr::BatchCount, 9);  // no counts in version 3
    f.Fill(hdr::OtherUse, 256, 0x5A);
    f.b.replace(hdr::Options, 2048, Options7("", 0x37, 1).b);
    f.Append(Options7("one", 0x04, 0)).Append(Options7("two", 0x05, 1));
    f.Save(path);

    kn::TKNConfigFile file(path, kArea);
    ASSERT_TRUE(file.Ok()) << file.ErrorText();
    Bytes g = Bytes::Load(path);
    ASSERT_EQ(g.size(), 4096u + 2 * 2048u);
    EXPECT_EQ(g.Get<uint16_t>(hdr::Version), 8);
    EXPECT_EQ(g.Get<uint16_t>(hdr::PresetCount), 2);
    EXPECT_EQ(g.Get<uint16_t>(hdr::BatchCount), 0);
    EXPECT_EQ(g.Get<int32_t>(hdr::SortColumn), 3);
    EXPECT_EQ(g.Get<int32_t>(hdr::SortDirection), -1);
    EXPECT_TRUE(g.AllZero(hdr::Password, 16)) << "an upgraded file has no password";
    EXPECT_TRUE(g.AllZero(hdr::OtherUse, 256));
    ExpectConverted(g, hdr::Options, "", 0x37, 1, 5, 1000);
    ExpectConverted(g, 4096, "one", 0x04, 0, 5, 1000);
    ExpectConverted(g, 4096 + 2048, "two", 0x15, 1, 5, 1000);
    for (std::size_t at : {std::size_t{4096}, std::size_t{4096 + 2048}}) {
        EXPECT_EQ(g.At(at + opt::CheckAttr), 1);
        EXPECT_EQ(g.At(at + opt::CheckDate), 1);
        EXPECT_EQ(g.At(at + opt::CheckSize), 1);
    }
}

namespace {

Bytes Batch7(const std::string& name, std::initializer_list<const char*> presets)
{
    Bytes b(4096);
    b.Text(0, name);
    std::size_t k = 0;
    for (const char* p : presets) {
        std::size_t at = 32 + 64 * k++;
        b.Text(at, p).Put<uint8_t>(at + 32, static_cast<uint8_t>(k % 3)).Put<uint8_t>(at + 33, k % 2);
    }
    return b;
}

}  // namespace

TEST(ConfigUpgrade, Version7WithPresetsAndBatches)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    Bytes f(4096);
    f.Text(0, "KESTRUNECFGFILE").Put<uint16_t>(hdr::Version, 7).Text(hdr::Password, "\x94\x97\x96\x91");
    f.Put<uint16_t>(hdr::PresetCount, 2).Put<uint16_t>(hdr::BatchCount, 2);
    f.Fill(hdr::OtherUse, 256, 0x5A);
    Bytes options = Options7("", 0x37, 0);
    options.Put<uint8_t>(opt7::CheckAttr, 1).Put<uint8_t>(opt7::CheckDate, 0).Put<uint8_t>(opt7::CheckSize, 1);
    options.Put<uint8_t>(opt7::MultiThread, 1);
    f.b.replace(hdr::Options, 2048, options.b);
    f.Append(Options7("rec", 0x01, 1)).Append(Options7("flat", 0x01, 0));
    f.Append(Batch7("gap", {"p1", "p2", "", "p4"}));
    std::vector<std::string> many;
    for (int i = 0; i < 32; ++i) many.push_back("preset" + std::to_string(i));
    Bytes full(4096);
    full.Text(0, "full");
    for (int i = 0; i < 32; ++i) full.Text(32 + 64 * i, many[i]);
    f.Append(full);
    f.Append(Bytes(10).Fill(0, 10, 0xEE));  // bytes after the last record stay as they are
    f.Save(path);

    kn::TKNConfigFile file(path, kArea);
    ASSERT_TRUE(file.Ok()) << file.ErrorText();
    Bytes g = Bytes::Load(path);
    ASSERT_EQ(g.size(), f.size());
    EXPECT_EQ(g.Get<uint16_t>(hdr::Version), 8);
    EXPECT_EQ(g.TextAt(hdr::Password, 17), "\x94\x97\x96\x91") << "a version-7 password stays";
    EXPECT_EQ(g.b.substr(hdr::OtherUse, 256), std::string(256, '\x5A'));
    ExpectConverted(g, hdr::Options, "", 0x37, 0, 5, 1000);
    EXPECT_EQ(g.At(hdr::Options + opt::CheckAttr), 1);
    EXPECT_EQ(g.At(hdr::Options + opt::CheckDate), 0);
    EXPECT_EQ(g.At(hdr::Options + opt::CheckSize), 1);
    EXPECT_EQ(g.At(hdr::Options + opt::MultiThread), 1);
    ExpectConverted(g, 4096, "rec", 0x11, 1, 5, 1000);
    ExpectConverted(g, 4096 + 2048, "flat", 0x01, 0, 5, 1000);

    const std::size_t b0 = 4096 + 2 * 2048, b1 = b0 + 4096;
    EXPECT_EQ(g.TextAt(b0, 32), "gap");
    EXPECT_EQ(g.At(b0 + 32), 2) << "the first empty entry name ends the old list";
    EXPECT_EQ(g.TextAt(b0 + 33, 32), "p1");
    EXPECT_EQ(g.At(b0 + 33 + 32), 1);
    EXPECT_EQ(g.At(b0 + 33 + 33), 1);
    EXPECT_EQ(g.TextAt(b0 + 97, 32), "p2");
    EXPECT_EQ(g.At(b0 + 97 + 32), 2);
    EXPECT_EQ(g.At(b0 + 97 + 33), 0);
    EXPECT_TRUE(g.AllZero(b0 + 161, 4096 - 161));
    EXPECT_EQ(g.At(b1 + 32), 32);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(g.TextAt(b1 + 33 + 64 * i, 32), many[i]) << "entry " << i;
    EXPECT_TRUE(g.AllZero(b1 + 33 + 64 * 32, 4096 - 33 - 64 * 32));
    EXPECT_EQ(g.b.substr(b1 + 4096), std::string(10, '\xEE'));
}

// Files that the chain cannot upgrade are left byte for byte as they were and never used.
TEST(ConfigUpgrade, UnusableFilesAreLeftAlone)
{
    struct Case {
        const char* name;
        Bytes content;
    };
    std::vector<Case> cases = {
        {"empty", Bytes()},
        {"63 bytes", Bytes(63).Put<uint16_t>(hdr::Version, 3)},
        {"version 0", Bytes(4096)},
        {"version 9", Header8(0, 0).Put<uint16_t>(hdr::Version, 9)},
        {"version 1 shorter than its header", Bytes(2000).Put<uint16_t>(hdr::Version, 1)},
        {"version 5 shorter than its header", Bytes(3000).Put<uint16_t>(hdr::Version, 5)},
        {"version 7 with counts beyond the end",
         Bytes(4096).Put<uint16_t>(hdr::Version, 7).Put<uint16_t>(hdr::PresetCount, 3).Append(Bytes(2048 * 2))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testutil::TempDir dir;
        const std::string path = dir / "Kestrune.bin";
        c.content.Save(path);
        kn::TKNConfig config(path, kn::TKNWorkArea{5, 6, 700, 500});
        EXPECT_FALSE(config.ConfigFile.Ok());
        EXPECT_FALSE(config.Created());
        EXPECT_FALSE(config.HeaderLoaded());
        EXPECT_EQ(config.Header.WindowLeft, 5);
        EXPECT_EQ(config.Header.WindowHeight, 500);
        EXPECT_EQ(config.Header.Version, 0);
        EXPECT_EQ(config.Presets.Count(), 0);
        EXPECT_EQ(config.Batches.Count(), 0);
        config.Presets.Add(kn::DefaultOptions("/"));
        EXPECT_FALSE(config.WriteHeader(true));
        EXPECT_FALSE(config.SavePresets());
        EXPECT_FALSE(config.SaveBatches());
        EXPECT_EQ(Bytes::Load(path).b, c.content.b);
    }
}
