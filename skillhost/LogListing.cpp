#include "LogListing.h"

#include "WeaponTable.h"

#include <string>

void Batch::Clear(std::uint64_t offset, std::uint64_t line) {
    items.clear();
    retired.clear();
    players.clear();
    events.clear();
    slots.clear();
    eventCount = 0;
    startOffset = endOffset = offset;
    endLine = line;
}

void Batch::Touch(std::uint32_t player, std::uint64_t count) {
    const auto [it, added] = slots.try_emplace(player, players.size());
    if (added) {
        players.push_back(player);
        events.push_back(0);
    }
    events[it->second] += count;
}

LogListing::LogListing(PlayerBook& book, std::size_t plugins, std::int32_t useAltKey)
    : book(book), byAltKey(useAltKey == 1) {
    for (std::size_t i = 0; i < plugins; ++i) {
        tables.push_back(g_hash_table_new(g_direct_hash, g_direct_equal));
    }
}

LogListing::~LogListing() {
    for (GHashTable* table : tables) g_hash_table_destroy(table);
}

Listing& LogListing::Named(std::uint32_t key) {
    const auto it = listings.find(key);
    if (it == listings.end()) throw LogLineError("unknown player " + std::to_string(key));
    return *it->second;
}

void LogListing::Read(const LogLine& line, WeaponTable& weapons, Batch& batch) {
    if (line.kind == LogLine::Kind::Player) return List(line, batch);
    if (line.kind != LogLine::Kind::Event) return;
    Listing& first = Named(line.first);
    Listing* second = &first;
    if (line.second) {
        second = &Named(*line.second);
    } else if (line.code == skill::kKillEvent || line.code == skill::kPenaltyEvent) {
        throw LogLineError("event " + std::to_string(line.code) + " needs a second player");
    }
    batch.items.push_back({&first, second, weapons.Intern(line.weapon), line.code});
    ++batch.eventCount;
    batch.Touch(first.player, 1);
    if (second != &first) batch.Touch(second->player, 1);
}

void LogListing::List(const LogLine& line, Batch& batch) {
    const auto [alt, newAlt] = altKeys.try_emplace(line.altKey, line.key);
    if (alt->second != line.key) {
        throw LogLineError("alternate key listed twice: " + std::to_string(line.altKey));
    }
    auto& listing = listings[line.key];
    if (listing && listing->ref.alt_key != GUINT_TO_POINTER(line.altKey)) {
        if (newAlt) altKeys.erase(alt);
        throw LogLineError(
            "player " + std::to_string(line.key) +
            " listed again with another alternate key: " + std::to_string(line.altKey));
    }
    const std::uint32_t player = book.Meet(line.key);
    PlayerBook::Player& known = book[player];
    known.altKey = line.altKey;
    known.name.assign(line.name);
    const bool firstListing = !listing;
    if (firstListing || listing->group != line.group) {
        if (!firstListing) batch.retired.push_back(std::move(listing));
        listing = std::make_unique<Listing>();
        listing->group.assign(line.group);
        listing->ref = {GUINT_TO_POINTER(line.key), listing->group.c_str(), nullptr,
                        GUINT_TO_POINTER(line.altKey)};
        listing->player = player;
    }
    if (firstListing) {
        for (std::size_t plugin = 0; plugin < tables.size(); ++plugin) {
            g_hash_table_insert(tables[plugin], TableKey(*listing), &book.Stats(plugin, player));
        }
    }
    batch.items.push_back({listing.get(), nullptr, nullptr, 0});
    batch.Touch(player, 0);
}
