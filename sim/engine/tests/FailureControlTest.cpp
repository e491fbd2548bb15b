#include <fstream>

#include "EngineTestSupport.h"

class FailureControlTest : public EngineTest, public ::testing::WithParamInterface<const char*> {
protected:
    // Runs the host's start-up steps and answers the name of the first one that failed.
    std::string FirstFailingStep() {
        ServerEngine* created = nullptr;
        if (CreateServerEngine(2, &kServerEngineGuid, &created) != 0)
            return created == nullptr ? "create" : "create, leaving a pointer";
        engine = created;
        if (engine->AttachHost(&sink) != 0) return "attach";
        const char* names[] = {"tarnwick", "tarnwick.rez"};
        if (engine->RegisterResources(names, 2) == 0) return "resources";
        NetworkDriverRecord* first = nullptr;
        if (engine->ListNetworkDrivers(&first) == 0) return "drivers";
        if (engine->ReleaseNetworkDriverList(first) != 1) return "release";
        ServerInitInfo init{};
        init.maxPlayers = 16;
        if (engine->InitServer(&init) == 0) return "init";
        if (engine->Tick(0) == 0) return "tick";
        return "none";
    }
    TempDirectory dir;
};

TEST_P(FailureControlTest, OnlyTheNamedStepFails) {
    std::filesystem::create_directory(dir.path / "tarnwick");
    std::ofstream(dir.File("tarnwick.rez")) << "resources";
    dir.Enter();
    const std::string value = GetParam(), expected = value.substr(value.find('=') + 1);
    SetControl("TARNWICK_SIM_FAIL", value.substr(0, value.find('=')));
    EXPECT_EQ(FirstFailingStep(), expected);
}

// Each value, then what it makes fail: unknown values fail nothing, the first step listed fails.
INSTANTIATE_TEST_SUITE_P(EverySimFailValue, FailureControlTest,
                         ::testing::Values("create=create", "attach=attach", "resources=resources",
                                           "drivers=drivers", "release=release", "init=init",
                                           "tick=tick", "none=none", "=none", "explode=none",
                                           "tick, init=init"));

TEST_F(EngineTest, CreationChecksVersionInterfaceAndOneEngineAtATime) {
    ServerEngine* created = nullptr;
    EngineInterfaceGuid other = kServerEngineGuid;
    other.data4[7] ^= 1;
    for (auto [version, guid] : {std::pair{1, &kServerEngineGuid}, {2, &other}, {2, nullptr}})
        EXPECT_NE(CreateServerEngine(version, guid, &created), 0) << version;
    EXPECT_NE(CreateServerEngine(2, &kServerEngineGuid, nullptr), 0);
    EXPECT_EQ(created, nullptr);
    CreateEngine();
    EXPECT_NE(CreateServerEngine(2, &kServerEngineGuid, &created), 0) << "one at a time";
    ReleaseEngine();
    ReleaseServerEngine();  // a second release does nothing
    CreateEngine();
}
