// The test and demo controls read from the environment each time an engine is created.
#pragma once

#include <cstdint>
#include <string>

enum class SimStep : uint32_t {
    None = 0,
    Create = 1u << 0,
    Attach = 1u << 1,
    Resources = 1u << 2,
    Drivers = 1u << 3,
    Release = 1u << 4,
    Init = 1u << 5,
    Tick = 1u << 6,
};

struct SimControls {
    uint64_t seed = 0;
    bool seedGiven = false;
    int botTarget = 8;
    uint32_t failingSteps = 0;                        // SimStep bits
    uint64_t closeAfterTicks = 0;                     // 0: never
    std::string tracePath;                            // empty: no trace
    std::string eventLogDirectory = "tarnwick/logs";  // where logevents writes

    bool Fails(SimStep step) const { return (failingSteps & static_cast<uint32_t>(step)) != 0; }

    static SimControls FromEnvironment();
    // The step names of TARNWICK_SIM_FAIL, comma separated; unknown names are ignored.
    static uint32_t ParseFailingSteps(const char* text);
};
