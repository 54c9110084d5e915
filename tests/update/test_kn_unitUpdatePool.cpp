// The pool of update workers: the stages it runs in (a table), the order rules on random trees
// with several workers at once, workers whose sides fail or are refused, and a stop. The
// workers' sides are local sides wrapped by a side that records when each change began and
// ended, slows the changes down a little (so that workers overlap) and, where a case says so,
// refuses connections beyond a limit or fails the writes of one worker.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>
#include <tuple>

#include "engine/kn_unitSideRegistry.h"
#include "engine/kn_unitUpdateSchedule.h"
#include "tests/common/ftp_server.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

using namespace testutil;
using kn::TKNOperation;
using Tree = std::map<std::string, std::string>;

namespace {

// --- The stages -------------------------------------------------------------------------------

TEST(UpdateStages, FoldersFirstByDepthThenFilesThenDeletionsThenLocksThenRemovalsDeepestFirst)
{
    using Op = TKNOperation;
    struct Case {
        const char* name;
        std::vector<kn::TKNScheduleItem> items;
        std::vector<std::vector<std::size_t>> stages;
    };
    const kn::TKNScheduleItem copyDeep{Op::CopyLeftToRight, false, false, 3}, makeA{Op::CreateFolder, true, false, 1},
        makeAB{Op::CreateFolder, true, false, 2}, del{Op::DeleteRight, false, false, 1},
        lockFolder{Op::SetAttributes, true, true, 1}, unlockFolder{Op::SetAttributes, true, false, 2},
        lockFile{Op::SetAttributes, false, true, 2}, removeB{Op::RemoveFolder, true, false, 1},
        removeBC{Op::RemoveFolder, true, false, 2}, setTime{Op::SetTime, false, false, 1}, none{};
    const Case cases[] = {
        {"nothing", {none, none}, {}},
        {"plan order kept within a stage", {copyDeep, setTime, lockFile}, {{0, 1, 2}}},
        {"parents made before children, whatever the plan's order", {makeAB, copyDeep, makeA}, {{2}, {0}, {1}}},
        {"a folder made writable with the folders of its depth", {unlockFolder, makeA, makeAB}, {{1}, {0, 2}}},
        {"deletions after the copies", {del, copyDeep}, {{1}, {0}}},
        {"a folder made read-only after what is written and deleted in it",
         {lockFolder, del, copyDeep, makeA},
         {{3}, {2}, {1}, {0}}},
        {"removals last, deepest first", {removeB, removeBC, del, none}, {{2}, {1}, {0}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kn::UpdateStages(c.items), c.stages) << c.name;
        std::size_t widest = 0;
        for (const auto& stage : c.stages) widest = std::max(widest, stage.size());
        EXPECT_EQ(kn::WidestStage(kn::UpdateStages(c.items)), widest) << c.name;
    }
}

TEST(UpdateStages, StoredTransfersReadAsTheDefaultWhenUnsetAndAtMostTheLimit)
{
    for (auto [stored, workers] : {std::pair{0, 4}, {1, 1}, {4, 4}, {16, 16}, {17, 16}, {255, 16}})
        EXPECT_EQ(kn::TransfersOf(static_cast<uint8_t>(stored)), workers) << stored;
    for (auto [asked, stored, older] : {std::tuple{1, 1, 0}, {3, 3, 1}, {0, 1, 0}, {99, 16, 1}}) {
        kn::TKNOptionsRec rec{};
        kn::SetTransfers(rec, asked);
        EXPECT_EQ(rec.Transfers, stored) << asked;
        EXPECT_EQ(rec.MultiThread, older) << asked << ": what older versions read";
    }
}

// --- A side that records, limits and fails ----------------------------------------------------

// One change a worker made, by the order of its begin and end among all changes.
struct Change {
    std::string what;  // "make", "write", "mode", "time", "delete", "rmdir"
    std::string path;  // below the root
    bool readOnly = false;
    int begin = 0, end = 0;
};

struct Recorder {
    std::mutex lock;
    std::vector<Change> changes;
    std::atomic<int> clock{0};
    // The written root plays a server: it takes `limit` connections at once, and the writes of
    // its side opened `failing`-th (from 0) fail.
    std::string server;
    std::atomic<int> connected{0}, maxConnected{0}, refused{0}, opened{0};
    int limit = 1000;
    int failing = -1;
    bool waitInWrites = false;  // a write lasts until the worker's stop flag is raised
    std::atomic<int> begunAfterStop{0};
    std::atomic<bool> stopAsked{false};

    int Begin() { return ++clock; }
    void End(Change change)
    {
        change.end = ++clock;
        std::lock_guard<std::mutex> guard(lock);
        changes.push_back(std::move(change));
    }
};

class RecordingWrite : public kn::TKNWriteStream {
public:
    RecordingWrite(std::unique_ptr<kn::TKNWriteStream> inner, Recorder& recorder, Change change)
        : inner_(std::move(inner)), recorder_(recorder), change_(std::move(change))
    {
    }
    kn::TKNSideResult Write(const char* data, std::size_t size) override { return inner_->Write(data, size); }
    kn::TKNSideResult WriteFrom(kn::TKNReadStream& source, const std::function<void(int64_t)>& moved) override
    {
        return inner_->WriteFrom(source, moved);
    }
    kn::TKNSideResult Commit() override
    {
        kn::TKNSideResult result = inner_->Commit();
        if (result) recorder_.End(change_);
        return result;
    }
    void Abort() override { inner_->Abort(); }

private:
    std::unique_ptr<kn::TKNWriteStream> inner_;
    Recorder& recorder_;
    Change change_;
};

class RecordingSide : public kn::TKNSide {
public:
    RecordingSide(const std::string& location, const kn::TKNSideContext& context, Recorder& recorder)
        : inner_(kn::OpenSide(location, context)),
          context_(context),
          recorder_(recorder),
          server_(location == recorder.server),
          instance_(server_ ? recorder.opened++ : -1)
    {
    }
    ~RecordingSide() override
    {
        if (connected_) --recorder_.connected;
    }
    const kn::TKNSideCaps& Caps() const override { return inner_->Caps(); }
    std::string Shown(const kn::TKNSidePath& path) const override { return inner_->Shown(path); }
    kn::TKNSideResult Connect() override
    {
        if (!server_) return inner_->Connect();
        const int now = ++recorder_.connected;
        if (now > recorder_.limit) {
            --recorder_.connected;
            ++recorder_.refused;
            return kn::TKNSideResult::Fail(kn::TKNSideError::TooManyConnections, "421 Too many connections.");
        }
        connected_ = true;
        int seen = recorder_.maxConnected;
        while (now > seen && !recorder_.maxConnected.compare_exchange_weak(seen, now)) {
        }
        return inner_->Connect();
    }
    kn::TKNSideResult List(const kn::TKNSidePath& folder, std::vector<kn::TKNSideEntry>& entries) override
    {
        return inner_->List(folder, entries);
    }
    kn::TKNSideResult Stat(const kn::TKNSidePath& path, kn::TKNSideEntry& entry) override
    {
        return inner_->Stat(path, entry);
    }
    kn::TKNSideResult OpenRead(const kn::TKNSidePath& path, std::unique_ptr<kn::TKNReadStream>& stream) override
    {
        return inner_->OpenRead(path, stream);
    }
    kn::TKNSideResult OpenWrite(const kn::TKNSidePath& path, const kn::TKNWriteTerms& terms,
                                std::unique_ptr<kn::TKNWriteStream>& stream) override
    {
        Change change = Start("write", path);
        if (server_ && instance_ == recorder_.failing)
            return kn::TKNSideResult::Fail(kn::TKNSideError::Other, "The disk is on fire.");
        if (recorder_.waitInWrites) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!context_.Stopped() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (context_.Stopped()) return kn::TKNSideResult::Fail(kn::TKNSideError::Stopped, "Stopped.");
        }
        std::unique_ptr<kn::TKNWriteStream> inner;
        kn::TKNSideResult result = inner_->OpenWrite(path, terms, inner);
        if (result) stream = std::make_unique<RecordingWrite>(std::move(inner), recorder_, change);
        return result;
    }
    kn::TKNSideResult MakeFolder(const kn::TKNSidePath& path, int mode) override
    {
        return Done(Start("make", path), inner_->MakeFolder(path, mode));
    }
    kn::TKNSideResult RemoveFolder(const kn::TKNSidePath& path) override
    {
        return Done(Start("rmdir", path), inner_->RemoveFolder(path));
    }
    kn::TKNSideResult RemoveFile(const kn::TKNSidePath& path, const kn::TKNExpected& expected) override
    {
        return Done(Start("delete", path), inner_->RemoveFile(path, expected));
    }
    kn::TKNSideResult SetTime(const kn::TKNSidePath& path, int64_t mtime, int32_t nsec) override
    {
        return Done(Start("time", path), inner_->SetTime(path, mtime, nsec));
    }
    kn::TKNSideResult SetMode(const kn::TKNSidePath& path, uint32_t mode) override
    {
        Change change = Start("mode", path);
        change.readOnly = (mode & 0200) == 0;
        return Done(change, inner_->SetMode(path, mode));
    }
    kn::TKNSideResult Rename(const kn::TKNSidePath& from, const kn::TKNSidePath& to) override
    {
        return inner_->Rename(from, to);
    }

private:
    Change Start(const char* what, const kn::TKNSidePath& path)
    {
        if (recorder_.stopAsked) ++recorder_.begunAfterStop;
        Change change{what, path.Text(), false, recorder_.Begin(), 0};
        std::this_thread::sleep_for(std::chrono::microseconds(300));  // workers overlap
        return change;
    }
    kn::TKNSideResult Done(const Change& change, kn::TKNSideResult result)
    {
        if (result) recorder_.End(change);
        return result;
    }

    std::unique_ptr<kn::TKNSide> inner_;
    kn::TKNSideContext context_;
    Recorder& recorder_;
    const bool server_;
    const int instance_;
    bool connected_ = false;
};

void Record(UpdateHarness& h, Recorder& recorder)
{
    recorder.server = h.engine.RightList.Location();
    h.engine.OpenUpdateSide = [&recorder](const std::string& location, const kn::TKNSideContext& context) {
        return std::make_unique<RecordingSide>(location, context, recorder);
    };
}

bool Under(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// The order rules, seen in what the workers did: every change inside a folder made by the run
// began after the folder was made; every deletion began after every copy ended; a folder made
// read-only, and a folder removed, after every change inside it ended.
void ExpectOrderRules(const std::vector<Change>& changes, const std::string& what)
{
    int lastWrite = 0;
    for (const Change& c : changes)
        if (c.what == "write") lastWrite = std::max(lastWrite, c.end);
    for (const Change& folder : changes)
        for (const Change& c : changes) {
            if (!Under(c.path, folder.path)) continue;
            if (folder.what == "make") {
                EXPECT_GT(c.begin, folder.end) << what << ": " << c.what << " " << c.path << " before its folder";
            }
            if (folder.what == "rmdir" || (folder.what == "mode" && folder.readOnly)) {
                EXPECT_LT(c.end, folder.begin)
                    << what << ": " << folder.what << " " << folder.path << " before " << c.what << " " << c.path;
            }
        }
    for (const Change& c : changes) {
        if (c.what == "delete" || c.what == "rmdir") {
            EXPECT_GT(c.begin, lastWrite) << what << ": " << c.what << " " << c.path << " before a copy ended";
        }
    }
}

void RandomTree(std::mt19937& rng, const std::string& folder, int depth)
{
    // Folders and files take names of their own: a file where the other side has a folder is
    // a clash no order resolves.
    for (int count = 1 + static_cast<int>(rng() % 5); count > 0; --count) {
        const bool makeFolder = depth < 3 && rng() % 3 == 0;
        const std::string path = folder + "/" + (makeFolder ? "d" : "f") + std::to_string(rng() % 4);
        if (Exists(path)) continue;
        if (makeFolder) {
            MakeDirs(path);
            RandomTree(rng, path, depth + 1);
        } else {
            Put(path, std::string(1 + rng() % 3, 'x'), static_cast<int>(rng() % 3) * 100);
        }
    }
}

// --- The runs ---------------------------------------------------------------------------------

// Random trees on both sides, mirrored with four workers (some folders read-only on the left,
// so the right ones are made read-only after their contents): the right tree ends as the left
// one and the order rules hold in what the workers did.
TEST(UpdatePool, OrderRulesHoldOnRandomTreesWithFourWorkers)
{
    for (int run = 0; run < 12; ++run) {
        std::mt19937 rng(static_cast<unsigned>(run) * 104729u + 3u);
        TempDir dir;
        const std::string L = dir / "L", R = dir / "R";
        MakeDirs(L);
        MakeDirs(R);
        RandomTree(rng, L, 0);
        RandomTree(rng, R, 0);
        // Folders on both sides, some read-only on the left: the right ones become read-only
        // after their contents.
        std::vector<std::string> locked;
        const Tree right = Snapshot(R);
        for (const auto& [rel, value] : Snapshot(L))
            if (value == "<dir>" && right.count(rel) && right.at(rel) == "<dir>" && rng() % 2 == 0)
                locked.push_back(L + "/" + rel);
        UpdateHarness h(L, R);
        h.engine.Transfers = 4;
        Recorder recorder;
        Record(h, recorder);
        for (const std::string& folder : locked) chmod(folder.c_str(), 0555);
        h.Compare();
        h.Update(kn::TKNAction::LeftToRight, true);
        const std::string what = "run " + std::to_string(run);
        EXPECT_EQ(h.errors, std::vector<std::string>{}) << what;
        EXPECT_EQ(Snapshot(R), Snapshot(L)) << what;
        ExpectOrderRules(recorder.changes, what);
        for (const std::string& folder : locked) chmod(folder.c_str(), 0755);
        for (const auto& [rel, value] : Snapshot(R))
            if (value == "<dir> (ro)") chmod((R + "/" + rel).c_str(), 0755);
    }
}

// Fewer connections than workers: the refused workers retire, the others do every job and a
// notice says so; no connection at all fails the run as a single worker's would, with nothing
// done. One worker's writes failing are its operations' failures, reported as data; the other
// workers carry on.
TEST(UpdatePool, RefusedAndFailingWorkersShrinkThePoolWithoutFailingTheRun)
{
    struct Case {
        const char* name;
        int limit, failing;
        bool runFails;
    };
    for (const Case& c : {Case{"one connection", 1, -1, false}, Case{"two connections", 2, -1, false},
                          Case{"none", 0, -1, true}, Case{"one worker's writes fail", 1000, 1, false}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        for (int i = 0; i < 40; ++i) Put(dir / ("L/d" + std::to_string(i % 4) + "/f" + std::to_string(i)), "x", 0);
        MakeDirs(dir / "R");
        UpdateHarness h(dir / "L", dir / "R");
        std::vector<std::string> notices;
        h.engine.OnNotice = [&notices](void*, const std::string& text) { notices.push_back(text); };
        ASSERT_EQ(h.Compare(), 44u);
        h.engine.Transfers = 4;
        Recorder recorder;
        recorder.limit = c.limit;
        recorder.failing = c.failing;
        Record(h, recorder);
        h.Update(kn::TKNAction::LeftToRight, false);
        const kn::TKNUpdateOutcome& outcome = h.engine.LastUpdate();
        EXPECT_LE(recorder.maxConnected.load(), c.limit);
        if (c.runFails) {
            EXPECT_EQ(h.errors, std::vector<std::string>{"421 Too many connections."});
            EXPECT_TRUE(Snapshot(dir / "R").empty());
            continue;
        }
        EXPECT_EQ(h.errors.size(), outcome.Failures.size());
        EXPECT_EQ(outcome.Done.FilesToCopy + static_cast<int64_t>(outcome.Failures.size()), 40);
        EXPECT_EQ(outcome.Done.FoldersToCreate, 4);
        for (const auto& failure : outcome.Failures)
            EXPECT_NE(failure.Message.find("The disk is on fire."), std::string::npos) << failure.Message;
        if (c.failing >= 0) {
            EXPECT_FALSE(outcome.Failures.empty()) << "the failing worker took some jobs";
            EXPECT_LT(outcome.Failures.size(), 40u) << "the others went on";
            continue;
        }
        EXPECT_TRUE(outcome.Failures.empty());
        EXPECT_EQ(Snapshot(dir / "R"), Snapshot(dir / "L"));
        EXPECT_GT(recorder.refused.load(), 0);
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find("could not connect"), std::string::npos) << notices[0];
    }
}

// A real server that takes two logins at once: an upload with four workers goes on with two.
TEST(UpdatePool, AServerThatTakesTwoLoginsServesTheUploadWithTwo)
{
    FtpServer::Options options;
    options.MaxConnections = 2;
    FtpServer server(options);
    TempDir dir;
    for (int i = 0; i < 24; ++i) Put(dir / ("L/d" + std::to_string(i % 3) + "/f" + std::to_string(i)), "x", 0);
    MakeDirs(server.Root() + "/site");
    UpdateHarness h(dir / "L", server.Location("/site"));
    std::vector<std::string> notices;
    h.engine.OnNotice = [&notices](void*, const std::string& text) { notices.push_back(text); };
    ASSERT_EQ(h.Compare(), 27u) << h.engine.ErrorText;
    h.engine.Transfers = 4;
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(server.Root() + "/site"), Snapshot(dir / "L"));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("2 of 4 transfers at once could not connect"), std::string::npos) << notices[0];
}

