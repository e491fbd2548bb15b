#include "LogListing.h"

#include "WeaponTable.h"

#include <algorithm>
#include <string>

void Batch::Clear(std::uint64_t offset, std::uint64_t line) {
    items.clear();
    retired.clear();
    for (std::uint32_t player : players) slots[player] = 0;
    players.clear();
    present.clear();
    eventCount = 0;
    startOffset = endOffset = offset;
    endLine = line;
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

void LogListing::Add(Batch& batch, BatchItem item) {
    item.time = clock;
    batch.items.push_back(item);
    batch.clock = clock;
}

void LogListing::Read(const LogLine& line, std::uint64_t offset, WeaponTable& weapons,
                      Batch& batch) {
    switch (line.kind) {
        case LogLine::Kind::Nothing:
            return;
        case LogLine::Kind::Player:
            return List(line, offset, batch);
        case LogLine::Kind::At: {
            if (line.seconds < clock) {
                throw LogLineError("the clock goes back from " + std::to_string(clock) + " to " +
                                   std::to_string(line.seconds));
            }
            const std::uint32_t elapsed = line.seconds - clock;
            clock = line.seconds;
            batch.clock = clock;
            if (elapsed == 0 || present.empty()) return;
            batch.present.push_back(present);
            for (std::uint32_t player : present) batch.Touch(player);  // their time goes on
            Add(batch, {BatchItem::Kind::At, 0, nullptr, nullptr, nullptr, offset, 0, elapsed,
                        static_cast<std::uint32_t>(batch.present.size() - 1)});
            return;
        }
        case LogLine::Kind::Leave: {
            Listing& gone = Named(line.first);
            std::erase(present, gone.player);
            Add(batch, {BatchItem::Kind::Leave, 0, &gone, nullptr, nullptr, offset, 0, 0, 0});
            batch.Touch(gone.player);
            return;
        }
        case LogLine::Kind::Event:
            break;
    }
    Listing& first = Named(line.first);
    Listing* second = &first;
    if (line.second) {
        second = &Named(*line.second);
    } else if (line.code == skill::kKillEvent || line.code == skill::kPenaltyEvent) {
        throw LogLineError("event " + std::to_string(line.code) + " needs a second player");
    }
    Add(batch, {BatchItem::Kind::Event, line.code, &first, second, weapons.Intern(line.weapon),
                offset, 0, 0, 0});
    ++batch.eventCount;
    batch.Touch(first.player);
    batch.Touch(second->player);
}

void LogListing::List(const LogLine& line, std::uint64_t offset, Batch& batch) {
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
    if (std::find(present.begin(), present.end(), player) == present.end()) {
        present.push_back(player);
    }
    Add(batch, {BatchItem::Kind::List, 0, listing.get(), nullptr, nullptr, offset, 0, 0, 0});
    batch.Touch(player);
}
