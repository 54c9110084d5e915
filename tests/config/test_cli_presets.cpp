// kestrune-cli presets and batches, run as a user runs them.
#ifdef KESTRUNE_CLI

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "tests/config/config_bytes.h"

using namespace cfgtest;

namespace {

struct RunResult {
    int status;
    std::string out;
};

// Runs kestrune-cli with `args` (already quoted for the shell); standard error goes to
// `errFile`, or is dropped.
RunResult RunCli(const std::string& args, const std::string& env = "", const std::string& errFile = "/dev/null")
{
    std::string command = env + " " KESTRUNE_CLI " " + args + " 2>'" + errFile + "'";
    FILE* pipe = popen(command.c_str(), "r");
    RunResult r{-1, ""};
    if (pipe == nullptr) return r;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) r.out.append(buf, n);
    int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

std::string Quoted(const std::string& path)
{
    return "'" + path + "'";
}

}  // namespace

TEST(CliPresets, ListsPresetsAndBatchesInNameOrder)
{
    testutil::TempDir dir;
    Bytes f = Header8(3, 2).Append(Preset8("zeta")).Append(Preset8("Alpha")).Append(Preset8("beta"));
    // A damaged action byte (7) lists as auto, as every reader takes it.
    f.Append(Batch8("nightly", {{"zeta", 0, 1}, {"gone", 2, 0}, {"Alpha", 1, 0}, {"beta", 3, 0}, {"zeta", 7, 1}}))
        .Append(Batch8("Empty", {}));
    f.Save(dir / "Kestrune.bin");

    RunResult presets = RunCli("presets --config-dir " + Quoted(dir.path()));
    EXPECT_EQ(presets.status, 0);
    EXPECT_EQ(presets.out, "Alpha\nbeta\nzeta\n");

    RunResult batches = RunCli("--config-dir=" + Quoted(dir.path()) + " batches");
    EXPECT_EQ(batches.status, 0);
    EXPECT_EQ(batches.out,
              "Empty\n"
              "nightly\n"
              "  zeta\tleft-to-right\tforce\n"
              "  gone\tauto\t\n"
              "  Alpha\tright-to-left\t\n"
              "  beta\ttwo-way\t\n"
              "  zeta\tauto\tforce\n");

    RunResult viaEnv = RunCli("presets", "KESTRUNE_HOME=" + Quoted(dir.path()));
    EXPECT_EQ(viaEnv.out, presets.out) << "--config-dir has the effect of KESTRUNE_HOME";
    EXPECT_EQ(Bytes::Load(dir / "Kestrune.bin").b, f.b) << "listing writes nothing";
}

