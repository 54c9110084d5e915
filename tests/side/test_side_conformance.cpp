// The behaviours every kind of side keeps, one group per test, each run against every kind
// (side_kind_*.cpp). Kinds differ only where their Caps() say so, never by their name.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <functional>
#include <set>
#include <thread>

#include "side/kn_unitSideCopy.h"
#include "side/kn_unitSideRules.h"
#include "tests/side/side_conformance.h"

namespace sidetest {
namespace {

using kn::TKNSideError;
using kn::TKNSideResult;

constexpr int64_t kOld = 1577872800;  // 2020-01-01 10:00:00 UTC

// Writes `content` through `side` in one go: the failure of the open, the write or the commit.
TKNSideResult Put(kn::TKNSide& side, const kn::TKNSidePath& path, const std::string& content,
                  const kn::TKNWriteTerms& terms = {})
{
    std::unique_ptr<kn::TKNWriteStream> stream;
    if (TKNSideResult r = side.OpenWrite(path, terms, stream); !r) return r;
    if (TKNSideResult r = stream->Write(content.data(), content.size()); !r) return r;
    return stream->Commit();
}

// The names a local folder holds, read without the side.
std::set<std::string> NamesIn(const std::string& folder)
{
    std::set<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* d = readdir(dir))
            if (std::string(d->d_name) != "." && std::string(d->d_name) != "..") names.insert(d->d_name);
        closedir(dir);
    }
    return names;
}

std::set<std::string> OwnTemps(const std::string& folder)
{
    std::set<std::string> temps;
    for (const std::string& name : NamesIn(folder))
        if (kn::IsOwnTempName(name)) temps.insert(name);
    return temps;
}

std::set<std::string> ListedNames(kn::TKNSide& side, const kn::TKNSidePath& folder)
{
    std::vector<kn::TKNSideEntry> entries;
    const TKNSideResult r = side.List(folder, entries);
    EXPECT_TRUE(r) << r.Message;
    std::set<std::string> names;
    for (const kn::TKNSideEntry& e : entries) names.insert(e.Name);
    return names;
}

// Everything a write through a link could change in a folder: names, contents, modes, times.
std::string Snapshot(const std::string& folder)
{
    std::string out;
    for (const std::string& name : NamesIn(folder)) {
        struct stat st {};
        lstat((folder + "/" + name).c_str(), &st);
        out += name + " " + std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
               std::to_string(st.st_mtim.tv_nsec) + " ";
        if (S_ISREG(st.st_mode)) out += testutil::ReadFile(folder + "/" + name);
        out += "\n";
    }
    return out;
}

// "dirlink" to the folder `outside`, "filelink" to its file "target.txt", and "real.txt" in
// `served`; the target's path.
std::string MakeLinksOut(const std::string& served, const std::string& outside)
{
    const std::string target = outside + "/target.txt";
    testutil::WriteFile(target, "outside");
    testutil::SetMTime(target, kOld);
    EXPECT_EQ(symlink(outside.c_str(), (served + "/dirlink").c_str()), 0);
    EXPECT_EQ(symlink(target.c_str(), (served + "/filelink").c_str()), 0);
    testutil::WriteFile(served + "/real.txt", "real");
    return target;
}

