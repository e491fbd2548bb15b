#include "EngineTestSupport.h"

class FailureControlTest : public EngineTest, public ::testing::WithParamInterface<const char*> {};

// Each value, then the first of the host's start-up steps that fails under it.
TEST_P(FailureControlTest, OnlyTheNamedStepFails) {
    const std::string value = GetParam(), expected = value.substr(value.find('=') + 1);
    SetControl("TARNWICK_SIM_FAIL", value.substr(0, value.find('=')));
    const char* names[] = {".", "./"};  // resources that exist wherever the test runs
    NetworkDriverRecord* first = nullptr;
    ServerInitInfo init{0, 0, 16, ""};
    const std::string failed = [&] {
        if (CreateServerEngine(2, &kServerEngineGuid, &engine) != 0)
            return engine == nullptr ? "create" : "create, leaving a pointer";
        if (engine->AttachHost(&sink) != 0) return "attach";
        if (engine->RegisterResources(names, 2) == 0) return "resources";
        if (engine->ListNetworkDrivers(&first) == 0) return "drivers";
        if (engine->ReleaseNetworkDriverList(first) != 1) return "release";
        if (engine->InitServer(&init) == 0) return "init";
        return engine->Tick(0) == 0 ? "tick" : "none";
    }();
    EXPECT_EQ(failed, expected);
}

INSTANTIATE_TEST_SUITE_P(EverySimFailValue, FailureControlTest,
                         ::testing::Values("create=create", "attach=attach", "resources=resources",
                                           "drivers=drivers", "release=release", "init=init",
                                           "tick=tick", "none=none", "=none", "explode=none",
                                           "tick, init=init"));
