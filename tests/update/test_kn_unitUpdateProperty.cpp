// The safety property of an update, on many random trees: random files, folders, links to
// files and folders outside the trees, dangling links and folders that cannot be listed, on both
// sides; random actions, mostly forced, with or without backup, one or two workers, or a dry
// run, of every row or of some. After every run nothing outside the two roots has changed, every
// entry of the two trees that changed is, or lies beneath, a path the run reported working on,
// nothing changed at or beneath the place of a folder that could not be listed, on either side,
// and the comparison that follows the run (which lists again only what the run touched) shows
// exactly the rows of a new comparison of the two trees. The right side is
// each kind of side in turn: local, FTP (pyftpdlib) and SFTP (sshd). A server runs as root here,
// so permissions cannot make a folder unreadable to it: its runs lock no folders, run as the
// test's user and are fewer, to stay fast. The links lead outside the served folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"
#include "tests/update/update_kinds.h"

using namespace testutil;
using Tree = std::map<std::string, std::string>;

namespace {

constexpr int kLocalRuns = 40, kServerRuns = 10;

// Builds random trees. The right one starts as a copy of the left one and is then changed at
// random, so that most folders have a counterpart; folders to be unreadable are chosen on each
// side once the trees are in place.
struct TreeBuilder {
    std::mt19937& rng;
    std::string outside;
    std::vector<std::pair<std::string, mode_t>> locked;

    int Pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

    void Fill(const std::string& folder, int depth)
    {
        static const char* const kNames[] = {"a", "b.txt", "c", "d.txt", "e", "f.txt"};
        for (int count = 2 + Pick(4); count > 0; --count) {
            const std::string path = folder + "/" + kNames[Pick(6)];
            if (Exists(path)) continue;
            const int kind = Pick(10);
            if (kind < 4) {
                Write(path);
            } else if (kind < 8 && depth < 3) {
                MakeDirs(path);
                Fill(path, depth + 1);
            } else if (kind == 8) {
                EXPECT_EQ(symlink((outside + (Pick(2) ? "/folder" : "/file.txt")).c_str(), path.c_str()), 0);
            } else {
                EXPECT_EQ(symlink((outside + "/nothing").c_str(), path.c_str()), 0);
            }
        }
    }

    void Write(const std::string& path)
    {
        static const char* const kContents[] = {"x", "yy", "zzz"};
        WriteFile(path, kContents[Pick(3)]);
        Age(path, 100 * Pick(3));
        if (Pick(10) == 0) chmod(path.c_str(), 0444);
    }

    // Rewrites, removes and adds entries of a copied tree.
    void Change(const std::string& root)
    {
        std::vector<std::string> files, folders{root};
        for (const auto& [rel, value] : Snapshot(root)) {
            if (value == "<dir>")
                folders.push_back(root + "/" + rel);
            else if (value.rfind("-> ", 0) != 0)
                files.push_back(root + "/" + rel);
        }
        for (const std::string& file : files) {
            const int what = Pick(6);
            if (what < 2)
                Write(file);
            else if (what == 2)
                unlink(file.c_str());
        }
        for (const std::string& folder : folders)
            if (Pick(3) == 0) Fill(folder, 2);
    }

    void ChooseLocked(const std::string& root)
    {
        for (const auto& [rel, value] : Snapshot(root))
            if (value == "<dir>" && Pick(4) == 0) locked.emplace_back(root + "/" + rel, Pick(2) ? 0 : 0300);
    }