uint32_t LocalMode(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST_P(SideConformance, NamesAreOnePlainComponent)
{
    const std::string forbidden = side_->Caps().ForbiddenInNames;
    for (char c : kind_->Forbidden()) EXPECT_NE(forbidden.find(c), std::string::npos) << "undeclared: " << c;
    for (const char* name : {"a.txt", "..a", "b\\c"}) testutil::WriteFile(Local(name), "x");
    std::vector<kn::TKNSideEntry> entries;
    ASSERT_TRUE(side_->List(P(""), entries));
    std::set<std::string> listed;
    for (const kn::TKNSideEntry& e : entries) {
        EXPECT_EQ(kn::NameProblem(e.Name, forbidden), "");
        listed.insert(e.Name);
    }
    EXPECT_TRUE(listed.count("a.txt") && (listed.count("..a") || !side_->Caps().DotEntries));
    EXPECT_EQ(listed.count("b\\c") == 1, forbidden.find('\\') == std::string::npos);

    // A path value may carry an unchecked component (TKNSidePath::Child): the side refuses it.
    std::vector<std::string> bad = {"..", ".", "x/y", std::string("x\0y", 3)};
    for (char c : forbidden) bad.push_back(std::string("x") + c + "y");
    const std::set<std::string> before = NamesIn(Local());
    for (const std::string& name : bad) {
        const kn::TKNSidePath path = kn::TKNSidePath().Child(name);
        EXPECT_EQ(Put(*side_, path, "x").Kind, TKNSideError::BadName) << name;
        EXPECT_EQ(side_->MakeFolder(path, 0755).Kind, TKNSideError::BadName) << name;
        EXPECT_EQ(side_->RemoveFile(path, {}).Kind, TKNSideError::BadName) << name;
        EXPECT_EQ(side_->Rename(P("a.txt"), path).Kind, TKNSideError::BadName) << name;
    }
    EXPECT_EQ(NamesIn(Local()), before);
}

TEST_P(SideConformance, NothingIsChangedThroughALink)
{
    const kn::TKNSideCaps& caps = side_->Caps();
    const std::string target = MakeLinksOut(Local(), outside_->path());
    const std::string outside = Snapshot(outside_->path());

    struct Case {
        const char* what;
        bool can;
        std::function<TKNSideResult()> op;
    };
    const Case cases[] = {
        {"replace beneath a folder link", true, [&] { return Put(*side_, P("dirlink/target.txt"), "in"); }},
        {"new file beneath a folder link", true, [&] { return Put(*side_, P("dirlink/new.txt"), "in"); }},
        {"folder beneath a folder link", true, [&] { return side_->MakeFolder(P("dirlink/sub"), 0700); }},
        {"remove beneath a folder link", true, [&] { return side_->RemoveFile(P("dirlink/target.txt"), {}); }},
        {"time beneath a folder link", caps.SetTime && kind_->TimesOnDisk(),
         [&] { return side_->SetTime(P("dirlink/target.txt"), 5, 0); }},
        {"mode beneath a folder link", caps.SetMode, [&] { return side_->SetMode(P("dirlink/target.txt"), 0600); }},
        {"rename into a folder link", caps.Rename, [&] { return side_->Rename(P("real.txt"), P("dirlink/x")); }},
        // A time kept beside the files (a server's property) never passes through a link.
        {"time of a file link", caps.SetTime && kind_->TimesOnDisk(),
         [&] { return side_->SetTime(P("filelink"), 5, 0); }},
        {"mode of a file link", caps.SetMode, [&] { return side_->SetMode(P("filelink"), 0600); }},
        {"link beneath a folder link", caps.Links, [&] { return side_->MakeLink(P("dirlink/l"), "x", {}); }},
        // An open may answer late: its failure shows at the first read.
        {"read a file link", kind_->ShowsLinks(),
         [&] {
             std::unique_ptr<kn::TKNReadStream> stream;
             TKNSideResult r = side_->OpenRead(P("filelink"), stream);
             char byte = 0;
             if (r && stream->Read(&byte, 1, r) >= 0) return TKNSideResult::Ok();
             return r;
         }},
    };
    for (const Case& c : cases) {
        if (!c.can) continue;
        const TKNSideResult r = c.op();
        EXPECT_FALSE(r) << c.what;
        if (kind_->ShowsLinks()) {
            EXPECT_EQ(r.Kind, TKNSideError::Link) << c.what << ": " << r.Message;
        }
        EXPECT_EQ(Snapshot(outside_->path()), outside) << c.what;
    }
    EXPECT_EQ(testutil::ReadFile(Local("real.txt")), "real");

    std::vector<kn::TKNSideEntry> entries;
    ASSERT_TRUE(side_->List(P(""), entries));
    kn::TKNSideEntry link;
    const bool statted = static_cast<bool>(side_->Stat(P("filelink"), link));
    if (kind_->ShowsLinks()) {
        EXPECT_TRUE(statted && link.Link);
        for (const kn::TKNSideEntry& e : entries)
            if (e.Name == "dirlink" || e.Name == "filelink") {
                EXPECT_TRUE(e.Link) << e.Name;
                EXPECT_EQ(e.IsFolder(), e.Name == "dirlink");
            }
    }
    // A server that resolves links itself refuses any path that leads out, the link included.
    if (!kind_->ShowsLinks()) return;
    // A write at a link replaces the link; removal takes links, never what they lead to.
    kn::TKNWriteTerms terms;
    if (statted) terms.Replaces = kn::ExpectedOf(link);
    EXPECT_TRUE(Put(*side_, P("filelink"), "new", terms));
    EXPECT_EQ(testutil::ReadFile(Local("filelink")), "new");
    ASSERT_EQ(symlink(target.c_str(), Local("filelink2").c_str()), 0);
    EXPECT_TRUE(side_->RemoveFile(P("filelink2"), {}));
    EXPECT_TRUE(side_->RemoveFolder(P("dirlink")));
    testutil::WriteFile(Local("full/kept.txt"), "x");
    EXPECT_FALSE(side_->RemoveFolder(P("full")));
    unlink(Local("full/kept.txt").c_str());
    EXPECT_TRUE(side_->RemoveFolder(P("full")));
    EXPECT_EQ(NamesIn(Local()), (std::set<std::string>{"filelink", "real.txt"}));
    EXPECT_EQ(Snapshot(outside_->path()), outside);
}

// A link is made with its text as given, never resolved; like a file, it replaces only the entry
// that was compared, in one step, and a folder never. A side that holds none refuses at once.
TEST_P(SideConformance, LinksHoldTheirTextAndReplaceOnlyWhatWasCompared)
{
    const auto linkText = [this](const std::string& name) {
        char text[256] = {};
        const ssize_t n = readlink(Local(name).c_str(), text, sizeof text - 1);
        return n < 0 ? std::string("(no link)") : std::string(text, static_cast<std::size_t>(n));
    };
    testutil::WriteFile(Local("f.txt"), "file");
    if (!side_->Caps().Links) {
        EXPECT_EQ(side_->MakeLink(P("l"), "f.txt", {}).Kind, TKNSideError::Unsupported);
        EXPECT_EQ(NamesIn(Local()), (std::set<std::string>{"f.txt"}));
        return;
    }
    kn::TKNWriteTerms fresh;
    fresh.Replaces = kn::ExpectedAbsent();
    const TKNSideResult made = side_->MakeLink(P("out"), "../../etc/passwd", fresh);
    ASSERT_TRUE(made) << made.Message;
    EXPECT_EQ(linkText("out"), "../../etc/passwd");
    EXPECT_EQ(side_->MakeLink(P("f.txt"), "x", fresh).Kind, TKNSideError::Changed) << "nothing may be there";
    kn::TKNSideEntry file, link;
    ASSERT_TRUE(side_->Stat(P("f.txt"), file));
    testutil::WriteFile(Local("f.txt"), "edited since");
    kn::TKNWriteTerms stale;
    stale.Replaces = kn::ExpectedOf(file);
    EXPECT_EQ(side_->MakeLink(P("f.txt"), "x", stale).Kind, TKNSideError::Changed);
    EXPECT_EQ(testutil::ReadFile(Local("f.txt")), "edited since");
    ASSERT_TRUE(side_->Stat(P("f.txt"), file));
    kn::TKNWriteTerms compared;
    compared.Replaces = kn::ExpectedOf(file);
    ASSERT_TRUE(side_->MakeLink(P("f.txt"), "out", compared));
    EXPECT_EQ(linkText("f.txt"), "out");
    ASSERT_EQ(mkdir(Local("d").c_str(), 0700), 0);
    EXPECT_FALSE(side_->MakeLink(P("d"), "x", {}));
    std::vector<kn::TKNSideEntry> entries;
    ASSERT_TRUE(side_->List(P(""), entries));
    for (const kn::TKNSideEntry& e : entries)
        if (e.Link) {
            EXPECT_EQ(e.LinkTarget, e.Name == "out" ? "../../etc/passwd" : "out") << e.Name;
        }
    ASSERT_TRUE(side_->Stat(P("out"), link));
    EXPECT_TRUE(link.Link && link.LinkTarget == "../../etc/passwd");
    EXPECT_EQ(NamesIn(Local()), (std::set<std::string>{"d", "f.txt", "out"}));
}

TEST_P(SideConformance, AFileIsReplacedOnlyByAWholeNewOne)
{
    enum class End { Commit, Abort, Drop };
    struct Case {
        const char* what;
        int64_t size;
        End end;
        bool replaced;
    };
    const std::string fresh = "new bytes";
    const Case cases[] = {
        {"whole", 9, End::Commit, true}, {"size unknown", -1, End::Commit, true}, {"short", 100, End::Commit, false},
        {"long", 3, End::Commit, false}, {"aborted", 9, End::Abort, false},       {"dropped", 9, End::Drop, false},
    };
    for (const Case& c : cases) {
        testutil::WriteFile(Local("a.txt"), "old content");
        kn::TKNSideEntry entry;
        ASSERT_TRUE(side_->Stat(P("a.txt"), entry));
        kn::TKNWriteTerms terms;
        terms.Size = c.size;
        terms.Replaces = kn::ExpectedOf(entry);
        std::unique_ptr<kn::TKNWriteStream> stream;
        ASSERT_TRUE(side_->OpenWrite(P("a.txt"), terms, stream)) << c.what;
        ASSERT_TRUE(stream->Write(fresh.data(), fresh.size())) << c.what;
        if (c.end == End::Commit) {
            EXPECT_EQ(static_cast<bool>(stream->Commit()), c.replaced) << c.what;
        }
        if (c.end == End::Abort) stream->Abort();
        stream.reset();
        EXPECT_EQ(testutil::ReadFile(Local("a.txt")), c.replaced ? fresh : "old content") << c.what;
        EXPECT_EQ(OwnTemps(Local()), std::set<std::string>()) << c.what;
    }
    if (!side_->Caps().Rename) return;
    testutil::WriteFile(Local("b.txt"), "b");
    EXPECT_EQ(side_->Rename(P("a.txt"), P("b.txt")).Kind, TKNSideError::Exists);
    EXPECT_EQ(testutil::ReadFile(Local("b.txt")), "b");
    EXPECT_TRUE(side_->Rename(P("a.txt"), P("c.txt")));
    EXPECT_EQ(NamesIn(Local()), (std::set<std::string>{"b.txt", "c.txt"}));
}

// A server may date its reply to a write by when the request began while the file it wrote is
// dated by when its last byte came: a write that spans a second keeps the time it was given.
TEST_P(SideConformance, AGivenTimeHoldsForAWriteThatSpansASecond)
{
    if (!side_->Caps().KeepsTimes) return;
    kn::TKNWriteTerms terms;
    terms.Size = 8;
    terms.MTime = kOld;
    std::unique_ptr<kn::TKNWriteStream> stream;
    ASSERT_TRUE(side_->OpenWrite(P("slow.txt"), terms, stream));
    ASSERT_TRUE(stream->Write("half", 4));
    // Past the next whole second of the clock the server shares (loopback: one machine).
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    usleep(static_cast<useconds_t>((1'000'000'000 - now.tv_nsec) / 1000 + 100'000));
    ASSERT_TRUE(stream->Write("more", 4));
    ASSERT_TRUE(stream->Commit());
    stream.reset();
    kn::TKNSideEntry entry;
    ASSERT_TRUE(side_->Stat(P("slow.txt"), entry));
    EXPECT_EQ(entry.MTime, kOld);
}

TEST_P(SideConformance, AFileChangedSinceComparedIsLeftAlone)
{
    const bool inodes = side_->Caps().Inodes;
    const std::string path = Local("a.txt");
    struct Case {
        const char* what;
        bool can;
        std::function<void()> change;
    };
    const Case cases[] = {
        {"grown", true, [&] { testutil::WriteFile(path, "compared, then saved again"); }},
        {"retimed", true, [&] { testutil::SetMTime(path, kOld + 7 * 86400); }},
        {"removed", true, [&] { unlink(path.c_str()); }},
        {"replaced by an equal file", inodes,
         [&] {
             struct stat st {};
             stat(path.c_str(), &st);
             testutil::WriteFile(path + "2", testutil::ReadFile(path));
             const timespec times[2] = {st.st_atim, st.st_mtim};
             utimensat(AT_FDCWD, (path + "2").c_str(), times, 0);
             rename((path + "2").c_str(), path.c_str());
         }},
    };
    for (const Case& c : cases) {
        if (!c.can) continue;
        for (const bool remove : {false, true}) {
            testutil::WriteFile(path, "compared");
            testutil::SetMTime(path, kOld);
            kn::TKNSideEntry entry;
            ASSERT_TRUE(side_->Stat(P("a.txt"), entry));
            kn::TKNWriteTerms terms;
            terms.Replaces = kn::ExpectedOf(entry);
            TKNSideResult r;
            if (remove) {
                c.change();
                r = side_->RemoveFile(P("a.txt"), terms.Replaces);
            } else {
                std::unique_ptr<kn::TKNWriteStream> stream;
                ASSERT_TRUE(side_->OpenWrite(P("a.txt"), terms, stream));
                ASSERT_TRUE(stream->Write("source", 6));
                c.change();
                r = stream->Commit();
            }
            EXPECT_EQ(r.Kind, TKNSideError::Changed) << c.what << (remove ? " (remove)" : " (write)");
            EXPECT_NE(testutil::Exists(path) ? testutil::ReadFile(path) : "", "source") << c.what;
            EXPECT_EQ(OwnTemps(Local()), std::set<std::string>()) << c.what;
        }
    }
    // A new file meets an entry the user made meanwhile: before its open or before its commit.
    struct Late {
        const char* name;
        bool folder, beforeOpen;
    };
    for (const Late& c : {Late{"new.txt", false, false}, Late{"early.txt", false, true}, Late{"dir", true, true}}) {
        auto make = [&] {
            c.folder ? testutil::MakeDirs(Local(c.name)) : testutil::WriteFile(Local(c.name), "user's");
        };
        if (c.beforeOpen) make();
        kn::TKNWriteTerms terms;
        terms.Replaces = kn::ExpectedAbsent();
        std::unique_ptr<kn::TKNWriteStream> stream;
        TKNSideResult r = side_->OpenWrite(P(c.name), terms, stream);
        if (r) r = stream->Write("source", 6);
        if (r && !c.beforeOpen) make();
        if (r) r = stream->Commit();
        stream.reset();
        EXPECT_EQ(r.Kind, TKNSideError::Changed) << c.name << ": " << r.Message;
        struct stat st {};
        ASSERT_EQ(lstat(Local(c.name).c_str(), &st), 0) << c.name;
        EXPECT_EQ(S_ISDIR(st.st_mode), c.folder) << c.name;
        if (!c.folder) {
            EXPECT_EQ(testutil::ReadFile(Local(c.name)), "user's") << c.name;
        }
        EXPECT_EQ(OwnTemps(Local()), std::set<std::string>()) << c.name;
    }
}

TEST_P(SideConformance, ModesAreTheGivenOnesWhateverTheUmask)
{
    if (!side_->Caps().SetMode) GTEST_SKIP() << "the kind keeps no modes";
    struct Case {
        const char* name;
        bool folder;
        int mode;
        mode_t umask;
        uint32_t lands;
    };
    const Case cases[] = {
        {"private", true, 0700, 0, 0700},
        {"shared", true, 0755, 077, 0755},
        {"setuid-other-owner", false, static_cast<int>(kn::ModeForCopy(04755, false)), 022, 0755},
        {"private.txt", false, 0600, 0, 0600},
        {"group.txt", false, 0640, 077, 0640},
    };
    for (const Case& c : cases) {
        const mode_t saved = umask(c.umask);
        kn::TKNWriteTerms terms;
        terms.Mode = c.mode;
        const TKNSideResult r = c.folder ? side_->MakeFolder(P(c.name), c.mode) : Put(*side_, P(c.name), "x", terms);
        umask(saved);
        ASSERT_TRUE(r) << c.name << ": " << r.Message;
        // A server tells whether it keeps modes only when first asked (FTP's SITE CHMOD).
        if (!side_->Caps().SetMode) GTEST_SKIP() << "the side found that its server keeps no modes";
        EXPECT_EQ(LocalMode(Local(c.name)), c.lands) << c.name;
        kn::TKNSideEntry entry;
        ASSERT_TRUE(side_->Stat(P(c.name), entry));
        if (entry.ModeKnown) {
            EXPECT_EQ(entry.Mode, c.lands) << c.name;
        }
        EXPECT_TRUE(side_->SetMode(P(c.name), 0705)) << c.name;
        EXPECT_EQ(LocalMode(Local(c.name)), 0705u) << c.name;
    }
    EXPECT_TRUE(side_->MakeFolder(P("private"), 0755)) << "an existing folder is success";
}

TEST_P(SideConformance, TimesAreKeptAtTheKindsStep)
{
    const kn::TKNSideCaps& caps = side_->Caps();
    testutil::WriteFile(Local("f"), "x");
    if (!caps.SetTime) {
        EXPECT_EQ(side_->SetTime(P("f"), kOld, 0).Kind, TKNSideError::Unsupported);
        return;
    }
    struct Case {
        int64_t time;
        int32_t nsec;
        bool byWrite;
    };
    const Case cases[] = {
        {kOld, 123456789, false},
        {946684799, 0, false},
        {4102444800, 500000000, false},
        {kOld + 1, 987654321, true},
    };
    const int64_t step = caps.TimeStep;
    for (const Case& c : cases) {
        if (c.byWrite) {
            kn::TKNWriteTerms terms;
            terms.MTime = c.time;
            terms.MTimeNsec = c.nsec;
            ASSERT_TRUE(Put(*side_, P("f"), "written", terms));
        } else {
            ASSERT_TRUE(side_->SetTime(P("f"), c.time, c.nsec)) << c.time;
        }
        kn::TKNSideEntry entry;
        ASSERT_TRUE(side_->Stat(P("f"), entry));
        struct stat st {};
        ASSERT_EQ(stat(Local("f").c_str(), &st), 0);
        EXPECT_EQ(entry.MTime / step, c.time / step) << c.time;
        if (!kind_->TimesOnDisk()) {
            EXPECT_TRUE(entry.MTimeNsec == 0 || entry.MTimeNsec == c.nsec) << c.time;
            continue;
        }
        EXPECT_EQ(st.st_mtim.tv_sec / step, c.time / step) << c.time;
        // A kind that keeps parts of a second keeps them exactly, and reports what is there.
        if (st.st_mtim.tv_nsec != 0) {
            EXPECT_EQ(st.st_mtim.tv_nsec, c.nsec) << c.time;
        }
        if (entry.MTimeNsec != 0) {
            EXPECT_EQ(entry.MTimeNsec, st.st_mtim.tv_nsec) << c.time;
        }
    }
}

TEST_P(SideConformance, TemporariesAreShortOwnAndNeverHideUserFiles)
{
    const std::string longName(250, 'n');
    std::unique_ptr<kn::TKNWriteStream> stream;
    kn::TKNWriteTerms terms;
    terms.Size = 4;  // a server may show an upload only once it is whole
    ASSERT_TRUE(side_->OpenWrite(P(longName), terms, stream));
    ASSERT_TRUE(stream->Write("part", 4));
    // A server may create the file a moment after the command: wait for it, within reason.
    std::set<std::string> names;
    for (int i = 0; i < 100 && names.empty(); ++i) {
        names = NamesIn(Local());
        if (names.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(kn::IsOwnTempName(*names.begin())) << *names.begin();
    EXPECT_LE(names.begin()->size(), kn::kMaxTempNameLength);
    ASSERT_TRUE(stream->Commit());
    EXPECT_EQ(NamesIn(Local()), std::set<std::string>{longName});

    // Look-alikes are the user's files; even the program's own are listed: the engine decides.
    const std::string own = kn::TempName("a.txt");
    for (const std::string& name : {std::string(".kn-notes-backup"), std::string(".kn-todo-2024q1"), own})
        testutil::WriteFile(Local(name), "x");
    const std::set<std::string> listed = ListedNames(*side_, P(""));
    if (side_->Caps().DotEntries) {
        EXPECT_EQ(listed, (std::set<std::string>{longName, ".kn-notes-backup", ".kn-todo-2024q1", own}));
    } else {
        EXPECT_EQ(listed, std::set<std::string>{longName});
    }
}

TEST_P(SideConformance, AFolderThatCannotBeReadIsNeverEmpty)
{
    testutil::WriteFile(Local("file"), "x");
    testutil::WriteFile(Local("locked/inside"), "x");
    for (const char* rel : {"missing", "missing/deeper", "file", "file/deeper"}) {
        std::vector<kn::TKNSideEntry> entries;
        EXPECT_FALSE(side_->List(P(rel), entries)) << rel;
    }
    auto missing = kind_->Open(Local("missing"), context_);
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->Connect());

    // Permissions bind only for the process itself, so a server's folders are not tried here.
    if (side_->Caps().Remote) return;
    testutil::GiveToUnprivileged(Local());
    const int outcome = testutil::RunUnprivileged([&] {
        auto side = kind_->Open(Local(), context_);
        if (!side || !side->Connect() || ListedNames(*side, P("")).count("locked") == 0) return 10;
        int failures = 0;
        // No read; read without search (names without attributes are no listing either).
        for (const mode_t mode : {0300, 0400}) {
            chmod(Local("locked").c_str(), mode);
            std::vector<kn::TKNSideEntry> entries;
            if (side->List(P("locked"), entries)) ++failures;
        }
        return failures;
    });
    EXPECT_EQ(outcome, 0);
}

TEST_P(SideConformance, AStoppedCopyLeavesTheOldFile)
{
    const int64_t size = 8 << 20;
    std::string data(size, '\0');
    for (int64_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 / 3);
    testutil::WriteFile(Local("big.bin"), data);
    testutil::WriteFile(Local("copy.bin"), "old");
    kn::TKNSideEntry old;
    ASSERT_TRUE(side_->Stat(P("copy.bin"), old));
    kn::TKNWriteTerms terms;
    terms.Size = size;
    terms.Replaces = kn::ExpectedOf(old);
    // The source is a second side: a remote side moves one file at a time.
    auto source = OpenAnother();
    ASSERT_TRUE(source);
    int64_t moved = 0;
    const auto stopAfterFirst = [&](int64_t n) {
        moved += n;
        stop_ = true;
    };
    TKNSideResult r = kn::CopyBetweenSides(*source, P("big.bin"), *side_, P("copy.bin"), terms, stopAfterFirst);
    EXPECT_EQ(r.Kind, TKNSideError::Stopped) << r.Message;
    EXPECT_LT(moved, size);
    EXPECT_TRUE(testutil::ReadFile(Local("copy.bin")) == "old");  // not printed: it may be megabytes
    EXPECT_EQ(OwnTemps(Local()), std::set<std::string>());

    stop_ = false;
    moved = 0;
    r = kn::CopyBetweenSides(*source, P("big.bin"), *side_, P("copy.bin"), terms, [&](int64_t n) { moved += n; });
    ASSERT_TRUE(r) << r.Message;
    EXPECT_EQ(moved, size);
    EXPECT_TRUE(testutil::ReadFile(Local("copy.bin")) == data);
}

TEST_P(SideConformance, ConcurrentWritersLeaveOneWholeVersion)
{
    auto other = OpenAnother();
    ASSERT_TRUE(other);
    const std::size_t size = 3 << 20;
    const auto writeRounds = [&](kn::TKNSide* side, char fill, TKNSideResult* failure) {
        const std::string data(size, fill);
        kn::TKNWriteTerms terms;
        terms.Size = static_cast<int64_t>(size);
        for (int round = 0; round < 3; ++round) {
            std::unique_ptr<kn::TKNWriteStream> stream;
            TKNSideResult r = side->OpenWrite(P("same.bin"), terms, stream);
            for (std::size_t at = 0; r && at < size; at += 256 << 10) r = stream->Write(data.data() + at, 256 << 10);
            if (r) r = stream->Commit();
            if (!r) *failure = r;
        }
    };
    TKNSideResult failA, failB;
    std::thread a(writeRounds, side_.get(), 'A', &failA);
    std::thread b(writeRounds, other.get(), 'B', &failB);
    a.join();
    b.join();
    EXPECT_TRUE(failA) << failA.Message;
    EXPECT_TRUE(failB) << failB.Message;
    const std::string result = testutil::ReadFile(Local("same.bin"));
    ASSERT_EQ(result.size(), size);
    EXPECT_TRUE(result == std::string(size, 'A') || result == std::string(size, 'B'));
    EXPECT_EQ(OwnTemps(Local()), std::set<std::string>());
}

// How a job of a group of files at once ends.
enum class TEnd { Done, Fails, Changed, Dropped, Withdrawn, Missing };
struct TJob {
    kn::TKNSidePath path;
    std::string content;  // what is written, or what a read must give
    bool write;
    TEnd end;
    kn::TKNExpected replaces;
};

// Drives `jobs` as a caller of several files at once does: all opened, each stream moved to its
// end in the order opened, then the write streams committed in that order. Dropped streams go
// before their bytes, withdrawn ones at their commit. Each job's first failure.
std::vector<TKNSideResult> RunGroup(kn::TKNSide& side, const std::vector<TJob>& jobs)
{
    std::vector<std::unique_ptr<kn::TKNReadStream>> readers(jobs.size());
    std::vector<std::unique_ptr<kn::TKNWriteStream>> writers(jobs.size());
    std::vector<TKNSideResult> results(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        kn::TKNWriteTerms terms;
        terms.Size = static_cast<int64_t>(jobs[i].content.size());
        terms.Replaces = jobs[i].replaces;
        results[i] =
            jobs[i].write ? side.OpenWrite(jobs[i].path, terms, writers[i]) : side.OpenRead(jobs[i].path, readers[i]);
    }
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].end == TEnd::Dropped) writers[i].reset();
        if (!results[i] || jobs[i].end == TEnd::Dropped) continue;
        if (jobs[i].write) {
            results[i] = writers[i]->Write(jobs[i].content.data(), jobs[i].content.size());
            continue;
        }
        std::string got;
        char buffer[4096];
        for (int64_t n = 1; results[i] && n > 0;)
            if ((n = readers[i]->Read(buffer, sizeof buffer, results[i])) > 0) got.append(buffer, n);
        EXPECT_TRUE(!results[i] || got == jobs[i].content) << jobs[i].path.Text() << ": " << got;
    }
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].end == TEnd::Withdrawn) writers[i].reset();
        if (writers[i] && results[i]) results[i] = writers[i]->Commit();
    }
    return results;
}

