// The ratings of one run: the plug-ins, the players met, and how each batch of a log's lines is
// rated, in memory only or, with a store, in a transaction of its own.
//
// With a store, a batch first locks its log and reads where the facts and each plug-in stand in
// it: each line is counted by each only if they have not counted it yet, whoever did, so a line
// is rated once per plug-in however many hosts, names or copies meet it. Then it locks the players
// it names and reads their stored ratings into their records; a player the store has no ratings
// for (for that plug-in) is initialised by the plug-in. So every batch is rated on top of the
// batches committed before it, by this process or any other: writers never lose each other's
// updates.
#pragma once

#include "LogListing.h"
#include "PlayerBook.h"
#include "RatedPlugin.h"
#include "RatingStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <vector>

class WeaponTable;

// A stop asked for while the session waited for its database.
struct StopRequested {};

class RatingSession {
public:
    RatingSession(std::vector<RatedPlugin> plugins, std::int32_t useAltKey, WeaponTable& weapons,
                  RatingStore* store);

    // A lost database connection is then waited for: `pause` waits the milliseconds given and
    // answers true when the run should stop instead; the waiting is told on `err`. Without it a
    // lost connection ends the run.
    void WaitForTheStore(std::ostream& err, std::function<bool(int)> pause);

    std::unique_ptr<LogListing> NewListing() {
        return std::make_unique<LogListing>(book, plugins.size(), useAltKey);
    }
    WeaponTable& Weapons() { return weapons; }
    RatingStore* Store() { return store; }

    struct Log {
        std::int64_t id = 0;
        std::optional<std::int64_t> started;
    };
    // With a store: the log's id, and where the line the first of facts and plug-ins has not
    // counted starts.
    Log OpenLog(const LogIdentity& identity, Position& from);
    // Rates the batch; with a store, commits it with the log's new positions.
    void Rate(const Log& log, LogListing& listing, const Batch& batch);
    std::uint64_t EventsRated() const { return eventsRated; }
    // Players whose ratings or facts changed since the last call.
    std::set<std::uint32_t> TakeChangedKeys() { return std::move(changedKeys); }

    void Finish();

    const PlayerBook& Book() const { return book; }
    const std::vector<RatedPlugin>& Plugins() const { return plugins; }

private:
    template <typename Work>
    void Durably(Work&& work);
    std::uint64_t Apply(LogListing& listing, const Batch& batch, const Positions* at);
    void Load(const Batch& batch, const Positions& at);
    void Save(const Log& log, const Batch& batch, const Positions& at);
    void SaveFacts(const Log& log, const Batch& batch, std::uint64_t from);

    std::vector<RatedPlugin> plugins;
    std::vector<std::string> names;
    std::int32_t useAltKey;
    WeaponTable& weapons;
    RatingStore* store;
    PlayerBook book;
    std::uint64_t eventsRated = 0;
    std::set<std::uint32_t> changedKeys;
    std::ostream* err = nullptr;
    std::function<bool(int)> pause;
    // For each plug-in, for each player of the batch: events it rated, and whether it met them.
    std::vector<std::vector<std::uint64_t>> rated;
    std::vector<std::vector<bool>> met;
};