    void Lock()
    {
        for (auto it = locked.rbegin(); it != locked.rend(); ++it) chmod(it->first.c_str(), it->second);
    }
    void Unlock()
    {
        for (const auto& [path, mode] : locked) chmod(path.c_str(), 0700);
    }
};

struct RunChoice {
    kn::TKNAction direction;
    bool force, backup;
    int transfers;
    bool dryRun, someRows;
};

std::string Describe(const RunChoice& c)
{
    std::ostringstream s;
    s << "direction " << int(c.direction) << (c.force ? " force" : "") << (c.backup ? " backup" : "") << " transfers "
      << c.transfers << (c.dryRun ? " dry-run" : "") << (c.someRows ? " some rows" : "");
    return s.str();
}

// Compares and updates (as the unprivileged user where `unprivileged`), every row or, with
// `someRows`, a random half; the local paths of what the run reports go to `report`, one per
// line. Returns 0 on success, 3 when the comparison after the run differs from a new one (both
// then follow in `report`, with why a comparison failed).
int RunUpdate(const UpdateKind& kind, const std::string& left, const std::string& right, const RunChoice& c,
              std::mt19937& rng, const std::string& report, bool unprivileged)
{
    auto body = [&] {
        UpdateHarness h(left, kind.Location(right));
        h.engine.Transfers = c.transfers;
        h.engine.UpdateDryRun = c.dryRun;
        h.Compare();
        if (!h.engine.ErrorText.empty()) return 1;
        std::vector<int> rows;
        for (int row : h.AllRows())
            if (!c.someRows || rng() % 2) rows.push_back(row);
        h.engine.Update(c.direction, c.force, rows, true, true, c.backup);
        std::ofstream out(report);
        for (const std::string& path : h.progress) out << kind.LocalOf(path) << "\n";
        UpdateHarness fresh(left, kind.Location(right));
        fresh.Compare();
        if (RowTexts(h.engine) == RowTexts(fresh.engine)) return out ? 0 : 2;
        for (const auto* e : {&h.engine, &fresh.engine}) {
            out << "== " << (e == &h.engine ? "after the run" : "compared anew") << " " << e->ErrorText << "\n";
            for (const std::string& text : RowTexts(*e)) out << text << "\n";
        }
        return 3;
    };
    return unprivileged ? RunUnprivileged(body) : body();
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool Beneath(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

bool CoveredBy(const std::string& path, const std::vector<std::string>& reported)
{
    for (const std::string& r : reported)
        if (path == r || Beneath(path, r)) return true;
    return false;
}

// The other side may have a file where a folder could not be listed, which a mirror may
// replace as usual: what lies beneath that place is what must stay.
bool BeneathAny(const std::string& path, const std::vector<std::string>& folders)
{
    for (const std::string& folder : folders)
        if (Beneath(path, folder)) return true;
    return false;
}

// Every entry of `root` that appeared, vanished or changed between the two snapshots.
std::vector<std::string> Changed(const std::string& root, const Tree& before, const Tree& after)
{
    std::vector<std::string> changed;
    for (const auto& [rel, value] : before) {
        auto it = after.find(rel);
        if (it == after.end() || it->second != value) changed.push_back(root + "/" + rel);
    }
    for (const auto& [rel, value] : after)
        if (!before.count(rel)) changed.push_back(root + "/" + rel);
    return changed;
}

}  // namespace

class UpdateProperty : public testing::TestWithParam<std::string> {};

TEST_P(UpdateProperty, NothingOutsideTheRootsAndNothingUnreportedChanges)
{
    UpdateKind& kind = KindNamed(GetParam());
    const bool server = kind.ServerIsRoot();
    for (int run = 0; run < (server ? kServerRuns : kLocalRuns); ++run) {
        std::mt19937 rng(static_cast<unsigned>(run) * 7919u + 17u);
        const std::string base = kind.Folder();
        // Outside the served folder: a server keeps its paths inside it anyway.
        TempDir outsideDir;
        chmod(outsideDir.path().c_str(), 0755);
        const std::string left = base + "/L", right = base + "/R", outside = outsideDir / "o", home = base + "/home";
        WriteFile(outside + "/file.txt", "outside");
        WriteFile(outside + "/folder/inner.txt", "outside");
        MakeDirs(left);
        MakeDirs(home);
        TreeBuilder leftTree{rng, outside, {}}, rightTree{rng, outside, {}};
        leftTree.Fill(left, 0);
        const std::string copy = "cp -a '" + left + "' '" + right + "'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        rightTree.Change(right);
        if (!server) {
            leftTree.ChooseLocked(left);
            rightTree.ChooseLocked(right);
        }
        const RunChoice choice{static_cast<kn::TKNAction>(rng() % 3), rng() % 4 != 0, rng() % 3 == 0,
                               1 + static_cast<int>(rng() % 4),       rng() % 6 == 0, rng() % 2 == 0};
        chmod(base.c_str(), 0755);
        // Everything belongs to the user the run is made as, the outside too: a write through a
        // link would succeed there, so only the engine's own care keeps it out.
        if (!server) {
            GiveToUnprivileged(base);
            GiveToUnprivileged(outsideDir.path());
        }
        leftTree.Lock();
        rightTree.Lock();
        const Tree outsideBefore = Snapshot(outside), leftBefore = Snapshot(left), rightBefore = Snapshot(right);

        setenv("KESTRUNE_HOME", home.c_str(), 1);
        const int result = RunUpdate(kind, left, right, choice, rng, base + "/report.txt", !server);
        unsetenv("KESTRUNE_HOME");
        const std::string what = "run " + std::to_string(run) + ": " + Describe(choice);
        ASSERT_EQ(result, 0) << what << " (99: cannot give up root)\n" << ReadFile(base + "/report.txt");

        EXPECT_EQ(Snapshot(outside), outsideBefore) << what;
        std::vector<std::string> reported =
            choice.dryRun ? std::vector<std::string>{} : ReadLines(base + "/report.txt");
        // The places of the locked folders, on both sides.
        std::vector<std::string> unknown;
        for (const TreeBuilder* tree : {&leftTree, &rightTree})
            for (const auto& locked : tree->locked) {
                const std::string rel = locked.first.substr((tree == &leftTree ? left : right).size());
                unknown.push_back(left + rel);
                unknown.push_back(right + rel);
            }
        for (const auto& [root, before] : {std::pair{left, leftBefore}, std::pair{right, rightBefore}})
            for (const std::string& path : Changed(root, before, Snapshot(root))) {
                EXPECT_TRUE(CoveredBy(path, reported)) << what << ": " << path << " changed unreported";
                EXPECT_FALSE(BeneathAny(path, unknown)) << what << ": " << path << " changed in an unlisted folder";
            }
        leftTree.Unlock();
        rightTree.Unlock();
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, UpdateProperty, testing::ValuesIn(KindNames()),
                         [](const testing::TestParamInfo<std::string>& param) { return param.param; });
