// The configuration file and object on version-8 files: creating, loading, header writes and
// the list saves.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "config/kn_unitConfig.h"
#include "framework/vex_unitProgramFolder.h"
#include "framework/vex_unitSecurity.h"
#include "framework/vex_unitText.h"
#include "tests/config/config_bytes.h"

using namespace cfgtest;

namespace {

const kn::TKNWorkArea kArea{3, 4, 1280, 1000};

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    closedir(d);
    return names;
}

kn::TKNOptionsRec NamedPreset(const std::string& name)
{
    kn::TKNOptionsRec rec = kn::DefaultOptions("/home");
    vex::SetField(rec.Name, name);
    return rec;
}

kn::TKNBatchRec NamedBatch(const std::string& name, const std::string& preset)
{
    kn::TKNBatchRec rec{};
    vex::SetField(rec.Name, name);
    kn::AddBatchEntry(rec, preset, kn::TKNAction::RightToLeft, true);
    return rec;
}

}  // namespace

TEST(ConfigFile, FirstStartCreatesTheDefaultHeader)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    {
        kn::TKNConfig config(path, kArea);
        EXPECT_TRUE(config.ConfigFile.Ok());
        EXPECT_TRUE(config.Created());
        EXPECT_TRUE(config.HeaderLoaded());
    }
    Bytes f = Bytes::Load(path);
    ASSERT_EQ(f.size(), 4096u);
    EXPECT_EQ(f.TextAt(0, 16), "KESTRUNECFGFILE");
    EXPECT_EQ(f.Get<uint16_t>(hdr::Version), 8);
    EXPECT_EQ(f.Get<int32_t>(hdr::WindowLeft), 3);
    EXPECT_EQ(f.Get<int32_t>(hdr::WindowTop), 4);
    EXPECT_EQ(f.Get<int32_t>(hdr::WindowWidth), 1280);
    EXPECT_EQ(f.Get<int32_t>(hdr::WindowHeight), 1000);
    EXPECT_EQ(f.Get<int32_t>(hdr::SortColumn), 0);
    EXPECT_EQ(f.Get<int32_t>(hdr::SortDirection), 1);
    EXPECT_EQ(f.Get<uint16_t>(hdr::PresetCount), 0);
    EXPECT_EQ(f.Get<uint16_t>(hdr::BatchCount), 0);
    EXPECT_TRUE(f.AllZero(hdr::Password, 17));
    // The defaults of a new configuration, with the home folder in place of a drive root.
    EXPECT_EQ(f.TextAt(hdr::Options + opt::LeftFolder, 256), vex::HomeFolder());
    EXPECT_EQ(f.TextAt(hdr::Options + opt::RightFolder, 256), "") << "no comparison of a folder with itself";
    EXPECT_EQ(f.TextAt(hdr::Options + opt::Filter, 256), "*.*");
    EXPECT_EQ(f.At(hdr::Options + opt::Action), 2);
    EXPECT_EQ(f.At(hdr::Options + opt::Attributes), 0x37);
    EXPECT_EQ(f.At(hdr::Options + opt::Recursive), 1);
    EXPECT_EQ(f.Get<int64_t>(hdr::Options + opt::MaxSize), -1);
    EXPECT_TRUE(f.AllZero(hdr::Options + 1097, 951));
    EXPECT_TRUE(f.AllZero(2244, 4096 - 2244));

    kn::TKNConfig again(path, kArea);
    EXPECT_TRUE(again.ConfigFile.Ok());
    EXPECT_FALSE(again.Created()) << "Created holds only for the run that made the file";
}

TEST(ConfigFile, Version8IsUsedWhateverItsFirstBytes)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    Bytes f = Header8(1, 0).Fill(0, 32, 0xC3).Append(Preset8("only"));
    f.Save(path);
    kn::TKNConfig config(path, kArea);
    EXPECT_TRUE(config.ConfigFile.Ok());
    EXPECT_EQ(config.Presets.Names(0), "only");
    EXPECT_EQ(Bytes::Load(path).b, f.b);
}

