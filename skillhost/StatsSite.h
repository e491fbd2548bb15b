// The stats site: static pages a community publishes from any web server or a plain folder, with
// nothing on the server to attack. Leaderboards per rating (paged, searchable and sortable by a
// small script under a strict content security policy, and whole without it), a page per player,
// the weapons, the maps, the matches, and a JSON feed of the same.
//
// Built whole the first time; a follower then builds it again after each batch from the players
// the batch named, leaving every page that did not change alone.
#pragma once

#include "RatingStore.h"
#include "SiteWriter.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

struct SiteOptions {
    std::string dir;
    std::string serverName = "Tarnwick";
    std::uint64_t minEvents = 1;  // fewer events keep a player off the leaderboards
};

class StatsSite {
public:
    static constexpr std::size_t kBoardPage = 50;
    // Ranks with a page of their own: further down, a page would change with every batch.
    static constexpr std::size_t kStaticRanks = 1000;
    static constexpr std::time_t kDataSeconds = 60;

    StatsSite(RatingStore& store, SiteOptions options);

    // `changed`: the players whose data changed since the last build; none: everything.
    // Throws HostError and StoreError.
    void Build(const std::set<std::uint32_t>* changed, std::time_t now);
    std::size_t FilesWritten() const { return writer.Written(); }

private:
    struct Played {
        std::int64_t log;
        std::uint64_t kills, deaths, seconds;
    };
    struct Player {
        std::uint32_t key = 0;
        std::string name;
        std::vector<std::optional<Rating>> ratings;  // per plug-in
        std::vector<std::uint64_t> events;
        std::uint64_t kills = 0, deaths = 0, teamKills = 0, seconds = 0;
        std::optional<std::int64_t> firstSeen, lastSeen;
        std::map<std::string, std::uint64_t> weaponKills;
        std::vector<std::vector<std::pair<std::int64_t, double>>> history;  // per plug-in
        std::vector<Played> played;
        std::size_t matches = 0;
    };
    struct Match {
        std::int64_t id = 0;
        std::string map;
        std::optional<std::int64_t> started;
        std::uint64_t seconds = 0, players = 0, kills = 0;
    };

    void Load(const std::set<std::uint32_t>* keys);
    void Count(const Player& player, int sign);
    // Best first, equal ratings by key.
    struct BoardOrder {
        std::size_t plugin;
        bool operator()(const Player* a, const Player* b) const;
    };
    void Sort();

    void WriteBoards(bool withData, std::time_t now);
    void WritePlayer(const Player& player);
    void WriteIndex();
    void WriteMatches();
    void WriteWeaponsAndMaps();
    void WriteFeed();

    std::string Page(const std::string& title, const std::string& body, bool nested) const;
    std::string BoardTable(std::size_t plugin, std::size_t from, std::size_t to) const;
    std::string TopTable(std::size_t plugin, std::size_t count) const;
    std::string PlayerLink(const Player& player, bool nested) const;
    std::string MapName(const std::string& map) const;
    std::vector<const Match*> Latest() const;  // the latest first
    std::string MatchTable(const std::vector<const Match*>& order, std::size_t count) const;

    RatingStore& store;
    SiteOptions options;
    SiteWriter writer;
    std::string updated;  // the time of this build, for people
    std::vector<std::string> plugins;
    std::unordered_map<std::uint32_t, Player> players;
    std::vector<std::vector<const Player*>> boards;  // per plug-in, best first
    std::vector<std::vector<double>> boardSkills;    // in the boards' order
    std::map<std::int64_t, Match> matches;
    std::map<std::string, std::size_t> boardPageHashes;
    std::time_t dataWritten = 0;
};
