// kestrune-cli batch, run as a program on temporary trees with a configuration of its own: the
// steps and operations it prints, skipped entries, failures and exit statuses.
#ifdef KESTRUNE_CLI
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>

#include "batch_setup.h"
#include "tests/common/temp_tree.h"

namespace updateui_test {
namespace {

using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

class CliBatch : public ::testing::Test {
protected:
    void SetUp() override { config = std::make_unique<kn::TKNConfig>(home / "Kestrune.bin", kn::TKNWorkArea{}); }

    void AddPreset(const char* name, const std::string& leftFolder, const std::string& rightFolder)
    {
        ASSERT_GE(config->Presets.Add(FolderPreset(home.path(), name, leftFolder, rightFolder)), 0);
        ASSERT_TRUE(config->SavePresets());
    }

    void AddBatch(const char* name, const std::vector<BatchEntry>& entries)
    {
        ASSERT_GE(config->Batches.Add(BatchOf(name, entries)), 0);
        ASSERT_TRUE(config->SaveBatches());
    }

    CliResult Run(const std::string& args)
    {
        const std::string errFile = scratch / "stderr.txt";
        std::string command = "KESTRUNE_HOME=" + Quoted(home.path()) + " " KESTRUNE_CLI " " + args + " 2>" +
                              Quoted(errFile) + " </dev/null";
        CliResult result;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return result;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
        int raw = pclose(pipe);
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.err = ReadFile(errFile);
        return result;
    }

    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    testutil::TempDir home;
    testutil::TempDir trees;
    testutil::TempDir scratch;
    std::unique_ptr<kn::TKNConfig> config;
};

TEST_F(CliBatch, RunsEachPresetWithItsEntryAndSkipsAMissingOne)
{
    const auto [l1, r1, l2, r2] = AddNightly(*config, home.path(), trees);
    ASSERT_TRUE(config->SavePresets());
    ASSERT_TRUE(config->SaveBatches());

    // Batch names ignore the case of a-z; a bandwidth limit holds for every entry.
    CliResult r = Run("batch nightly --bwlimit 4M");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(r1 + "/doc.txt"), "doc");
    EXPECT_FALSE(Exists(r1 + "/stale.txt"));
    EXPECT_EQ(ReadFile(l2 + "/theirs.txt"), "theirs");
    EXPECT_EQ(ReadFile(l2 + "/mine.txt"), "mine");
    EXPECT_TRUE(Has(r.out, "Batch \"Nightly\": 3 entries\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "[1/3] preset \"One\": Left to Right, Force Update\n")) << r.out;
    EXPECT_TRUE(Has(r.out, r1 + "/doc.txt\n")) << "each operation is printed\n" << r.out;
    EXPECT_TRUE(Has(r.out, r1 + "/stale.txt\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "[2/3] preset \"Gone\": skipped, there is no such preset\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "[3/3] preset \"Two\": Right to Left\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "Final comparison: preset \"Two\"\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "left\tmine.txt\t")) << "the rows left\n" << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST_F(CliBatch, UnknownBatchAndUsageErrorsExitWithTwo)
{
    AddBatch("Real", {});
    CliResult unknown = Run("batch Nope");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(Has(unknown.err, "there is no batch named \"Nope\"")) << unknown.err;
    EXPECT_EQ(Run("batch").status, 2);
    EXPECT_EQ(Run("batch Real Other").status, 2);
    CliResult rate = Run("batch Real --bwlimit fast");
    EXPECT_EQ(rate.status, 2);
    EXPECT_TRUE(Has(rate.err, "fast")) << "the rate it could not read is named\n" << rate.err;
    CliResult help = Run("batch --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Has(help.out, "Usage: kestrune-cli batch NAME")) << help.out;
}

TEST_F(CliBatch, AFailedOperationIsPrintedAndGivesOneWhileTheRestIsDone)
{
    const std::string l = trees / "l", r = trees / "r";
    WriteFile(l + "/a.txt", "a");
    WriteFile(l + "/b.txt", "b");
    testutil::MakeDirs(r + "/a.txt/inside");  // a folder where the file should go
    AddPreset("P", l, r);
    AddBatch("B", {{"P", kn::TKNAction::LeftToRight, false}});
    CliResult result = Run("batch B");
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(result.err.empty()) << "the failure is printed";
    EXPECT_EQ(ReadFile(r + "/b.txt"), "b");
    EXPECT_TRUE(Exists(r + "/a.txt/inside"));
}

TEST_F(CliBatch, AMissingLocalFolderSkipsItsEntryInsteadOfEmptyingTheOtherSide)
{
    const std::string r = trees / "r";
    WriteFile(r + "/precious.txt", "precious");
    AddPreset("Unplugged", trees / "not-mounted", r);
    AddBatch("Mirror", {{"Unplugged", kn::TKNAction::LeftToRight, true}});
    CliResult result = Run("batch Mirror");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Has(result.err, "preset \"Unplugged\" skipped")) << result.err;
    EXPECT_EQ(ReadFile(r + "/precious.txt"), "precious");
    EXPECT_FALSE(Has(result.out, "Final comparison")) << "no entry ran";
}

TEST_F(CliBatch, AStepWhosePresetComparesContentsSetsTimesInsteadOfCopying)
{
    const std::string left = trees / "L", right = trees / "R";
    WriteFile(left + "/same.txt", "same");
    testutil::SetMTime(left + "/same.txt", 1500000100);
    WriteFile(right + "/same.txt", "same");
    testutil::SetMTime(right + "/same.txt", 1500000000);
    kn::TKNOptionsRec preset = FolderPreset(home.path(), "C", left, right);
    preset.CompareContent = 1;
    ASSERT_GE(config->Presets.Add(preset), 0);
    ASSERT_TRUE(config->SavePresets());
    AddBatch("B", {{"C", kn::TKNAction::LeftToRight, false}});
    struct stat before {
    }, after{};
    ASSERT_EQ(stat((right + "/same.txt").c_str(), &before), 0);

    CliResult r = Run("batch B");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(stat((right + "/same.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_mtime, 1500000100) << r.out;
    EXPECT_EQ(after.st_ino, before.st_ino) << "not copied";
}

// Twelve files only the right side has: a forced Left to Right step would delete them all.
TEST_F(CliBatch, AStepThatDeletesMostOfItsSideIsSkippedUnlessMaxDeleteAllowsIt)
{
    const std::string l = trees / "l", r = trees / "r";
    testutil::MakeDirs(l);
    for (int i = 0; i < 12; ++i) WriteFile(r + "/f" + std::to_string(i), "x");
    AddPreset("Empty", l, r);
    AddBatch("Wipe", {{"Empty", kn::TKNAction::LeftToRight, true}});
    CliResult guarded = Run("batch Wipe");
    EXPECT_EQ(guarded.status, 1);
    EXPECT_TRUE(Has(guarded.err, "preset \"Empty\" skipped: The update would delete 12 of the 12 entries"))
        << guarded.err;
    EXPECT_TRUE(Exists(r + "/f0"));
    CliResult tooFew = Run("batch Wipe --max-delete 11");
    EXPECT_EQ(tooFew.status, 1);
    EXPECT_TRUE(Has(tooFew.err, "more than --max-delete 11")) << tooFew.err;
    EXPECT_TRUE(Exists(r + "/f11"));
    EXPECT_EQ(Run("batch Wipe --max-delete x").status, 2);
    CliResult allowed = Run("batch Wipe --max-delete 12");
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_FALSE(Exists(r + "/f0"));
}

}  // namespace
}  // namespace updateui_test
#endif
