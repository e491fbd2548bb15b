// Each skill plug-in over a batch of kill events on a 10 000-player table, against the same batch
// doing only the two table look-ups per event. Prints each plug-in's time as a ratio of the
// look-ups at the end.
#include "HostRecords.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

extern "C" __attribute__((visibility("default"))) double get_weapon_weight(std::uint32_t weapon) {
    static const double weights[] = {1.0, 0.8, 1.5, 2.0};
    return weights[weapon % 4];
}

namespace {

constexpr int kPlayers = 10000;
constexpr int kBatch = 4096;
constexpr char kBareLookups[] = "BM_BareLookups";
constexpr char kPluginEvents[] = "BM_PluginEvents/";
constexpr const char* kPlugins[] = {"brindle_skill", "quorvex_skill", "corvane_skill"};

struct Batch {
    GHashTable* table = g_hash_table_new(g_direct_hash, g_direct_equal);
    std::vector<skill::PlayerStats> stats = std::vector<skill::PlayerStats>(kPlayers);
    std::vector<skill::PlayerRef> refs = std::vector<skill::PlayerRef>(kPlayers);
    std::vector<skill::WeaponRecord> weapons{{0}, {1}, {2}, {3}};
    struct Kill {
        skill::PlayerRef* first;
        skill::PlayerRef* second;
        const skill::WeaponRecord* weapon;
    };
    std::vector<Kill> kills;

    Batch() {
        static const char* groups[] = {"red", "blue"};
        for (int i = 0; i < kPlayers; ++i) {
            const unsigned key = 7919u * i + 13u;  // spread, like the host's own ids
            refs[i] = {GUINT_TO_POINTER(key), groups[i % 2], nullptr, GUINT_TO_POINTER(key + 1)};
            stats[i].skill = stats[i].weighted_skill = 1000.0;
            g_hash_table_insert(table, refs[i].key, &stats[i]);
        }
        // Two teams, players of both spread over the table; as in a match, one kill in twenty
        // is a team kill and the rest hit the other team.
        std::mt19937 random(42);
        std::uniform_int_distribution<int> pick(0, kPlayers / 2 - 1);
        for (int i = 0; i < kBatch; ++i) {
            const int killer = 2 * pick(random) + i % 2;
            const int victim = 2 * pick(random) + (i % 20 == 0 ? killer % 2 : 1 - killer % 2);
            kills.push_back({&refs[killer], &refs[victim], &weapons[i % 4]});
        }
    }
    ~Batch() { g_hash_table_destroy(table); }
};

Batch& SharedBatch() {
    static Batch batch;
    return batch;
}

template <typename HostOptions, typename GameEvent>
void RunPlugin(benchmark::State& state, const std::string& plugin) {
    const std::string path = std::string(SKILL_PLUGIN_DIR) + "/" + plugin + ".so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        state.SkipWithError(dlerror());
        return;
    }
    auto event =
        reinterpret_cast<void (*)(HostOptions*, skill::HostState*, GameEvent*, skill::PlayerRef*,
                                  skill::PlayerRef*)>(dlsym(module, "skill_plugin_event"));
    Batch& batch = SharedBatch();
    HostOptions options{};
    skill::HostState host{batch.table};
    for (auto _ : state) {
        for (const Batch::Kill& kill : batch.kills) {
            GameEvent e{};
            e.code = skill::kKillEvent;
            e.weapon = kill.weapon;
            event(&options, &host, &e, kill.first, kill.second);
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    dlclose(module);
}

void BM_BareLookups(benchmark::State& state) {
    Batch& batch = SharedBatch();
    for (auto _ : state) {
        for (const Batch::Kill& kill : batch.kills) {
            benchmark::DoNotOptimize(g_hash_table_lookup(batch.table, kill.first->key));
            benchmark::DoNotOptimize(g_hash_table_lookup(batch.table, kill.second->key));
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// Not a goal, an explanation: the look-ups plus loading both players' ratings, the least that any
// formula must also do. The records are spread over the 10 000 players like the table's slots.
void BM_LookupsAndRatings(benchmark::State& state) {
    Batch& batch = SharedBatch();
    for (auto _ : state) {
        for (const Batch::Kill& kill : batch.kills) {
            const auto* a =
                static_cast<skill::PlayerStats*>(g_hash_table_lookup(batch.table, kill.first->key));
            const auto* b = static_cast<skill::PlayerStats*>(
                g_hash_table_lookup(batch.table, kill.second->key));
            benchmark::DoNotOptimize(a->skill + b->skill);
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// Console output as usual, then each plug-in's CPU time per batch divided by the look-ups' (CPU
// time, because the machine is shared and wall time counts the other processes too).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) times[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const char* aggregate : {"", "_mean", "_median"}) {
            const auto bare = times.find(std::string(kBareLookups) + aggregate);
            if (bare == times.end()) continue;
            for (const std::string& name :
                 {std::string("BM_LookupsAndRatings"), kPluginEvents + std::string(kPlugins[0]),
                  kPluginEvents + std::string(kPlugins[1]),
                  kPluginEvents + std::string(kPlugins[2])}) {
                const auto run = times.find(name + aggregate);
                if (run == times.end()) continue;
                std::printf("%-44s %.2f x %s\n", run->first.c_str(), run->second / bare->second,
                            bare->first.c_str());
            }
        }
    }

private:
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark(kBareLookups, BM_BareLookups);
    benchmark::RegisterBenchmark("BM_LookupsAndRatings", BM_LookupsAndRatings);
    benchmark::RegisterBenchmark("BM_PluginEvents/brindle_skill", [](benchmark::State& state) {
        RunPlugin<skill::layout_a::HostOptions, skill::layout_a::GameEvent>(state, "brindle_skill");
    });
    benchmark::RegisterBenchmark("BM_PluginEvents/quorvex_skill", [](benchmark::State& state) {
        RunPlugin<skill::layout_b::HostOptions, skill::layout_b::GameEvent>(state, "quorvex_skill");
    });
    benchmark::RegisterBenchmark("BM_PluginEvents/corvane_skill", [](benchmark::State& state) {
        RunPlugin<skill::layout_a::HostOptions, skill::layout_a::GameEvent>(state, "corvane_skill");
    });
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