TEST(ConfigFile, NormalHeaderWriteStopsBeforeTheCounts)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    Bytes f = Header8(1, 1).Fill(2244, 4096 - 2244, 0x77).Append(Preset8("p")).Append(Batch8("b", {{"p", 0, 0}}));
    f.Save(path);
    kn::TKNConfig config(path, kArea);
    config.Header.WindowLeft = 99;
    config.Header.SortColumn = 4;
    config.Header.PresetCount = 0;  // in memory only: a normal write must not carry it
    config.Header.OtherUse[0] = 1;
    config.Header.DiffSettings = kn::kDiffIgnoreCase;  // the differences window's: written in any mode
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    ASSERT_TRUE(config.WriteHeader(false));
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "a new whole file renamed into place, never a header written over";
    Bytes g = Bytes::Load(path);
    EXPECT_EQ(g.Get<int32_t>(hdr::WindowLeft), 99);
    EXPECT_EQ(g.Get<int32_t>(hdr::SortColumn), 4);
    EXPECT_EQ(g.At(2528), kn::kDiffIgnoreCase);
    g.b[2528] = f.b[2528];
    EXPECT_EQ(g.b.substr(2240), f.b.substr(2240));

    ASSERT_TRUE(config.WriteHeader(true));
    g = Bytes::Load(path);
    EXPECT_EQ(g.Get<uint16_t>(hdr::PresetCount), 1) << "the counts follow the lists on disk";
    EXPECT_EQ(g.At(hdr::OtherUse), 1);
    EXPECT_EQ(g.size(), f.size());
}

TEST(ConfigFile, ListsLoadSortedAndShortFilesKeepCompleteRecords)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    // Counts promise 3 presets and 2 batches; the second batch is cut off.
    Bytes f = Header8(3, 2).Append(Preset8("zeta")).Append(Preset8("Alpha")).Append(Preset8("beta"));
    f.Append(Batch8("night", {{"zeta", 0, 1}})).Append(Batch8("day", {}));
    f.b.resize(f.size() - 1);
    f.Save(path);
    kn::TKNConfig config(path, kArea);
    ASSERT_EQ(config.Presets.Count(), 3);
    EXPECT_EQ(config.Presets.Names(0), "Alpha");
    EXPECT_EQ(config.Presets.Names(1), "beta");
    EXPECT_EQ(config.Presets.Names(2), "zeta");
    ASSERT_EQ(config.Batches.Count(), 1);
    EXPECT_EQ(config.Batches.Names(0), "night");
}

TEST(ConfigFile, SavePresetsKeepsTheBatchesOnDisk)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    Header8(0, 1).Append(Batch8("old", {})).Save(path);
    kn::TKNConfig config(path, kArea);
    config.Header.WindowTop = 1234;  // in memory only: a list save writes the header on disk

    // Another process replaces the batches meanwhile.
    Header8(0, 2).Append(Batch8("x", {{"a", 2, 0}})).Append(Batch8("y", {})).Save(path);
    config.Presets.Add(NamedPreset("b"));
    config.Presets.Add(NamedPreset("A"));
    config.Presets.Add(NamedPreset("c"));
    ASSERT_TRUE(config.SavePresets()) << config.ConfigFile.ErrorText();
    EXPECT_EQ(config.Presets.Names(0), "A");
    EXPECT_EQ(config.Header.PresetCount, 3);
    EXPECT_EQ(config.Header.BatchCount, 2) << "the counts follow what is on disk";

    Bytes g = Bytes::Load(path);
    ASSERT_EQ(g.size(), 4096u + 3 * 2048u + 2 * 4096u);
    EXPECT_EQ(g.Get<uint16_t>(hdr::PresetCount), 3);
    EXPECT_EQ(g.Get<uint16_t>(hdr::BatchCount), 2);
    EXPECT_EQ(g.Get<int32_t>(hdr::WindowTop), 0);
    EXPECT_EQ(g.TextAt(4096, 32), "A");
    EXPECT_EQ(g.TextAt(4096 + 2048, 32), "b");
    EXPECT_EQ(g.TextAt(4096 + 4096, 32), "c");
    EXPECT_EQ(g.TextAt(4096 + 3 * 2048, 32), "x");
    EXPECT_EQ(g.TextAt(4096 + 3 * 2048 + 4096, 32), "y");
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Kestrune.bin"}) << "no temporary file left";
}

