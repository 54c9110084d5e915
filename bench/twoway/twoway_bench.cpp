// Two-way benchmark: a two-way run over two equal trees of N files (default 100,000 a side, in
// folders of 100) against a plain comparison of them. A run with a state lists both sides at
// once (as the comparison does) while it reads the whole state in one query, then plans; everything is
// unchanged, so nothing is written. A first run plans without a state and records every entry in one transaction.
// Targets: a run with a state at most 1.2x the comparison, a first run at most 1.5x.
//   bench/twoway/run.sh [N] [rounds]
#include <sys/stat.h>
#include <time.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <tuple>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitTwoWayPlan.h"

namespace {

// This thread's processor time: the stages after the listing run on one thread, and their
// processor time does not grow with the load other programs put on the machine.
double CpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double NowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void MakeTree(const std::string& root, int files)
{
    mkdir(root.c_str(), 0755);
    for (int i = 0; i < files; ++i) {
        const std::string folder = root + "/f" + std::to_string(i / 100);
        if (i % 100 == 0) mkdir(folder.c_str(), 0755);
        const std::string path = folder + "/file" + std::to_string(i) + ".txt";
        std::ofstream(path) << i;
        const utimbuf times{1700000000 + i, 1700000000 + i};
        utime(path.c_str(), &times);
    }
}

double CompareMs(const std::string& data)
{
    const double start = NowMs();
    kn::TKNFileCompare engine;
    engine.SetLeftFolder(data + "/left");
    engine.SetRightFolder(data + "/right");
    engine.Compare(true);
    return NowMs() - start;
}

// Both sides listed at once, as a comparison lists them.
struct Listings {
    kn::TKNFileBuffer left, right;
    explicit Listings(const std::string& data)
    {
        left.SetFolder(data + "/left");
        right.SetFolder(data + "/right");
        left.StartScan();
        right.StartScan();
        left.WaitScan();
        right.WaitScan();
    }
};

// Milliseconds of each stage of a two-way run: listing both sides, making the two-way sides,
// waiting for the rest of the state read, planning, recording.
struct Stages {
    double List = 0, Sides = 0, Load = 0, Plan = 0, Record = 0;
    double SidesCpu = 0, PlanCpu = 0, RecordCpu = 0;
    double Total() const { return List + Sides + Load + Plan + Record; }
};

Stages TwoWay(const std::string& data, kn::TKNSyncState& db, const kn::TKNStateKey& key, bool first, int64_t& ops)
{
    Stages t;
    double at = NowMs(), cpuAt = CpuMs();
    auto lap = [&](double& stage, double* cpu = nullptr) {
        const double now = NowMs(), cpuNow = CpuMs();
        stage = now - at;
        if (cpu) *cpu = cpuNow - cpuAt;
        at = now;
        cpuAt = cpuNow;
    };
    // The state is read on a thread of its own while both sides are listed.
    kn::TKNStateMatch match;
    std::vector<kn::TKNStateEntry> state;
    std::string error;
    std::future<bool> loaded = std::async(std::launch::async, [&] { return db.Load(key, match, state, error); });
    kn::TKNTwoWaySide left, right;
    {
        Listings lists(data);
        lap(t.List);
        left = kn::TwoWaySideOf(lists.left, true);
        right = kn::TwoWaySideOf(lists.right, true);
    }
    lap(t.Sides, &t.SidesCpu);
    if (!loaded.get()) std::fprintf(stderr, "%s\n", error.c_str());
    lap(t.Load);
    kn::TKNTwoWayOptions options;
    options.Rules.FirstRun = first;
    const kn::TKNTwoWayPlan plan = kn::PlanTwoWay(state, left, right, options);
    ops = static_cast<int64_t>(plan.Ops.size() + plan.Records.size());
    lap(t.Plan, &t.PlanCpu);
    if (first) {
        if (!db.Apply(key, plan.Records, plan.Forgets, error)) std::fprintf(stderr, "%s\n", error.c_str());
    }
    lap(t.Record, &t.RecordCpu);
    return t;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const char* base = std::getenv("KESTRUNE_BENCH_DATA");
    const std::string data = std::string(base ? base : "/tmp") + "/twoway-" + std::to_string(files);
    struct stat st;
    if (stat((data + "/complete").c_str(), &st) != 0) {
        std::fprintf(stderr, "Generating %s ...\n", data.c_str());
        mkdir(data.c_str(), 0755);
        MakeTree(data + "/left", files);
        MakeTree(data + "/right", files);
        std::ofstream(data + "/complete") << "";
    }
    const std::string stateFile = data + "/state.sqlite";
    kn::TKNOptionsRec options = kn::DefaultOptions("/");
    const kn::TKNStateKey key = kn::StateKeyOf(data + "/left", data + "/right", options);
    std::vector<double> compare;
    std::vector<Stages> twoWay, firstRun;
    int64_t ops = 0, firstOps = 0;
    CompareMs(data);  // warm-up
    for (int r = 0; r < rounds; ++r) {
        std::remove(stateFile.c_str());
        std::remove((stateFile + "-wal").c_str());
        std::remove((stateFile + "-shm").c_str());
        kn::TKNSyncState db;
        std::string error;
        if (!db.Open(stateFile, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        compare.push_back(CompareMs(data));
        firstRun.push_back(TwoWay(data, db, key, true, firstOps));
        twoWay.push_back(TwoWay(data, db, key, false, ops));
    }
    auto median = [](const std::vector<Stages>& runs, double Stages::*stage) {
        std::vector<double> v;
        for (const Stages& s : runs) v.push_back(stage ? s.*stage : s.Total());
        return Median(v);
    };
    const double c = Median(compare);
    std::printf("files a side: %d, rounds: %d (medians)\n", files, rounds);
    std::printf("comparison:          %8.1f ms\n", c);
    for (const auto& [name, runs, count, target] : {std::tuple{"two-way with state:", &twoWay, ops, 1.2},
                                                    std::tuple{"first run:         ", &firstRun, firstOps, 1.5}}) {
        const double total = median(*runs, nullptr);
        // The listing is the comparison's own work; what two-way adds runs on this thread.
        const double added = median(*runs, &Stages::SidesCpu) + median(*runs, &Stages::Load) +
                             median(*runs, &Stages::PlanCpu) + median(*runs, &Stages::RecordCpu);
        std::printf("%s %8.1f ms  %.2fx (target <= %.1fx), %lld operations and records\n", name, total, total / c,
                    target, static_cast<long long>(count));
        std::printf(
            "    list %.0f ms; then sides %.0f, state read waited for %.0f, plan %.0f, record %.0f ms"
            " (processor time)\n    comparison + what two-way adds: %.2fx\n",
            median(*runs, &Stages::List), median(*runs, &Stages::SidesCpu), median(*runs, &Stages::Load),
            median(*runs, &Stages::PlanCpu), median(*runs, &Stages::RecordCpu), (c + added) / c);
    }
    return 0;
}
