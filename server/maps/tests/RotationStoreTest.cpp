#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineLink.h"
#include "FakeEngine.h"
#include "RotationStore.h"

namespace {

using Lines = std::vector<std::string>;

class RotationStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.Reset();
        EngineLink::Instance().Bind(&engine);
        settings.SetNumMaps(3);
        engine.ClearCalls();
    }
    void TearDown() override {
        EngineLink::Instance().Unbind();
        settings.Reset();
    }
    FakeEngine engine;
    ServerSettings& settings = ServerSettings::Instance();
};

TEST_F(RotationStoreTest, EntryThatCannotBeSentIsLeftOutOfTheLength) {
    const std::string tooLong(252, 'x');
    EXPECT_EQ(WriteRotation(settings, {"worlds/a", tooLong, "worlds/bad\nline", "worlds/c"}), 2);
    EXPECT_EQ(engine.Commands(), (Lines{"map0 worlds/a", "map1 worlds/c", "nummaps 2"}));
    EXPECT_EQ(settings.NumMaps(), 2);
}

TEST_F(RotationStoreTest, WithoutAnEngineTheLengthIsLeftAlone) {
    EngineLink::Instance().Unbind();
    EXPECT_EQ(WriteRotation(settings, {"worlds/a"}), std::nullopt);
    EXPECT_EQ(settings.NumMaps(), 3);
    EXPECT_TRUE(engine.calls.empty());
}

}  // namespace
