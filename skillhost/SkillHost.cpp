#include "SkillHost.h"

#include "CommandLine.h"
#include "HostError.h"
#include "LeaderboardReport.h"
#include "LogFollower.h"
#include "OutputText.h"
#include "PluginModule.h"
#include "RankingPrinter.h"
#include "RatingSession.h"
#include "WeaponTable.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
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
        return line.report ? Report(line, out, err) : Rate(line, out, err);
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
    // A follower may start before the server has written its first log.
    for (bool told = false; line.follow && ::access(line.logPath.c_str(), F_OK) != 0;) {
        if (!told) {
            err << "skillhost: waiting for " << output_text::TerminalText(line.logPath)
                << " to appear" << std::endl;
        }
        told = true;
        pollfd stop{stopFd, POLLIN, 0};
        if (::poll(&stop, 1, kLookAgainMs) > 0) return 0;
    }
    LogFollower follower(line.logPath, session, line.batchEvents);
    const InstalledWeapons installed(weapons);

    LogFollower::Options options;
    options.keepGoing = line.follow;
    // A finished log may end without a line break; a log that may still grow, or whose offset is
    // stored, waits for it.
    options.takeUnfinishedLastLine = !line.follow && !store;
    options.stop = [stopFd] { return Readable(stopFd); };
    follower.CatchUp(options, err);
    if (line.follow) {
        follower.Watch();
        follower.CatchUp(options, err);
        err << "skillhost: following " << output_text::TerminalText(line.logPath) << ", "
            << session.EventsRated() << " events rated so far" << std::endl;
        while (!follower.Wait(stopFd, kLookAgainMs)) follower.CatchUp(options, err);
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

int SkillHost::Report(const CommandLine& line, std::ostream& out, std::ostream& err) const {
    const auto store = OpenRatingStore(*line.database, StoreAccess::ReadOnly);
    std::ostringstream text;
    LeaderboardReport(*store, line.format, line.reportPlugins, line.top).Print(text);
    return Write(text.str(), out, err, "report");
}
