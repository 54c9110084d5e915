// The output formats of every command that prints records (compare, update with and without
// --dry-run, batch, diff --records) against golden files, on trees whose names hold a tab, a
// line break and a byte that is no UTF-8; and the JSON of a real update read back by an
// independent parser and checked against the trees. KESTRUNE_UPDATE_GOLDEN=1 rewrites the
// golden files from the current output (check the difference before committing it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "config/kn_unitConfig.h"
#include "framework/vex_unitText.h"
#include "tests/cli/cli_run.h"
#include "tests/common/temp_tree.h"

using clitest::RunCli;
using namespace testutil;

namespace {

constexpr int64_t kTime = 1500000000;  // 2017-07-14 02:40:00 UTC
const std::string kTab = "tab\tname.txt", kBreak = "new\nline.txt", kLatin1 = "caf\xe9.txt";

// L: sub/a.txt, the three odd names, same.txt, clash/ (a folder); R: gone.txt, same.txt, clash
// (a file, so that making the folder fails; a forced update then deletes the file). Every time
// is kTime.
struct Trees {
    TempDir dir;
    std::string left = dir / "L", right = dir / "R";
    Trees()
    {
        for (const std::string& name : {std::string("sub/a.txt"), kTab, kBreak, kLatin1, std::string("same.txt")})
            File(left + "/" + name, "x");
        File(right + "/gone.txt", "gone");
        File(right + "/same.txt", "x");
        File(right + "/clash", "a file where a folder goes");
        MakeDirs(left + "/clash");
        for (const std::string& folder : {left + "/sub", left + "/clash", left, right}) SetMTime(folder, kTime);
    }
    static void File(const std::string& path, const std::string& content)
    {
        WriteFile(path, content);
        SetMTime(path, kTime);
    }
};

// A configuration in `home` with the batch "Nightly": the trees forced left to right, then a
// preset that no longer exists.
void AddBatch(const std::string& home, const Trees& t)
{
    kn::TKNConfig config(home + "/Kestrune.bin", kn::TKNWorkArea{});
    kn::TKNOptionsRec preset = kn::DefaultOptions(home.c_str());
    vex::SetField(preset.Name, "Trees");
    vex::SetField(preset.LeftFolder, t.left);
    vex::SetField(preset.RightFolder, t.right);
    ASSERT_GE(config.Presets.Add(preset), 0);
    kn::TKNBatchRec batch{};
    vex::SetField(batch.Name, "Nightly");
    ASSERT_TRUE(kn::AddBatchEntry(batch, "Trees", kn::TKNAction::LeftToRight, true));
    ASSERT_TRUE(kn::AddBatchEntry(batch, "Gone", kn::TKNAction::Auto, false));
    ASSERT_GE(config.Batches.Add(batch), 0);
    ASSERT_TRUE(config.SavePresets() && config.SaveBatches());
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

class CliFormats : public ::testing::Test {
protected:
    void SetUp() override { setenv("TZ", "UTC", 1); }  // the text's local times, for the child
    void TearDown() override { unsetenv("TZ"); }
};

}  // namespace

TEST_F(CliFormats, EveryCommandInEveryFormatMatchesItsGoldenFile)
{
    const char* formats[] = {"text", "tsv", "jsonl"};
    const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
        {"compare", {"compare", "$L", "$R"}},
        {"update-dry", {"update", "--dry-run", "--force", "--action", "left-to-right", "$L", "$R"}},
        // One transfer at a time: several would print their operations in any order.
        {"update", {"update", "--transfers", "1", "--force", "--action", "left-to-right", "$L", "$R"}},
        {"update-quiet", {"update", "--quiet", "--force", "--action", "left-to-right", "$L", "$R"}},
        {"batch", {"batch", "--transfers", "1", "--config-dir", "$C", "Nightly"}},
        {"diff", {"diff", "--records", "$D/x", "$D/y"}},
    };
    const bool rewrite = std::getenv("KESTRUNE_UPDATE_GOLDEN") != nullptr;
    for (const auto& [name, pattern] : commands) {
        for (const char* format : formats) {
            Trees t;
            TempDir config;
            AddBatch(config.path(), t);
            WriteFile(t.dir / "D/x", "one\ntwo\nthree\n");
            WriteFile(t.dir / "D/y", "one\n2\nthree\nfour\n");
            std::vector<std::string> args;
            for (const std::string& arg : pattern)
                args.push_back(ReplaceAll(
                    ReplaceAll(ReplaceAll(ReplaceAll(arg, "$L", t.left), "$R", t.right), "$C", config.path()), "$D",
                    t.dir / "D"));
            args.insert(args.begin() + 1, {"--format", format});
            const auto r = RunCli(args);
            const std::string got = ReplaceAll(
                ReplaceAll("status " + std::to_string(r.status) + "\n--- stdout\n" + r.out + "--- stderr\n" + r.err,
                           config.path(), "$CONFIG"),
                t.dir.path(), "$ROOT");
            const std::string golden = std::string(KESTRUNE_GOLDEN_DIR) + "/" + name + "." + format + ".txt";
            if (rewrite) WriteFile(golden, got);
            EXPECT_EQ(got, ReadFile(golden)) << golden;
        }
    }
}

