#include "RatingSession.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// A transaction that keeps colliding with other writers this often is not going to succeed.
constexpr int kMaxAttempts = 20;

}  // namespace

RatingSession::RatingSession(std::vector<RatedPlugin> plugins, std::int32_t useAltKey,
                             WeaponTable& weapons, RatingStore* store)
    : plugins(std::move(plugins)),
      useAltKey(useAltKey),
      weapons(weapons),
      store(store),
      book(this->plugins.size()) {}

void RatingSession::Rate(std::int64_t logId, LogListing& listing, const Batch& batch) {
    if (store == nullptr) {
        Apply(listing, batch);
        eventsRated += batch.eventCount;
        return;
    }
    for (int attempt = 1;; ++attempt) {
        try {
            store->Begin();
            Load(batch);
            Apply(listing, batch);
            Save(logId, batch);
            store->AdvanceLog(logId, batch.startOffset, batch.endOffset, batch.endLine);
            store->Commit();
            eventsRated += batch.eventCount;
            return;
        } catch (const StoreError& error) {
            store->Rollback();
            if (!error.retryable || attempt == kMaxAttempts) throw;
        }
        // The other writer finishes its batch meanwhile; a little jitter keeps two from meeting
        // again in step.
        std::this_thread::sleep_for(std::chrono::milliseconds(attempt + (logId + attempt) % 7));
    }
}

void RatingSession::Load(const Batch& batch) {
    std::vector<std::uint32_t> order(batch.players);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return book[a].key < book[b].key; });
    std::vector<PlayerRow> rows;
    std::vector<std::uint32_t> keys;
    rows.reserve(order.size());
    keys.reserve(order.size());
    for (std::uint32_t player : order) {
        rows.push_back({book[player].key, book[player].altKey, book[player].name});
        keys.push_back(book[player].key);
    }
    // In key order, so that two writers locking overlapping players never wait on each other
    // in a circle.
    store->LockPlayers(rows);
    for (std::size_t plugin = 0; plugin < plugins.size(); ++plugin) {
        const auto stored = store->LoadRatings(plugins[plugin].Name(), keys);
        for (std::size_t i = 0; i < order.size(); ++i) {
            skill::PlayerStats& stats = book.Stats(plugin, order[i]);
            if (stored[i]) {
                stats.skill = stored[i]->skill;
                stats.weighted_skill = stored[i]->weightedSkill;
            }
            book.SetRated(plugin, order[i], stored[i].has_value());
        }
    }
}

void RatingSession::Apply(LogListing& listing, const Batch& batch) {
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        RatedPlugin& plugin = plugins[p];
        GHashTable* table = listing.Table(p);
        // A player gets the plug-in's initial ratings when neither this run nor the store has
        // any: at their first listing, or at their first event when the listing came before a
        // plug-in that is new to the store.
        const auto ready = [&](const Listing& named) {
            if (book.Rated(p, named.player)) return;
            plugin.Init(table, listing.TableKey(named));
            book.SetRated(p, named.player, true);
        };
        for (const BatchItem& item : batch.items) {
            ready(*item.first);
            if (item.second == nullptr) continue;
            ready(*item.second);
            plugin.Event(table, item.code, item.weapon, &item.first->ref, &item.second->ref);
        }
    }
}

void RatingSession::Save(std::int64_t logId, const Batch& batch) {
    std::vector<RatingRow> rows(batch.players.size());
    for (std::size_t plugin = 0; plugin < plugins.size(); ++plugin) {
        for (std::size_t i = 0; i < batch.players.size(); ++i) {
            const std::uint32_t player = batch.players[i];
            const skill::PlayerStats& stats = book.Stats(plugin, player);
            rows[i] = {book[player].key, {stats.skill, stats.weighted_skill}, batch.events[i]};
        }
        store->SaveRatings(plugins[plugin].Name(), logId, rows);
    }
}

void RatingSession::Finish() {
    for (RatedPlugin& plugin : plugins) plugin.Finish();
}