void ExpectEnd(const TJob& job, const TKNSideResult& r)
{
    const std::string what = job.path.Text() + ": " + r.Message;
    switch (job.end) {
        case TEnd::Done:
        case TEnd::Dropped:
        case TEnd::Withdrawn:
            EXPECT_TRUE(r) << what;
            break;
        case TEnd::Fails:
            EXPECT_FALSE(r) << what;
            break;
        case TEnd::Changed:
            EXPECT_EQ(r.Kind, TKNSideError::Changed) << what;
            break;
        case TEnd::Missing:
            EXPECT_EQ(r.Kind, TKNSideError::NotFound) << what;
            break;
    }
}

// Files at once, driven as a caller of Caps().FilesAtOnce streams does: a group opened, each
// stream moved to its end in the order opened, then the write streams committed in that order.
// A write whose folder went away after it was seen, a destination changed since it was compared,
// a stream dropped before its turn (before its bytes, or whole but before its commit) and a read
// of a missing file end alone, each with its own kind: the others end right and nothing is left
// behind.
TEST_P(SideConformance, FilesAtOnceEndEachOnItsOwn)
{
    testutil::WriteFile(Local("src.txt"), "source");
    testutil::WriteFile(Local("old.txt"), "old");
    testutil::WriteFile(Local("changed.txt"), "before");
    testutil::MakeDirs(Local("gone"));
    kn::TKNSideEntry old, compared, none;
    ASSERT_TRUE(side_->Stat(P("old.txt"), old));
    ASSERT_TRUE(side_->Stat(P("changed.txt"), compared));
    ASSERT_EQ(side_->Stat(P("gone/b.txt"), none).Kind, TKNSideError::NotFound);  // the folder was seen
    testutil::WriteFile(Local("changed.txt"), "after, longer");
    ASSERT_EQ(rmdir(Local("gone").c_str()), 0);
    const kn::TKNExpected absent = kn::ExpectedAbsent();
    const std::vector<TJob> jobs = {
        {P("new.txt"), "new", true, TEnd::Done, absent},
        {P("src.txt"), "source", false, TEnd::Done, {}},
        {P("gone/b.txt"), "b", true, TEnd::Fails, absent},
        {P("changed.txt"), "mine", true, TEnd::Changed, kn::ExpectedOf(compared)},
        {P("missing.txt"), "", false, TEnd::Missing, {}},
        {P("dropped.txt"), "dropped", true, TEnd::Dropped, absent},
        {P("old.txt"), "replaced", true, TEnd::Done, kn::ExpectedOf(old)},
        {P("src.txt"), "source", false, TEnd::Done, {}},
        {P("withdrawn.txt"), "whole", true, TEnd::Withdrawn, absent},
        {P("last.txt"), "last", true, TEnd::Done, absent},
    };
    const std::size_t group = static_cast<std::size_t>(std::max(1, side_->Caps().FilesAtOnce));
    for (std::size_t first = 0; first < jobs.size(); first += group) {
        const std::vector<TJob> some(jobs.begin() + first, jobs.begin() + std::min(jobs.size(), first + group));
        const std::vector<TKNSideResult> results = RunGroup(*side_, some);
        for (std::size_t i = 0; i < some.size(); ++i) ExpectEnd(some[i], results[i]);
    }
    EXPECT_EQ(NamesIn(Local()), (std::set<std::string>{"changed.txt", "last.txt", "new.txt", "old.txt", "src.txt"}));
    EXPECT_EQ(testutil::ReadFile(Local("new.txt")), "new");
    EXPECT_EQ(testutil::ReadFile(Local("last.txt")), "last");
    EXPECT_EQ(testutil::ReadFile(Local("old.txt")), "replaced");
    EXPECT_EQ(testutil::ReadFile(Local("changed.txt")), "after, longer");
}

}  // namespace
}  // namespace sidetest