// The JSON Lines of a forced update, read by Python's strict parser, which turns each escaped
// byte back into that byte: every operation and count must agree with the trees afterwards.
TEST_F(CliFormats, TheJsonOfARealUpdateAgreesWithTheTrees)
{
    Trees t;
    TempDir scratch;
    const std::string reader =
        "import json, sys\n"
        "for line in sys.stdin.buffer:\n"
        "    o = json.loads(line)\n"
        "    h = lambda s: s.encode('utf-8', 'surrogateescape').hex()\n"
        "    if o['type'] == 'op': print('op', o['op'], o['direction'], o['result'], o['bytes'], h(o['path']))\n"
        "    if o['type'] == 'row': print('row', h(o['path']), o['left'] is not None, o['right'] is not None)\n"
        "    if o['type'] == 'summary': print('summary', o['version'], o['copied'], o['deleted'],\n"
        "        o['folders_created'], o['failed'], o['bytes'], o['rows'], o['exit'])\n";
    WriteFile(scratch / "reader.py", reader);
    const std::string command = std::string(KESTRUNE_CLI) + " update --format jsonl --force --action left-to-right '" +
                                t.left + "' '" + t.right + "' 2>/dev/null | python3 '" + (scratch / "reader.py") +
                                "' > '" + (scratch / "read") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << "every line parses";
    auto unhex = [](const std::string& hex) {
        std::string bytes;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return bytes;
    };
    std::map<std::string, int> done;
    int64_t bytes = 0;
    std::istringstream in(ReadFile(scratch / "read"));
    std::vector<std::string> rows;
    std::string summary;
    for (std::string kind; in >> kind;) {
        if (kind == "op") {
            std::string op, direction, result, hexPath;
            int64_t n = 0;
            in >> op >> direction >> result >> n >> hexPath;
            const std::string path = unhex(hexPath);
            EXPECT_EQ(direction, "left-to-right");
            if (result != "done") {
                EXPECT_EQ(op + " " + result + " " + path, "mkdir failed clash/");
                continue;
            }
            ++done[op];
            bytes += n;
            const std::string written = t.right + "/" + path;
            const bool agrees = op == "copy"     ? n == 1 && ReadFile(written) == ReadFile(t.left + "/" + path)
                                : op == "delete" ? !Exists(written)
                                                 : op == "mkdir" && std::filesystem::is_directory(written);
            EXPECT_TRUE(agrees) << op << " " << path;
        } else if (kind == "row") {
            std::string hexPath, left, right;
            in >> hexPath >> left >> right;
            rows.push_back(unhex(hexPath) + " " + left + " " + right);
        } else {
            std::getline(in, summary);
        }
    }
    EXPECT_EQ(done, (std::map<std::string, int>{{"copy", 4}, {"delete", 2}, {"mkdir", 1}}));
    EXPECT_EQ(ReadFile(t.right + "/" + kLatin1), "x") << "the name's byte came back whole";
    // The folder pass failed on "clash" before the file pass deleted the file in its way.
    EXPECT_EQ(rows, std::vector<std::string>{"clash/ True False"}) << "only the folder that could not be made is left";
    EXPECT_EQ(summary, " 1 4 2 1 1 " + std::to_string(bytes) + " 1 1");
}