TEST(ConfigFile, SaveBatchesReplacesTheFileWholeAndKeepsItsMode)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    Header8(1, 0).Append(Preset8("p")).Save(path);
    chmod(path.c_str(), 0640);
    struct stat before;
    stat(path.c_str(), &before);

    kn::TKNConfig config(path, kArea);
    config.Batches.Add(NamedBatch("second", "p"));
    config.Batches.Add(NamedBatch("First", "p"));
    ASSERT_TRUE(config.SaveBatches()) << config.ConfigFile.ErrorText();

    struct stat after;
    stat(path.c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino) << "a new file is renamed over the old one";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    kn::TKNConfig reread(path, kArea);
    ASSERT_EQ(reread.Batches.Count(), 2);
    EXPECT_EQ(reread.Batches.Names(0), "First");
    const kn::TKNBatchRec* b = reread.Batches.Items(1);
    EXPECT_EQ(b->EntryCount, 1);
    EXPECT_EQ(vex::GetField(b->Entries[0].PresetName), "p");
    EXPECT_EQ(b->Entries[0].Action, kn::TKNAction::RightToLeft);
    EXPECT_EQ(b->Entries[0].Force, 1);
    EXPECT_EQ(reread.Presets.Names(0), "p");
}

TEST(ConfigFile, SaveThroughALinkKeepsTheLink)
{
    testutil::TempDir dir;
    const std::string real = dir / "real.bin";
    const std::string link = dir / "Kestrune.bin";
    Header8(0, 0).Save(real);
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    kn::TKNConfig config(link, kArea);
    config.Presets.Add(NamedPreset("p"));
    ASSERT_TRUE(config.SavePresets());
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Bytes::Load(real).size(), 4096u + 2048u);
}

// A version-8 file too short for its header is usable by the check, but its header cannot be
// read: nothing may then write the zeroed stand-in header over it.
TEST(ConfigFile, UnreadableHeaderIsNeverWritten)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    Bytes f = Header8(0, 0);
    f.b.resize(100);
    f.Save(path);
    kn::TKNConfig config(path, kArea);
    EXPECT_TRUE(config.ConfigFile.Ok());
    EXPECT_FALSE(config.HeaderLoaded());
    EXPECT_EQ(config.Header.WindowWidth, 1280);
    EXPECT_FALSE(config.WriteHeader(false));
    config.Presets.Add(NamedPreset("p"));
    EXPECT_FALSE(config.SavePresets());
    EXPECT_EQ(Bytes::Load(path).b, f.b);
}

TEST(ConfigFile, CreationFailureLeavesAnEmptyConfiguration)
{
    testutil::TempDir dir;
    kn::TKNConfig config(dir / "missing-folder/Kestrune.bin", kArea);
    EXPECT_FALSE(config.ConfigFile.Ok());
    EXPECT_FALSE(config.Created());
    EXPECT_NE(config.ConfigFile.ErrorText(), "");
    EXPECT_EQ(config.Header.WindowLeft, 3);
    EXPECT_EQ(config.Header.CurrentOptions.Filter[0], 0) << "all options off in an unusable configuration";
    EXPECT_FALSE(testutil::Exists(dir / "missing-folder"));
}

TEST(ConfigFile, PasswordReachesTheDiskWithANormalHeaderWrite)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    {
        kn::TKNConfig config(path, kArea);
        ASSERT_TRUE(kn::StorePassword(config.Header, "pw1"));
        ASSERT_TRUE(config.WriteHeader(false));
    }
    Bytes f = Bytes::Load(path);
    EXPECT_EQ(f.TextAt(hdr::Password, 17), vex::ScramblePassword("pw1"));
    kn::TKNConfig next(path, kArea);
    EXPECT_TRUE(kn::HasPassword(next.Header));
    EXPECT_TRUE(kn::CheckHeaderPassword(next.Header, "pw1"));
}

TEST(ConfigFile, SomethingElseThanAFileIsNeverOpened)
{
    testutil::TempDir dir;
    const std::string fifo = dir / "fifo.bin";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    testutil::MakeDirs(dir / "folder.bin");
    for (const std::string& path : {fifo, dir / "folder.bin"}) {
        kn::TKNConfig config(path, kArea);  // would block on the pipe if it opened it
        EXPECT_FALSE(config.ConfigFile.Ok()) << path;
        EXPECT_NE(config.ConfigFile.ErrorText().find(path), std::string::npos) << config.ConfigFile.ErrorText();
    }
}

