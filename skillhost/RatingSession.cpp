#include "RatingSession.h"

#include "OutputText.h"
#include "WeaponTable.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <unordered_map>

namespace {

// A transaction that keeps colliding with other writers this often is not going to succeed.
constexpr int kMaxAttempts = 20;
// Waits between tries to reach a lost database: from the first to the longest.
constexpr int kFirstWaitMs = 1000;
constexpr int kLongestWaitMs = 60000;

}  // namespace

RatingSession::RatingSession(std::vector<RatedPlugin> plugins, std::int32_t useAltKey,
                             WeaponTable& weapons, RatingStore* store)
    : plugins(std::move(plugins)),
      useAltKey(useAltKey),
      weapons(weapons),
      store(store),
      book(this->plugins.size()),
      rated(this->plugins.size()),
      met(this->plugins.size()) {
    for (const RatedPlugin& plugin : this->plugins) names.push_back(plugin.Name());
}

void RatingSession::WaitForTheStore(std::ostream& stream, std::function<bool(int)> wait) {
    err = &stream;
    pause = std::move(wait);
}

template <typename Work>
void RatingSession::Durably(Work&& work) {
    int waitMs = kFirstWaitMs;
    bool lost = false;
    for (int attempt = 1;; ++attempt) {
        try {
            work();
            if (lost) *err << "skillhost: the database is back; going on" << std::endl;
            return;
        } catch (const StoreError& error) {
            store->Rollback();
            if (error.kind == StoreError::Kind::Retry && attempt < kMaxAttempts) {
                // The other writer finishes its batch meanwhile; a little jitter keeps two from
                // meeting again in step.
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(attempt + (eventsRated + attempt) % 7));
                continue;
            }
            if (error.kind != StoreError::Kind::Lost || !pause) throw;
            // The batch is run again from the positions stored, whether its commit landed or not.
            std::string why = error.what();
            for (;;) {
                *err << "skillhost: " << output_text::TerminalText(why) << "; trying again in "
                     << waitMs / 1000 << " s" << std::endl;
                if (pause(waitMs)) throw StopRequested{};
                waitMs = std::min(waitMs * 2, kLongestWaitMs);
                try {
                    store->Reconnect();
                    break;
                } catch (const StoreError& again) {
                    if (again.kind != StoreError::Kind::Lost) throw;
                    why = again.what();
                }
            }
            lost = true;
            attempt = 0;
        }
    }
}

RatingSession::Log RatingSession::OpenLog(const LogIdentity& identity, Position& from) {
    Log log{0, identity.started};
    if (store == nullptr) {
        from = {};
        return log;
    }
    Durably([&] {
        log.id = store->OpenLog(identity);
        store->Begin();
        const Positions at = store->LockLog(log.id, names);
        store->Commit();
        from = at.facts;
        for (const Position& position : at.plugins) {
            if (position.offset < from.offset) from = position;
        }
    });
    return log;
}

void RatingSession::Rate(const Log& log, LogListing& listing, const Batch& batch) {
    if (store == nullptr) {
        eventsRated += Apply(listing, batch, nullptr);
        return;
    }
    std::uint64_t counted = 0;
    Durably([&] {
        store->Begin();
        const Positions at = store->LockLog(log.id, names);
        Load(batch, at);
        counted = Apply(listing, batch, &at);
        Save(log, batch, at);
        const Position to{batch.endOffset, batch.endLine};
        if (at.facts.offset < to.offset) {
            SaveFacts(log, batch, at.facts.offset);
            store->MovePosition(log.id, "", to);
        }
        for (std::size_t p = 0; p < plugins.size(); ++p) {
            if (at.plugins[p].offset < to.offset) store->MovePosition(log.id, names[p], to);
        }
        store->Commit();
    });
    eventsRated += counted;
    for (std::uint32_t player : batch.players) changedKeys.insert(book[player].key);
}

