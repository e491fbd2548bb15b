// The engine's console: runs command lines against the variables, the players and the server.
#pragma once

#include <string_view>

#include "ConsoleVariables.h"
#include "EngineOutbox.h"
#include "GameServerState.h"
#include "PlayerSimulation.h"

class ConsoleCommands {
public:
    static constexpr size_t kMaxLineLength = 2047;  // room for a full-length text and its name

    ConsoleCommands(ConsoleVariables& variables, PlayerSimulation& players, EngineOutbox& outbox,
                    GameServerState& server);

    // Runs each line of the text; false when any line failed.
    bool Execute(std::string_view text);
    bool ExecuteLine(std::string_view line);

private:
    bool SetVariable(std::string_view name, std::string_view value, bool asText);
    bool ShowVariable(std::string_view name);
    bool Status();
    bool Help();
    bool ChangeMap(std::string_view argument);
    bool Kick(std::string_view argument);
    bool Say(std::string_view text);
    bool SendBandwidth(std::string_view argument);
    bool SimBots(std::string_view argument);
    bool SimJoin(std::string_view argument);
    bool SimSlow(std::string_view argument);
    bool Error(std::string_view text);

    ConsoleVariables& variables;
    PlayerSimulation& players;
    EngineOutbox& outbox;
    GameServerState& server;
};