TEST(ConfigFile, ReadOnlyFileIsNotReplaced)
{
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    Bytes f = Header8(0, 0).Put<uint16_t>(hdr::Version, 3);  // an upgrade would rewrite it
    f.Save(path);
    chmod(path.c_str(), 0444);
    kn::TKNConfig config(path, kArea);
    EXPECT_FALSE(config.ConfigFile.Ok());
    EXPECT_EQ(Bytes::Load(path).b, f.b);

    Bytes v8 = Header8(0, 0);
    chmod(path.c_str(), 0644);
    v8.Save(path);
    chmod(path.c_str(), 0444);
    kn::TKNConfig current(path, kArea);
    current.Presets.Add(NamedPreset("p"));
    EXPECT_FALSE(current.SavePresets());
    EXPECT_EQ(Bytes::Load(path).b, v8.b);
}

// Three programs starting at once on a missing file: each must see no file or a whole one,
// never a short one it would take for damage; and no temporary file stays behind.
TEST(ConfigFile, ConcurrentFirstStartsSeeAWholeFile)
{
    for (int trial = 0; trial < 20; ++trial) {
        testutil::TempDir dir;
        const std::string path = dir / "Kestrune.bin";
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        std::vector<pid_t> children;
        for (int i = 0; i < 3; ++i) {
            pid_t pid = fork();
            if (pid == 0) {
                char c;
                close(go[1]);
                if (read(go[0], &c, 1) != 0) _exit(3);  // wait until every child is ready
                kn::TKNConfig config(path, kArea);
                _exit(config.ConfigFile.Ok() && config.HeaderLoaded() ? 0 : 1);
            }
            children.push_back(pid);
        }
        close(go[0]);
        close(go[1]);  // all start now
        bool shortSeen = false;
        for (int polls = 0; polls < 20000; ++polls) {
            struct stat st;
            if (stat(path.c_str(), &st) == 0) {
                shortSeen = shortSeen || st.st_size != 4096;
                if (st.st_size == 4096) break;
            }
        }
        for (pid_t pid : children) {
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "trial " << trial;
        }
        EXPECT_FALSE(shortSeen) << "trial " << trial;
        EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"Kestrune.bin"}) << "trial " << trial;
    }
}

// A first start that dies half way through writing (here: past its file size limit) leaves
// no short file for the next start to take for damage.
TEST(ConfigFile, AFirstStartThatDiesHalfWayLeavesNoShortFile)
{
    testutil::TempDir dir;
    const std::string path = dir / "Kestrune.bin";
    pid_t pid = fork();
    if (pid == 0) {
        rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);  // the second write gets SIGXFSZ and ends the process
        kn::TKNConfig config(path, kArea);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        EXPECT_EQ(st.st_size, 4096) << "a short configuration file was left";
    }
    kn::TKNConfig next(path, kArea);
    EXPECT_TRUE(next.ConfigFile.Ok()) << next.ConfigFile.ErrorText();
    EXPECT_TRUE(next.HeaderLoaded());
}

// A stored action byte outside the four actions must never reach a caller as a direction:
// the header's options, a preset and a batch step all read it as Auto.
TEST(ConfigFile, UnknownStoredActionsReadAsAuto)
{
    const std::pair<uint8_t, kn::TKNAction> cases[] = {
        {0, kn::TKNAction::LeftToRight}, {1, kn::TKNAction::RightToLeft}, {2, kn::TKNAction::Auto},
        {3, kn::TKNAction::TwoWay},      {4, kn::TKNAction::Auto},        {255, kn::TKNAction::Auto},
    };
    for (const auto& [stored, expected] : cases) {
        SCOPED_TRACE(static_cast<int>(stored));
        testutil::TempDir dir;
        const std::string path = dir / "Kestrune.bin";
        Bytes f = Header8(1, 1).Put<uint8_t>(hdr::Options + opt::Action, stored);
        f.Append(Preset8("p").Put<uint8_t>(opt::Action, stored)).Append(Batch8("b", {{"p", stored, 1}}));
        f.Save(path);
        kn::TKNConfig config(path, kArea);
        ASSERT_EQ(config.Presets.Count(), 1);
        ASSERT_EQ(config.Batches.Count(), 1);
        EXPECT_EQ(config.Header.CurrentOptions.Action, expected);
        EXPECT_EQ(config.Presets.Items(0)->Action, expected);
        EXPECT_EQ(config.Batches.Items(0)->Entries[0].Action, expected);
    }
}