void RatingSession::Load(const Batch& batch, const Positions& at) {
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
        if (at.plugins[plugin].offset >= batch.endOffset) continue;
        const auto stored = store->LoadRatings(names[plugin], keys);
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

std::uint64_t RatingSession::Apply(LogListing& listing, const Batch& batch, const Positions* at) {
    std::uint64_t first = batch.endOffset;
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        const std::uint64_t from = at ? at->plugins[p].offset : 0;
        first = std::min(first, from);
        rated[p].assign(batch.players.size(), 0);
        met[p].assign(batch.players.size(), false);
        if (from >= batch.endOffset) continue;
        RatedPlugin& plugin = plugins[p];
        GHashTable* table = listing.Table(p);
        // A player gets the plug-in's initial ratings when neither this run nor the store has
        // any: at their first listing, or at their first event when the listing came before a
        // plug-in that is new to the store.
        const auto ready = [&](const Listing& named) {
            met[p][batch.Slot(named.player)] = true;
            if (book.Rated(p, named.player)) return;
            plugin.Init(table, listing.TableKey(named));
            book.SetRated(p, named.player, true);
        };
        for (const BatchItem& item : batch.items) {
            if (item.offset < from) continue;
            if (item.kind == BatchItem::Kind::List) ready(*item.first);
            if (item.kind != BatchItem::Kind::Event) continue;
            ready(*item.first);
            ready(*item.second);
            plugin.Event(table, item.code, item.weapon, &item.first->ref, &item.second->ref);
            ++rated[p][batch.Slot(item.first->player)];
            if (item.second != item.first) ++rated[p][batch.Slot(item.second->player)];
        }
    }
    if (at) first = std::min(first, at->facts.offset);
    return static_cast<std::uint64_t>(
        std::count_if(batch.items.begin(), batch.items.end(), [&](const BatchItem& item) {
            return item.kind == BatchItem::Kind::Event && item.offset >= first;
        }));
}

void RatingSession::Save(const Log& log, const Batch& batch, const Positions& at) {
    std::vector<RatingRow> rows;
    for (std::size_t p = 0; p < plugins.size(); ++p) {
        if (at.plugins[p].offset >= batch.endOffset) continue;
        rows.clear();
        for (std::size_t i = 0; i < batch.players.size(); ++i) {
            if (!met[p][i]) continue;
            const std::uint32_t player = batch.players[i];
            const skill::PlayerStats& stats = book.Stats(p, player);
            rows.push_back({book[player].key, {stats.skill, stats.weighted_skill}, rated[p][i]});
        }
        if (!rows.empty()) store->SaveRatings(names[p], log.id, rows);
    }
}

void RatingSession::SaveFacts(const Log& log, const Batch& batch, std::uint64_t from) {
    std::vector<FactRow> facts(batch.players.size());
    std::vector<bool> counted(batch.players.size(), false);
    // By player slot and weapon handle.
    std::unordered_map<std::uint64_t, std::uint64_t> kills;
    const auto fact = [&](const Listing& listing, const BatchItem& item) -> FactRow& {
        const std::size_t slot = batch.Slot(listing.player);
        FactRow& row = facts[slot];
        counted[slot] = true;
        if (log.started) {
            const std::int64_t at = *log.started + item.time;
            row.firstSeen = std::min(row.firstSeen.value_or(at), at);
            row.lastSeen = std::max(row.lastSeen.value_or(at), at);
        }
        return row;
    };
    for (const BatchItem& item : batch.items) {
        if (item.offset < from) continue;
        switch (item.kind) {
            case BatchItem::Kind::List:
            case BatchItem::Kind::Leave:
                fact(*item.first, item);
                break;
            case BatchItem::Kind::At:
                for (std::uint32_t player : batch.present[item.present]) {
                    facts[batch.Slot(player)].seconds += item.elapsed;
                    counted[batch.Slot(player)] = true;
                }
                break;
            case BatchItem::Kind::Event: {
                FactRow& first = fact(*item.first, item);
                FactRow& second = fact(*item.second, item);
                if (item.code != skill::kKillEvent) break;
                ++second.deaths;  // a kill of oneself too
                if (item.first->player == item.second->player) break;
                if (item.first->group == item.second->group) {
                    ++first.teamKills;
                } else {
                    ++first.kills;
                    ++kills[std::uint64_t{batch.Slot(item.first->player)} << 32 |
                            item.weapon->value];
                }
                break;
            }
        }
    }
    std::vector<FactRow> rows;
    for (std::size_t i = 0; i < facts.size(); ++i) {
        if (!counted[i]) continue;
        facts[i].key = book[batch.players[i]].key;
        rows.push_back(facts[i]);
    }
    std::vector<WeaponKillRow> weaponRows;
    for (const auto& [slotAndWeapon, count] : kills) {
        const skill::WeaponRecord weapon{static_cast<std::uint32_t>(slotAndWeapon)};
        weaponRows.push_back(
            {book[batch.players[slotAndWeapon >> 32]].key, weapons.Name(&weapon), count});
    }
    store->SaveFacts(log.id, rows, weaponRows, batch.clock);
}

void RatingSession::Finish() {
    for (RatedPlugin& plugin : plugins) plugin.Finish();
}
