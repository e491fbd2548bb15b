// The stats site over 100 000 players and 1 000 000 events (1000 matches of 100 players), in
// SQLite: the whole site built from the database, against building it again after one more match
// (one batch) for the players that match named, as a follower does. Prints the ratio at the end.
#include "RatingStore.h"
#include "SkillHost.h"
#include "StatsSite.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kPlayers = 100000;
constexpr int kMatches = 1000;
constexpr int kPerMatch = 100;
constexpr int kEventsPerMatch = 1000;
const char* const kWeapons[] = {"rifle", "shotgun", "sniper", "knife", "grenade"};
const char* const kMaps[] = {"worlds/dunes", "worlds/harbour", "worlds/quarry", "worlds/tundra"};

std::filesystem::path scratch;

// A match as the server logs it; answers the keys of its players.
std::set<std::uint32_t> WriteMatch(int match, std::mt19937& random) {
    std::set<std::uint32_t> keys;
    while (keys.size() < kPerMatch) keys.insert(1 + random() % kPlayers);
    const std::vector<std::uint32_t> players(keys.begin(), keys.end());
    std::ostringstream log;
    char started[32];
    const std::time_t at = 1767225600 + match * 1800;
    std::strftime(started, sizeof started, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&at));
    log << "# Tarnwick match " << match << " (" << std::hex << 0x5000000 + match << std::dec
        << ") on " << kMaps[match % 4] << ", started " << started << "\n";
    for (std::size_t i = 0; i < players.size(); ++i) {
        log << "player " << players[i] << ' ' << 1000 + i << (i % 2 ? " 1070" : " 1071")
            << " Player " << players[i] << '\n';
    }
    for (int event = 0; event < kEventsPerMatch; ++event) {
        if (event % 10 == 0) log << "at " << event << '\n';
        const std::uint32_t first = players[random() % players.size()];
        const std::uint32_t second = players[random() % players.size()];
        log << (event % 20 == 0 ? "event 15 - " + std::to_string(first)
                                : "event 19 " + std::string(kWeapons[random() % 5]) + ' ' +
                                      std::to_string(first) + ' ' + std::to_string(second))
            << '\n';
    }
    char name[32];
    std::snprintf(name, sizeof name, "/logs/match-%05d.log", match);
    std::ofstream(scratch.string() + name) << log.str();
    return keys;
}

void Rate() {
    std::ostringstream out, err;
    const int status =
        SkillHost(SKILL_PLUGIN_DIR, [] { return -1; })
            .Run({"--db", (scratch / "ratings.db").string(), (scratch / "logs").string(),
                  "brindle_skill", "quorvex_skill", "corvane_skill"},
                 out, err);
    if (status != 0) std::cerr << err.str();
}

struct Database {
    Database() {
        char pattern[] = "/var/tmp/site-bench-XXXXXX";
        scratch = ::mkdtemp(pattern);
        std::filesystem::create_directory(scratch / "logs");
        std::mt19937 random(7);
        for (int match = 0; match < kMatches; ++match) WriteMatch(match, random);
        Rate();
    }
    ~Database() { std::filesystem::remove_all(scratch); }
};

Database& Prepared() {
    static Database database;
    return database;
}

void BM_SiteWhole(benchmark::State& state) {
    Prepared();
    const auto store = OpenRatingStore((scratch / "ratings.db").string(), StoreAccess::ReadOnly);
    int run = 0;
    for (auto _ : state) {
        StatsSite site(*store, {(scratch / ("whole" + std::to_string(run++))).string()});
        site.Build(nullptr, std::time(nullptr));
        state.counters["files"] = static_cast<double>(site.FilesWritten());
    }
}

void BM_SiteAfterOneMatch(benchmark::State& state) {
    Prepared();
    const auto store = OpenRatingStore((scratch / "ratings.db").string(), StoreAccess::ReadOnly);
    StatsSite site(*store, {(scratch / "followed").string()});
    site.Build(nullptr, std::time(nullptr));
    std::mt19937 random(11);
    int match = kMatches;
    for (auto _ : state) {
        state.PauseTiming();
        const std::set<std::uint32_t> changed = WriteMatch(match++, random);
        Rate();
        const std::size_t before = site.FilesWritten();
        state.ResumeTiming();
        site.Build(&changed, std::time(nullptr));
        state.counters["files"] = static_cast<double>(site.FilesWritten() - before);
    }
}

BENCHMARK(BM_SiteWhole)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SiteAfterOneMatch)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    struct Ratio : benchmark::ConsoleReporter {
        void ReportRuns(const std::vector<Run>& runs) override {
            ConsoleReporter::ReportRuns(runs);
            for (const Run& run : runs) {
                if (run.run_type != Run::RT_Iteration) continue;
                (run.benchmark_name().starts_with("BM_SiteWhole") ? whole : incremental) =
                    run.GetAdjustedRealTime();
            }
        }
        double whole = 0, incremental = 0;
    } reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.whole > 0 && reporter.incremental > 0) {
        std::printf("after one match: %.3f of the whole build's time\n",
                    reporter.incremental / reporter.whole);
    }
    benchmark::Shutdown();
}
