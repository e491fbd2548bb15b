#include <fstream>

#include "EngineTestSupport.h"

class FailureControlTest : public EngineTest {
protected:
    // Runs the host's start-up steps and answers the name of the first one that failed.
    std::string FirstFailingStep() {
        ServerEngine* created = nullptr;
        if (CreateServerEngine(2, &kServerEngineGuid, &created) != 0) {
            EXPECT_EQ(created, nullptr);
            return "create";
        }
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

class FailureValueTest : public FailureControlTest,
                         public ::testing::WithParamInterface<const char*> {};

TEST_P(FailureValueTest, OnlyTheNamedStepFails) {
    std::filesystem::create_directory(dir.Path() / "tarnwick");
    std::ofstream((dir.Path() / "tarnwick.rez").string()) << "resources";
    ScopedWorkingDirectory inside(dir.Path());
    SetControl("TARNWICK_SIM_FAIL", GetParam());
    EXPECT_EQ(FirstFailingStep(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(EverySimFailValue, FailureValueTest,
                         ::testing::Values("create", "attach", "resources", "drivers", "release",
                                           "init", "tick", "none"));

TEST_F(FailureControlTest, UnknownValuesFailNothingAndListsCombine) {
    std::filesystem::create_directory(dir.Path() / "tarnwick");
    std::filesystem::create_directory(dir.Path() / "tarnwick.rez");
    ScopedWorkingDirectory inside(dir.Path());
    SetControl("TARNWICK_SIM_FAIL", "explode");
    EXPECT_EQ(FirstFailingStep(), "none");
    ReleaseEngine();
    SetControl("TARNWICK_SIM_FAIL", "tick, init");
    EXPECT_EQ(FirstFailingStep(), "init");
}

TEST_F(FailureControlTest, EachCreationReadsTheControlsAgain) {
    SetControl("TARNWICK_SIM_FAIL", "create");
    ServerEngine* created = reinterpret_cast<ServerEngine*>(8);
    EXPECT_NE(CreateServerEngine(2, &kServerEngineGuid, &created), 0);
    EXPECT_EQ(created, nullptr);
    ::unsetenv("TARNWICK_SIM_FAIL");
    CreateEngine();
    EXPECT_NE(engine, nullptr);
}

TEST_F(FailureControlTest, CreationChecksVersionInterfaceAndOneEngineAtATime) {
    ServerEngine* created = nullptr;
    EXPECT_NE(CreateServerEngine(1, &kServerEngineGuid, &created), 0);
    EngineInterfaceGuid other = kServerEngineGuid;
    other.data4[7] ^= 1;
    EXPECT_NE(CreateServerEngine(2, &other, &created), 0);
    EXPECT_NE(CreateServerEngine(2, nullptr, &created), 0);
    EXPECT_NE(CreateServerEngine(2, &kServerEngineGuid, nullptr), 0);
    EXPECT_EQ(created, nullptr);
    CreateEngine();
    EXPECT_NE(CreateServerEngine(2, &kServerEngineGuid, &created), 0);
    ReleaseEngine();
    ReleaseServerEngine();  // a second release does nothing
    CreateEngine();
    EXPECT_NE(engine, nullptr);
}

TEST_F(FailureControlTest, ResourcesMustExistBelowTheCurrentDirectory) {
    std::filesystem::create_directory(dir.Path() / "tarnwick");
    ScopedWorkingDirectory inside(dir.Path());
    CreateEngine();
    const char* present[] = {"tarnwick"};
    EXPECT_EQ(engine->RegisterResources(present, 1), 1);
    const char* missing[] = {"tarnwick", "tarnwick.rez"};
    EXPECT_EQ(engine->RegisterResources(missing, 2), 0);
    EXPECT_TRUE(sink.SaidSomethingContaining("tarnwick.rez"));
    const char* escaping[] = {"../tarnwick", "/etc"};
    EXPECT_EQ(engine->RegisterResources(escaping, 1), 0);
    EXPECT_EQ(engine->RegisterResources(escaping + 1, 1), 0);
    const char* withNull[] = {nullptr};
    EXPECT_EQ(engine->RegisterResources(withNull, 1), 0);
    EXPECT_EQ(engine->RegisterResources(nullptr, 2), 0);
    EXPECT_EQ(engine->RegisterResources(present, 0), 0);
    EXPECT_EQ(engine->RegisterResources(present, 33), 0);
}
