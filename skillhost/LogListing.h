// One log's players as its lines list them, the match clock, who is in the match, and the
// batches its lines are read into.
//
// Each listing holds the PlayerRef that the plug-ins get for events after it. A player listed
// again with another GROUP (a team change) gets a new listing; the events before keep the old one.
// Per plug-in the log has a host table of its own, keyed as use_alt_key says, holding the
// players' records from the PlayerBook, so ratings carry across logs while keys stay per log.
#pragma once

#include "HostRecords.h"
#include "LogLine.h"
#include "PlayerBook.h"

#include <glib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class WeaponTable;

struct Listing {
    skill::PlayerRef ref;
    std::string group;
    std::uint32_t player;  // index in the PlayerBook
};

struct BatchItem {
    enum class Kind : std::uint8_t { List, Event, At, Leave };
    Kind kind;
    std::int32_t code;                  // Event
    Listing* first;                     // List, Event, Leave
    Listing* second;                    // Event
    const skill::WeaponRecord* weapon;  // Event
    std::uint64_t offset;               // where the line starts in the log
    std::uint32_t time;                 // the match clock at the line
    std::uint32_t elapsed;              // At: seconds the clock moved on
    std::uint32_t present;              // At: index in Batch::present
};

// A run of one log's lines, read and checked, waiting to be rated.
struct Batch {
    std::vector<BatchItem> items;
    std::vector<std::unique_ptr<Listing>> retired;    // replaced while the batch was read
    std::vector<std::uint32_t> players;               // every player the batch names, once
    std::vector<std::vector<std::uint32_t>> present;  // for each At: who was in the match
    std::size_t eventCount = 0;
    std::uint64_t startOffset = 0;
    std::uint64_t endOffset = 0;       // just past the last line read
    std::uint64_t endLine = 0;         // lines from the log's start to endOffset
    std::uint32_t clock = 0;           // the match clock at endOffset
    std::vector<std::uint32_t> slots;  // player -> 1 + index in `players`, 0 when not named

    void Clear(std::uint64_t offset, std::uint64_t line);
    std::size_t Slot(std::uint32_t player) const { return slots[player] - 1; }
    void Touch(std::uint32_t player) {
        if (player >= slots.size()) slots.resize(player + 1, 0);
        if (slots[player] != 0) return;
        players.push_back(player);
        slots[player] = static_cast<std::uint32_t>(players.size());
    }
};

class LogListing {
public:
    LogListing(PlayerBook& book, std::size_t plugins, std::int32_t useAltKey);
    ~LogListing();
    LogListing(const LogListing&) = delete;
    LogListing& operator=(const LogListing&) = delete;

    // Reads one parsed line, which starts at `offset`, into the batch. Throws LogLineError for a
    // line that breaks the log's rules (an unknown player, a key listed with two alternate
    // keys, a clock going back...).
    void Read(const LogLine& line, std::uint64_t offset, WeaponTable& weapons, Batch& batch);

    GHashTable* Table(std::size_t plugin) const { return tables[plugin]; }
    skill::PlayerKey TableKey(const Listing& listing) const {
        return byAltKey ? listing.ref.alt_key : listing.ref.key;
    }

private:
    void List(const LogLine& line, std::uint64_t offset, Batch& batch);
    Listing& Named(std::uint32_t key);
    void Add(Batch& batch, BatchItem item);

    PlayerBook& book;
    const bool byAltKey;  // the plug-ins look events up by alt_key exactly when use_alt_key is 1
    std::vector<GHashTable*> tables;
    std::unordered_map<std::uint32_t, std::unique_ptr<Listing>> listings;  // by KEY
    std::unordered_map<std::uint32_t, std::uint32_t> altKeys;              // ALT_KEY -> KEY
    std::uint32_t clock = 0;
    std::vector<std::uint32_t> present;  // players in the match, in the order they came
};
