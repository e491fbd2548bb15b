// What the running game server knows beyond its variables and players.
#pragma once

#include <cstdint>
#include <string>

struct GameServerState {
    bool initialised = false;
    bool started = false;
    uint64_t match = 0;       // counts the worlds started: each is a match of its own
    uint64_t matchTicks = 0;  // updates since the match started: the game's own clock
    std::string world;
    std::string launchText;
    int maxPlayers = 16;
    int64_t sendBandwidth = 32000;  // bytes per second
    int32_t chosenDriver = 0;
    bool quitRequested = false;   // Tick answers 0 from now on
    bool closeRequested = false;  // the next Tick tells the host to close
    int slowTickMs = 0;           // every slowTickEvery-th Tick takes this long (sim_slow)
    int slowTickEvery = 0;
    bool hangRequested = false;  // the next Tick never returns (sim_hang)
};
