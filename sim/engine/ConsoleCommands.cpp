#include "ConsoleCommands.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "CommandLine.h"

namespace {

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i]) return false;
    }
    return true;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Names echoed in an error come from whatever was typed: a short prefix says enough.
std::string QuotedName(std::string_view name) {
    return Quoted(name.substr(0, 80));
}

std::string Lowercase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// A world is played from its file below the current directory: the rotation's name itself, or
// the name with ".dat" in any case (the world list lowercases names and drops the extension).
bool WorldFileExists(std::string_view world) {
    if (world.empty() || world.front() == '/' || world.find("..") != std::string_view::npos)
        return false;
    struct stat info {};
    if (::stat(std::string(world).c_str(), &info) == 0 && S_ISREG(info.st_mode)) return true;
    const size_t slash = world.find_last_of('/');
    const std::string directory(slash == std::string_view::npos ? "." : world.substr(0, slash));
    const std::string wanted =
        Lowercase(slash == std::string_view::npos ? world : world.substr(slash + 1)) + ".dat";
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(directory.c_str()), ::closedir);
    if (!entries) return false;
    while (const dirent* entry = ::readdir(entries.get())) {
        if (Lowercase(entry->d_name) != wanted) continue;
        const std::string path = directory + "/" + entry->d_name;
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return true;
    }
    return false;
}

constexpr const char* kHelp[] = {
    "Commands:",
    "  name value         set a variable (a number when the value reads as one, else a text)",
    "  +name \"text\"       set a variable to a text",
    "  name               show a variable",
    "  status             world and players",
    "  say TEXT           message to every player",
    "  kick ID            remove a player",
    "  changemap N        switch to rotation entry N",
    "  sendbandwidth N    send bandwidth in bytes per second",
    "  quit               stop the server",
    "  sim_bots N         target number of simulated players",
    "  sim_join NAME      a simulated player joins now",
    "  sim_close          the server asks the host to close",
    "  sim_slow MS N      every Nth tick takes MS milliseconds (0 0: none)",
    "  sim_hang           the next tick never returns",
    "  help               this list",
};

}  // namespace

ConsoleCommands::ConsoleCommands(ConsoleVariables& variables, PlayerSimulation& players,
                                 EngineOutbox& outbox, GameServerState& server)
    : variables(variables), players(players), outbox(outbox), server(server) {}

bool ConsoleCommands::Error(std::string_view text) {
    outbox.ConsoleOutput(text);
    return false;
}