TEST(CliPresets, OpensTheConfigurationAsTheProgramDoes)
{
    testutil::TempDir dir;
    RunResult fresh = RunCli("presets --config-dir " + Quoted(dir / "new"));
    EXPECT_EQ(fresh.status, 0);
    EXPECT_EQ(fresh.out, "");
    EXPECT_EQ(Bytes::Load(dir / "new/Kestrune.bin").size(), 4096u) << "a first start creates the file";

    Bytes old = Header8(0, 0).Put<uint16_t>(hdr::Version, 3).Append(Preset8("kept"));
    old.Save(dir / "Kestrune.bin");
    EXPECT_EQ(RunCli("presets --config-dir " + Quoted(dir.path())).out, "kept\n");
    EXPECT_EQ(Bytes::Load(dir / "Kestrune.bin").Get<uint16_t>(hdr::Version), 8) << "an old file is upgraded";

    Bytes unknown = Header8(0, 0).Put<uint16_t>(hdr::Version, 9);
    unknown.Save(dir / "Kestrune.bin");
    RunResult r = RunCli("batches --config-dir " + Quoted(dir.path()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Bytes::Load(dir / "Kestrune.bin").b, unknown.b);
}

TEST(CliPresets, BadArguments)
{
    EXPECT_EQ(RunCli("presets extra").status, 2);
    EXPECT_EQ(RunCli("batches --config-dir").status, 2);
    EXPECT_EQ(RunCli("presets --help").status, 0);
}

namespace {

// Two folders that differ in a text file and in a data file, and a preset "Texts" that compares
// them with the filter *.txt.
struct PresetFixture {
    testutil::TempDir dir;
    PresetFixture()
    {
        testutil::WriteFile(dir / "left/a.txt", "new text");
        testutil::WriteFile(dir / "left/b.dat", "data");
        testutil::MakeDirs(dir / "right");
        testutil::MakeDirs(dir / "same1");
        testutil::MakeDirs(dir / "same2");
        Bytes preset = Preset8("Texts", dir / "left");
        preset.Text(opt::RightFolder, dir / "right").Text(opt::Filter, "*.txt");
        preset.Put<uint8_t>(opt::Attributes, 0x37).Put<uint8_t>(opt::Recursive, 1);
        preset.Put<double>(opt::EndDate, 100000.0).Put<int64_t>(opt::MaxSize, -1);
        preset.Put<uint8_t>(opt::CheckFilter, 1);
        Header8(1, 0).Append(preset).Save(dir / "Kestrune.bin");
    }
    RunResult Compare(const std::string& args)
    {
        return RunCli("compare --config-dir '" + dir.path() + "' " + args, "", dir / "err");
    }
    std::string Err() const { return testutil::ReadFile(dir / "err"); }
};

}  // namespace

TEST(CliPresets, CompareWithAPreset)
{
    PresetFixture f;
    RunResult r = f.Compare("--preset texts");
    EXPECT_EQ(r.status, 1) << f.Err();
    EXPECT_NE(r.out.find("a.txt"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("b.dat"), std::string::npos) << "the preset's filter applies: " << r.out;

    RunResult folders = f.Compare("--preset Texts '" + f.dir / "same1" + "' '" + f.dir / "same2" + "'");
    EXPECT_EQ(folders.status, 0) << "folders on the command line take the place of the preset's: " << f.Err();
    EXPECT_EQ(folders.out, "");
}

TEST(CliPresets, PresetCarriesContentComparisonAndHourShift)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir / "left/shifted.txt", "same");
    testutil::SetMTime(dir / "left/shifted.txt", 1500003600);
    testutil::WriteFile(dir / "right/shifted.txt", "same");
    testutil::SetMTime(dir / "right/shifted.txt", 1500000000);
    testutil::WriteFile(dir / "left/rewritten.txt", "new");
    testutil::SetMTime(dir / "left/rewritten.txt", 1500000000);
    testutil::WriteFile(dir / "right/rewritten.txt", "old");
    testutil::SetMTime(dir / "right/rewritten.txt", 1500000000);
    struct Case {
        const char* name;
        uint8_t content, hours;
        std::vector<const char*> rows;
    } cases[] = {
        {"older record: both off", 0, 0, {"shifted.txt"}},
        {"contents compared", 1, 0, {"rewritten.txt"}},
        {"an hour ignored", 0, 1, {}},
        {"an out-of-range hour count is held at 24", 0, 200, {}},
    };
    for (const Case& c : cases) {
        Bytes preset = Preset8("P", dir / "left");
        preset.Text(opt::RightFolder, dir / "right").Text(opt::Filter, "*.*");
        preset.Put<uint8_t>(opt::Attributes, 0x37).Put<uint8_t>(opt::Recursive, 1);
        preset.Put<double>(opt::EndDate, 100000.0).Put<int64_t>(opt::MaxSize, -1);
        preset.Put<uint8_t>(opt::CompareContent, c.content).Put<uint8_t>(opt::IgnoreHours, c.hours);
        Header8(1, 0).Append(preset).Save(dir / "Kestrune.bin");
        RunResult r = RunCli("compare --config-dir " + Quoted(dir.path()) + " --preset P");
        EXPECT_EQ(r.status, c.rows.empty() ? 0 : 1) << c.name;
        for (const char* name : c.rows) EXPECT_NE(r.out.find(name), std::string::npos) << c.name << ": " << r.out;
        int lines = 0;
        for (char ch : r.out) lines += ch == '\n';
        EXPECT_EQ(lines, static_cast<int>(c.rows.size())) << c.name << ": " << r.out;
    }
}

TEST(CliPresets, CompareWithABadPreset)
{
    PresetFixture f;
    RunResult unknown = f.Compare("--preset Missing");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(f.Err().find("\"Missing\""), std::string::npos) << f.Err();

    RunResult mixed = f.Compare("--preset Texts --filter '*.dat'");
    EXPECT_EQ(mixed.status, 2);
    EXPECT_NE(f.Err().find("--filter"), std::string::npos) << f.Err();

    RunResult oneFolder = f.Compare("--preset Texts '" + f.dir / "same1" + "'");
    EXPECT_EQ(oneFolder.status, 2);
}

#endif  // KESTRUNE_CLI
