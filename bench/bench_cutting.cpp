// The cutting optimiser on the standard instances (Falkenauer's uniform and triplet sets, beside the
// sources in ../shared/cutting) and on generated ones of known optimum with long bars (3 to 5 pieces a
// bar, and triplets), against first fit decreasing on the same instances. Per set and way: instances
// at the optimum, bars over it in total, the worst and median time; and how often the lower bound is
// the optimum. Every plan passes the checker of the tests. Wall time: the optimiser's time limit is one.

#include "cutting/GeneratedProblems.h"
#include "cutting/PlanCheck.h"

#include "cutting/Cutting.h"
#include "cutting/InstanceFile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace kvt::cutting;

struct Instance {
    std::string name;
    Problem problem;
    int optimum = 0;
};

struct Set {
    std::string name;
    std::vector<Instance> instances;
};

std::vector<Set> g_sets;

std::vector<Instance> readSet(const std::filesystem::path& folder, const std::map<std::string, int>& optima) {
    std::vector<Instance> instances;
    if (!std::filesystem::is_directory(folder))
        return instances;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        Instance instance;
        std::string error;
        const auto optimum = optima.find(file.stem().string());
        if (optimum == optima.end() || !readInstance(file.string(), instance.problem, error))
            continue;
        instance.name = file.stem().string();
        instance.optimum = optimum->second;
        instances.push_back(std::move(instance));
    }
    return instances;
}

void loadSets() {
    const std::filesystem::path shared = std::filesystem::path(KVT_SOURCE_DIR) / ".." / "shared" / "cutting";
    std::map<std::string, int> optima;
    std::ifstream bounds(shared / "bounds.tsv");
    std::string line;
    while (std::getline(bounds, line)) {
        std::istringstream fields(line);
        std::string name;
        int lower = 0, optimum = 0;
        if (fields >> name >> lower >> optimum)
            optima[name] = optimum;
    }
    for (const char* set : {"Falkenauer_U", "Falkenauer_T"}) {
        Set s{set, readSet(shared / set, optima)};
        if (!s.instances.empty())
            g_sets.push_back(std::move(s));
    }
    // Long bars (100,000 mm here, as in the longest standard sets): pieces of 3 to 5 a bar, and triplets.
    Set longBars{"Generated_long_3to5", {}};
    Set triplets{"Generated_long_triplets", {}};
    for (int i = 0; i < 10; ++i) {
        const int bars = 30 + 5 * i; // about 100 to 300 pieces

        auto known = generated::wasteless(1000 + i, bars, 1'000'000, 3, 5, 50'000);
        longBars.instances.push_back({"long_" + std::to_string(i), known.problem, known.optimum});
        known = generated::wasteless(2000 + i, bars, 1'000'000, 3, 3, 250'010);
        triplets.instances.push_back({"triplets_" + std::to_string(i), known.problem, known.optimum});
    }
    g_sets.push_back(std::move(longBars));
    g_sets.push_back(std::move(triplets));
}

double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Tally {
    int atOptimum = 0;
    int barsOver = 0;
    int worstOver = 0;
    int boundIsOptimum = 0;
    std::vector<double> seconds;
    double cpuSeconds = 0; ///< the worst instance's processor time: the machine may be shared
    std::string error;
};

void report(const std::string& set, const std::string& way, const Tally& t, std::size_t n) {
    std::vector<double> s = t.seconds;
    std::sort(s.begin(), s.end());
    const double median = s.empty() ? 0 : s[s.size() / 2];
    const double worst = s.empty() ? 0 : s.back();
    std::printf("cutting: %-24s %-6s %3d/%-3zu at the optimum, %4d bars over (at most %d on one), worst %6.3f s "
                "(processor %6.3f s), median %6.3f s",
                set.c_str(), way.c_str(), t.atOptimum, n, t.barsOver, t.worstOver, worst, t.cpuSeconds, median);
    if (way == "solve")
        std::printf(", lower bound = optimum on %d/%zu", t.boundIsOptimum, n);
    std::printf("\n");
    std::fflush(stdout);
}

void runSet(benchmark::State& state, const Set& set, bool optimiser) {
    Tally tally;
    for (auto _ : state) {
        tally = {};
        for (const Instance& instance : set.instances) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = cpuNow();
            const Plan plan = optimiser ? solve(instance.problem) : firstFitDecreasing(instance.problem);
            tally.seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            tally.cpuSeconds = std::max(tally.cpuSeconds, cpuNow() - cpuStart);
            const std::string error = check::planError(instance.problem, plan);
            if (!error.empty() && tally.error.empty())
                tally.error = instance.name + ": " + error;
            if (optimiser && plan.lowerBound > instance.optimum && tally.error.empty())
                tally.error = instance.name + ": lower bound above the known optimum";
            const int over = plan.newBars - instance.optimum;
            if (optimiser && std::getenv("KVT_BENCH_VERBOSE"))
                std::printf("  %s: %d bars, optimum %d, bound %d, %.3f s\n", instance.name.c_str(), plan.newBars,
                            instance.optimum, plan.lowerBound, tally.seconds.back());
            tally.atOptimum += over == 0;
            tally.barsOver += std::max(over, 0);
            tally.worstOver = std::max(tally.worstOver, over);
            tally.boundIsOptimum += plan.lowerBound == instance.optimum;
        }
    }
    if (!tally.error.empty()) {
        state.SkipWithError(tally.error.c_str());
        return;
    }
    report(set.name, optimiser ? "solve" : "ffd", tally, set.instances.size());
    state.counters["at_optimum"] = tally.atOptimum;
    state.counters["bars_over"] = tally.barsOver;
    state.counters["worst_s"] = *std::max_element(tally.seconds.begin(), tally.seconds.end());
    if (!optimiser)
        state.SetLabel("baseline");
}

} // namespace

int main(int argc, char** argv) {
    loadSets();
    for (const Set& set : g_sets) {
        benchmark::RegisterBenchmark(("ffd/cutting_" + set.name).c_str(),
                                     [&set](benchmark::State& s) { runSet(s, set, false); })
            ->Iterations(1)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("solve/cutting_" + set.name).c_str(),
                                     [&set](benchmark::State& s) { runSet(s, set, true); })
            ->Iterations(1)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
