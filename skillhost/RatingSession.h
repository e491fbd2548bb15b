// The ratings of one run: the plug-ins, the players met, and how each batch of a log's lines is
// rated, in memory only or, with a store, in a transaction of its own.
//
// With a store, a batch first locks the players it names and reads their stored ratings into
// their records; a player the store has no ratings for (for that plug-in) is initialised by the
// plug-in. So a player seen before, by this process or by any other writer of the same store,
// starts from the latest ratings committed, and every batch is rated on top of the batches
// committed before it: writers never lose each other's updates.
#pragma once

#include "LogListing.h"
#include "PlayerBook.h"
#include "RatedPlugin.h"
#include "RatingStore.h"

#include <cstdint>
#include <memory>
#include <vector>

class WeaponTable;

class RatingSession {
public:
    RatingSession(std::vector<RatedPlugin> plugins, std::int32_t useAltKey, WeaponTable& weapons,
                  RatingStore* store);

    std::unique_ptr<LogListing> NewListing() {
        return std::make_unique<LogListing>(book, plugins.size(), useAltKey);
    }
    WeaponTable& Weapons() { return weapons; }
    RatingStore* Store() { return store; }

    // Rates the batch; with a store, commits it with the log's new offset (log `logId`).
    void Rate(std::int64_t logId, LogListing& listing, const Batch& batch);
    std::uint64_t EventsRated() const { return eventsRated; }

    void Finish();

    const PlayerBook& Book() const { return book; }
    const std::vector<RatedPlugin>& Plugins() const { return plugins; }

private:
    void Apply(LogListing& listing, const Batch& batch);
    void Load(const Batch& batch);
    void Save(std::int64_t logId, const Batch& batch);

    std::vector<RatedPlugin> plugins;
    std::int32_t useAltKey;
    WeaponTable& weapons;
    RatingStore* store;
    PlayerBook book;
    std::uint64_t eventsRated = 0;
};
