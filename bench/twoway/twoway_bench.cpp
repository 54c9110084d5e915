// Two-way benchmark: a two-way run over two equal trees of N files (default 100,000 a side, in
// folders of 100) against a plain comparison of them, both through the engine. A run with a
// state compares (reading the whole state in one query beside the scans), plans and carries the
// plan out; everything is unchanged, so nothing is written. A first run plans without a state
// and records every entry in one transaction.
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
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitTwoWayRun.h"

namespace {

// The process's processor time: on a machine shared with other builds the wall time of a
// listing varies by half between rounds, its processor time hardly.
double CpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
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

// Wall and processor milliseconds of one run.
struct Cost {
    double Wall = 0, Cpu = 0;
};

struct Meter {
    double wall = NowMs(), cpu = CpuMs();
    Cost Stop() const { return {NowMs() - wall, CpuMs() - cpu}; }
};

Cost CompareMs(const std::string& data)
{
    const Meter meter;
    kn::TKNFileCompare engine;
    engine.SetLeftFolder(data + "/left");
    engine.SetRightFolder(data + "/right");
    engine.Compare(true);
    return meter.Stop();
}

// A two-way run through the engine as kestrune-cli makes it: the comparison reads the state
// beside its scans and plans before it empties its listings; the update carries the plan out
// (nothing to do when all is in line) and writes the state (a first run: every entry, in one
// transaction). `ops` receives the plan's operations and records.
Cost TwoWayMs(const std::string& data, const std::string& stateFile, int64_t& ops)
{
    const Meter meter;
    kn::TKNFileCompare engine;
    engine.SetLeftFolder(data + "/left");
    engine.SetRightFolder(data + "/right");
    kn::TKNTwoWaySettings settings;
    settings.StateFile = stateFile;
    auto run = std::make_shared<kn::TKNTwoWayRun>(kn::DefaultOptions("/"), settings);
    engine.TwoWay = run;
    engine.Compare(true);
    if (!run->Ready()) std::fprintf(stderr, "%s\n", run->Problem().c_str());
    ops = static_cast<int64_t>(run->Plan().Ops.size() + run->Plan().Records.size());
    engine.Update(kn::TKNAction::TwoWay, false, {}, true, false, false);
    return meter.Stop();
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
    std::vector<Cost> compare, twoWay, firstRun;
    int64_t ops = 0, firstOps = 0;
    CompareMs(data);  // warm-up
    for (int r = 0; r < rounds; ++r) {
        for (const char* suffix : {"", "-wal", "-shm"}) std::remove((stateFile + suffix).c_str());
        compare.push_back(CompareMs(data));
        firstRun.push_back(TwoWayMs(data, stateFile, firstOps));
        twoWay.push_back(TwoWayMs(data, stateFile, ops));
    }
    auto median = [](const std::vector<Cost>& runs, double Cost::*part) {
        std::vector<double> v;
        for (const Cost& c : runs) v.push_back(c.*part);
        return Median(v);
    };
    const double cWall = median(compare, &Cost::Wall), cCpu = median(compare, &Cost::Cpu);
    std::printf("files a side: %d, rounds: %d (medians)\n", files, rounds);
    std::printf("comparison:          %8.1f ms wall, %8.1f ms processor\n", cWall, cCpu);
    for (const auto& [name, runs, count, target] : {std::tuple{"two-way with state:", &twoWay, ops, 1.2},
                                                    std::tuple{"first run:         ", &firstRun, firstOps, 1.5}}) {
        const double wall = median(*runs, &Cost::Wall), cpu = median(*runs, &Cost::Cpu);
        std::printf(
            "%s %8.1f ms wall (%.2fx), %8.1f ms processor (%.2fx; target <= %.1fx), %lld operations and "
            "records\n",
            name, wall, wall / cWall, cpu, cpu / cCpu, target, static_cast<long long>(count));
    }
    return 0;
}
