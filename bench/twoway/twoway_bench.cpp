// Two-way benchmark: a two-way run over two equal trees of N files (default 100,000 a side, in
// folders of 100) against a plain comparison of them. A run with a state lists both sides at
// once (as the comparison does), reads the whole state in one query and plans; everything is
// unchanged, so nothing is written. A first run plans without a state and records every entry in one transaction.
// Targets: a run with a state at most 1.2x the comparison, a first run at most 1.5x.
//   bench/twoway/run.sh [N] [rounds]
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitTwoWayPlan.h"

namespace {

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

double TwoWayMs(const std::string& data, kn::TKNSyncState& db, const kn::TKNStateKey& key, bool first, int64_t& ops)
{
    const double start = NowMs();
    kn::TKNTwoWaySide left, right;
    {
        Listings lists(data);
        left = kn::TwoWaySideOf(lists.left, true);
        right = kn::TwoWaySideOf(lists.right, true);
    }
    kn::TKNStateMatch match;
    std::vector<kn::TKNStateEntry> state;
    std::string error;
    if (!db.Load(key, match, state, error)) std::fprintf(stderr, "%s\n", error.c_str());
    kn::TKNTwoWayOptions options;
    options.Rules.FirstRun = first;
    const kn::TKNTwoWayPlan plan = kn::PlanTwoWay(state, left, right, options);
    ops = static_cast<int64_t>(plan.Ops.size());
    if (first) {
        std::vector<kn::TKNStateEntry> records;
        records.reserve(plan.Ops.size());
        for (const kn::TKNTwoWayOp& op : plan.Ops) records.insert(records.end(), op.Records.begin(), op.Records.end());
        if (!db.Apply(key, records, {}, error)) std::fprintf(stderr, "%s\n", error.c_str());
    }
    return NowMs() - start;
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
    std::vector<double> compare, twoWay, firstRun;
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
        firstRun.push_back(TwoWayMs(data, db, key, true, firstOps));
        twoWay.push_back(TwoWayMs(data, db, key, false, ops));
    }
    const double c = Median(compare), t = Median(twoWay), f = Median(firstRun);
    std::printf("files a side: %d, rounds: %d (medians)\n", files, rounds);
    std::printf("comparison:           %8.1f ms\n", c);
    std::printf("two-way with state:   %8.1f ms  %.2fx (target <= 1.2x), %lld operations\n", t, t / c,
                static_cast<long long>(ops));
    std::printf("first run (records):  %8.1f ms  %.2fx (target <= 1.5x), %lld entries recorded\n", f, f / c,
                static_cast<long long>(firstOps));
    return 0;
}