// A stop while every worker is inside a long write ends the run within a second; nothing is
// begun after it, and the files in work stay as they were.
TEST(UpdatePool, AStopEndsEveryWorkerWithinASecond)
{
    TempDir dir;
    for (int i = 0; i < 20; ++i) Put(dir / ("L/f" + std::to_string(i)), "new", 100);
    for (int i = 0; i < 20; ++i) Put(dir / ("R/f" + std::to_string(i)), "old", 0);
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 20u);
    h.engine.Transfers = 4;
    Recorder recorder;
    recorder.waitInWrites = true;
    Record(h, recorder);
    std::chrono::steady_clock::time_point stoppedAt;
    std::thread stopper([&] {
        while (recorder.clock.load() < 4) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        recorder.stopAsked = true;
        stoppedAt = std::chrono::steady_clock::now();
        h.engine.StopCompare();
    });
    h.Update(kn::TKNAction::LeftToRight, false);
    const auto ended = std::chrono::steady_clock::now();
    stopper.join();
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(ended - stoppedAt).count(), 1000);
    EXPECT_TRUE(h.engine.LastUpdate().Stopped);
    EXPECT_EQ(recorder.begunAfterStop.load(), 0);
    EXPECT_EQ(h.engine.LastUpdate().Done.FilesToCopy, 0);
    for (const auto& [rel, content] : Snapshot(dir / "R")) EXPECT_EQ(content, "old") << rel;
}

}  // namespace
