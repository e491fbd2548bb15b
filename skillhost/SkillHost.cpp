#include "SkillHost.h"

#include "CommandLine.h"
#include "HostError.h"
#include "LeaderboardReport.h"
#include "LogFollower.h"
#include "OutputText.h"
#include "PluginModule.h"
#include "RankingPrinter.h"
#include "RatingSession.h"
#include "StatsSite.h"
#include "WeaponTable.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <optional>
#include <sstream>

namespace {

// How long a follower waits for the kernel's news before it looks at every log anyway.
constexpr int kLookAgainMs = 2000;

// While plug-ins may call get_weapon_weight, it answers from this run's table.
struct InstalledWeapons {
    explicit InstalledWeapons(const WeaponTable& weapons) { WeaponTable::Install(&weapons); }
    ~InstalledWeapons() { WeaponTable::Install(nullptr); }
};

bool Readable(int fd) {
    pollfd ready{fd, POLLIN, 0};
    return fd >= 0 && ::poll(&ready, 1, 0) > 0;
}

// Nothing reaches the output unless the whole text was made.
int Write(const std::string& text, std::ostream& out, std::ostream& err, const char* what) {
    out << text;
    out.flush();
    if (!out) {
        err << "skillhost: cannot write the " << what << '\n';
        return 1;
    }
    return 0;
}

// Each plug-in's ranking of every player the run has met.
std::vector<PluginRanking> Rankings(const RatingSession& session) {
    std::vector<PluginRanking> rankings;
    const PlayerBook& book = session.Book();
    for (std::size_t plugin = 0; plugin < session.Plugins().size(); ++plugin) {
        std::vector<PlayerRating> ratings;
        for (std::uint32_t player = 0; player < book.Size(); ++player) {
            const skill::PlayerStats& stats = book.Stats(plugin, player);
            ratings.push_back({player, stats.skill, stats.weighted_skill});
        }
        rankings.push_back(
            RankingPrinter::Rank(session.Plugins()[plugin].Name(), std::move(ratings)));
    }
    return rankings;
}

}  // namespace

int SkillHost::Run(const std::vector<std::string>& arguments, std::ostream& out,
                   std::ostream& err) const {
    CommandLine line;
    try {
        line = CommandLine::Parse(arguments);
    } catch (const HostError& error) {
        err << "skillhost: " << error.what() << '\n' << CommandLine::Usage();
        return 2;
    }
    if (line.help) return Write(CommandLine::Usage(), out, err, "usage");
    try {
        if (line.report) return Report(line, out, err);
        if (line.site) return Site(line, err);
        return Rate(line, out, err);
    } catch (const HostError& error) {
        err << "skillhost: " << output_text::TerminalText(error.what()) << '\n';
        return 1;
    }
}

int SkillHost::Rate(const CommandLine& line, std::ostream& out, std::ostream& err) const {
    WeaponTable weapons;
    if (line.weaponsPath) weapons.ReadWeights(*line.weaponsPath);
    std::vector<RatedPlugin> plugins;
    for (const PluginChoice& plugin : line.plugins) {
        plugins.emplace_back(PluginModule::Load(plugin, pluginDir), line.useAltKey);
    }
    std::unique_ptr<RatingStore> store;
    if (line.database) store = OpenRatingStore(*line.database, StoreAccess::ReadWrite);
    RatingSession session(std::move(plugins), line.useAltKey, weapons, store.get());
    const int stopFd = line.follow ? stopSignals() : -1;
    // Waits for `ms`, or answers true when the run is to stop.
    const auto pause = [stopFd](int ms) {
        pollfd stop{stopFd, POLLIN, 0};
        return ::poll(&stop, 1, ms) > 0;
    };
    if (line.follow) session.WaitForTheStore(err, pause);
    std::optional<StatsSite> site;
    if (line.siteDir)
        site.emplace(*store, SiteOptions{*line.siteDir, line.serverName, line.minEvents});
    // A follower may start before the server has written its first log.
    for (bool told = false; line.follow && ::access(line.logPath.c_str(), F_OK) != 0;) {
        if (!told) {
            err << "skillhost: waiting for " << output_text::TerminalText(line.logPath)
                << " to appear" << std::endl;
        }
        told = true;
        if (pause(kLookAgainMs)) return 0;
    }
    LogFollower follower(line.logPath, session, line.batchEvents);
    const InstalledWeapons installed(weapons);

    LogFollower::Options options;
    options.keepGoing = line.follow;
    // A finished log may end without a line break; a log that may still grow, or whose offset is
    // stored, waits for it.
    options.takeUnfinishedLastLine = !line.follow && !store;
    options.stop = [stopFd] { return Readable(stopFd); };
    // The site after each catch-up: whole the first time, then the players the batches named.
    bool built = false;
    const auto publish = [&] {
        if (!site) return;
        const std::set<std::uint32_t> changed = session.TakeChangedKeys();
        try {
            site->Build(built ? &changed : nullptr, std::time(nullptr));
            built = true;
        } catch (const HostError& error) {
            // The ratings go on; the site is made whole again after the next batch.
            err << "skillhost: the site waits: " << output_text::TerminalText(error.what())
                << std::endl;
            built = false;
        }
    };
    try {
        follower.CatchUp(options, err);
        if (line.follow) {
            follower.Watch();
            follower.CatchUp(options, err);
            publish();
            err << "skillhost: following " << output_text::TerminalText(line.logPath) << ", "
                << session.EventsRated() << " events rated so far" << std::endl;
            while (!follower.Wait(stopFd, kLookAgainMs)) {
                follower.CatchUp(options, err);
                publish();
            }
        }
    } catch (const StopRequested&) {
        // Stopped while the database was away: what was committed stays, the rest waits.
    }
    session.Finish();
    const int status = follower.Failures() > 0 ? 1 : 0;
    if (store) {
        if (!line.follow) {
            for (const std::string& path : follower.Unfinished()) {
                err << "skillhost: " << output_text::TerminalText(path)
                    << ": the last line has no line break yet and waits for the next run\n";
            }
        }
        err << "skillhost: " << session.EventsRated() << " events rated\n";
        return status;
    }
    std::ostringstream text;
    RankingPrinter(session.Book(), line.format).Print(Rankings(session), text);
    return std::max(status, Write(text.str(), out, err, "ranking"));
}

int SkillHost::Site(const CommandLine& line, std::ostream& err) const {
    const auto store = OpenRatingStore(*line.database, StoreAccess::ReadOnly);
    StatsSite site(*store, {*line.siteDir, line.serverName, line.minEvents});
    site.Build(nullptr, std::time(nullptr));
    err << "skillhost: " << site.FilesWritten() << " files written to "
        << output_text::TerminalText(*line.siteDir) << '\n';
    return 0;
}

int SkillHost::Report(const CommandLine& line, std::ostream& out, std::ostream& err) const {
    const auto store = OpenRatingStore(*line.database, StoreAccess::ReadOnly);
    std::ostringstream text;
    LeaderboardReport(*store, line.format, line.reportPlugins, line.top).Print(text);
    return Write(text.str(), out, err, "report");
}