bool ConsoleCommands::Execute(std::string_view text) {
    bool ok = true;
    while (!text.empty()) {
        size_t end = text.find_first_of("\r\n");
        ok = ExecuteLine(text.substr(0, end)) && ok;
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return ok;
}

bool ConsoleCommands::ExecuteLine(std::string_view line) {
    if (line.size() > kMaxLineLength) {
        return Error("Command line too long (" + std::to_string(line.size()) + " bytes), ignored");
    }
    auto command = CommandLine::Parse(line);
    if (!command) return true;
    const std::string_view word = command->word;
    const std::string_view value = command->value;

    if (word.front() == '+') return SetVariable(word.substr(1), value, true);
    if (SameWord(word, "help")) return Help();
    if (SameWord(word, "status")) return Status();
    if (SameWord(word, "say")) return Say(value);
    if (SameWord(word, "kick")) return Kick(value);
    if (SameWord(word, "changemap")) return ChangeMap(value);
    if (SameWord(word, "sendbandwidth")) return SendBandwidth(value);
    if (SameWord(word, "quit")) {
        server.quitRequested = true;
        outbox.ConsoleOutput("Server shutting down");
        return true;
    }
    if (SameWord(word, "sim_bots")) return SimBots(value);
    if (SameWord(word, "sim_join")) return SimJoin(value);
    if (SameWord(word, "sim_slow")) return SimSlow(value);
    if (SameWord(word, "sim_hang")) {
        server.hangRequested = true;
        outbox.ConsoleOutput("The next tick hangs");
        return true;
    }
    if (SameWord(word, "sim_close")) {
        server.closeRequested = true;
        return true;
    }
    if (value.empty()) return ShowVariable(word);
    return SetVariable(word, value, false);
}

bool ConsoleCommands::SetVariable(std::string_view name, std::string_view value, bool asText) {
    bool quoted = false;
    std::string_view text = CommandLine::Unquote(value, &quoted);
    bool ok = false;
    if (!asText && !quoted) {
        if (auto number = CommandLine::ParseNumber(text)) {
            ok = variables.SetNumber(name, *number);
        } else {
            ok = variables.SetText(name, text);
        }
    } else {
        ok = variables.SetText(name, text);
    }
    return ok || Error("Cannot set variable " + QuotedName(name));
}

bool ConsoleCommands::ShowVariable(std::string_view name) {
    const ConsoleVariable* variable = variables.Get(name);
    if (variable == nullptr) return Error("Unknown command " + QuotedName(name));
    outbox.ConsoleOutput(Quoted(variable->name) + " is " + Quoted(variable->text));
    return true;
}

bool ConsoleCommands::Help() {
    for (const char* line : kHelp) outbox.ConsoleOutput(line);
    return true;
}

bool ConsoleCommands::Status() {
    if (!server.started) {
        outbox.ConsoleOutput("No game server running");
        return true;
    }
    outbox.ConsoleOutput("World: " + server.world);
    outbox.ConsoleOutput("Players: " + std::to_string(players.Count()) + "/" +
                         std::to_string(players.Capacity()));
    for (const SimPlayer& player : players.Players()) {
        float ping = 0;
        players.Ping(player.clientId, ping);
        char line[128];
        std::snprintf(line, sizeof line, "%6d  %-30s  team %u  specialty %d  %4d ms",
                      player.clientId, player.name.c_str(), player.teamLabelId,
                      player.specialtyLabelId, static_cast<int>(ping * 1000));
        outbox.ConsoleOutput(line);
    }
    return true;
}

bool ConsoleCommands::Say(std::string_view text) {
    text = CommandLine::Unquote(text);
    if (text.empty()) return Error("Usage: say TEXT");
    outbox.ConsoleLine("Server: " + std::string(text));
    return true;
}

bool ConsoleCommands::Kick(std::string_view argument) {
    auto clientId = CommandLine::ParseInteger(argument);
    if (!clientId) return Error("Usage: kick ID");
    if (*clientId < INT32_MIN || *clientId > INT32_MAX ||
        !players.Remove(static_cast<int32_t>(*clientId), "was kicked", outbox)) {
        return Error("No player with id " + std::to_string(*clientId));
    }
    return true;
}

bool ConsoleCommands::ChangeMap(std::string_view argument) {
    auto position = CommandLine::ParseInteger(argument);
    if (!position) return Error("Usage: changemap N");
    if (!server.started) return Error("changemap: no game server running");
    const ConsoleVariable* count = variables.Get("nummaps");
    const ConsoleVariable* entry =
        *position >= 0 && count != nullptr && static_cast<double>(*position) < count->number
            ? variables.Get("map" + std::to_string(*position))
            : nullptr;
    if (entry == nullptr || entry->text.empty()) {
        return Error("changemap: no rotation entry " + std::to_string(*position));
    }
    if (!WorldFileExists(entry->text)) {
        return Error("changemap: no world file for " + QuotedName(entry->text) + ", staying on " +
                     QuotedName(server.world));
    }
    server.world = entry->text;
    ++server.match;
    server.matchTicks = 0;
    outbox.ConsoleOutput("Changing map to " + server.world);
    return true;
}

bool ConsoleCommands::SendBandwidth(std::string_view argument) {
    auto rate = CommandLine::ParseInteger(argument);
    if (!rate || *rate <= 0) return Error("Usage: sendbandwidth N (bytes per second, above 0)");
    server.sendBandwidth = *rate;
    return true;
}

bool ConsoleCommands::SimBots(std::string_view argument) {
    auto count = CommandLine::ParseInteger(argument);
    if (!count || *count < 0 || *count > PlayerSimulation::kMaxPlayers) {
        return Error("Usage: sim_bots N (0 to " + std::to_string(PlayerSimulation::kMaxPlayers) +
                     ")");
    }
    players.SetTarget(static_cast<int>(*count));
    outbox.ConsoleOutput("Simulated players wanted: " + std::to_string(*count));
    return true;
}

bool ConsoleCommands::SimSlow(std::string_view argument) {
    constexpr int64_t kMost = 1000;
    const size_t blank = argument.find(' ');
    const auto ms = CommandLine::ParseInteger(argument.substr(0, blank));
    const auto every = blank == std::string_view::npos
                           ? std::nullopt
                           : CommandLine::ParseInteger(CommandLine::Trim(argument.substr(blank)));
    if (!ms || !every || *ms < 0 || *ms > kMost || *every < 0 || *every > kMost ||
        (*ms == 0) != (*every == 0))
        return Error(
            "Usage: sim_slow MS N (every Nth tick takes MS milliseconds, each 1 to 1000; "
            "0 0 for none)");
    server.slowTickMs = static_cast<int>(*ms);
    server.slowTickEvery = static_cast<int>(*every);
    outbox.ConsoleOutput(*ms == 0 ? std::string("Ticks at full speed")
                                  : "Every " + std::to_string(*every) + ". tick takes " +
                                        std::to_string(*ms) + " ms");
    return true;
}

bool ConsoleCommands::SimJoin(std::string_view argument) {
    if (!server.started) return Error("sim_join: no game server running");
    if (!players.Join(CommandLine::Unquote(argument), outbox)) {
        return Error("sim_join: the server is full");
    }
    return true;
}
