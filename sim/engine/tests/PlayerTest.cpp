#include "EngineTestSupport.h"

TEST_F(EngineTest, PlayersArriveFromInsideTickAndTheSeedFixesTheSession) {
    SetControl("TARNWICK_SIM_BOTS", "16");
    auto session = [&](const char* seed) {
        ReleaseEngine();
        sink.Clear();
        SetControl("TARNWICK_SIM_SEED", seed);
        CreateEngine();
        for (int i = 0; i < 200; ++i) engine->Tick(0);
        EXPECT_TRUE(sink.messages.empty()) << "nobody joins before the server starts";
        StartGame();
        for (int round = 0; round < 20; ++round) {
            for (int i = 0; i < 500; ++i) engine->Tick(0);
            engine->ExecuteCommand(round % 2 == 0 ? "sim_bots 3" : "sim_bots 16");
        }
        return sink.messages;
    };
    const auto first = session("7");
    const MessageRoster roster = Roster();
    EXPECT_GE(roster.players.size(), 3u);
    for (const auto& [id, player] : roster.players) {
        float ping = 0;
        EXPECT_EQ(engine->GetClientPing(id, &ping), 1) << "the host shows a player who left";
        EXPECT_TRUE(ping > 0.005f && ping < 0.5f) << ping;
        EXPECT_NE(player.name, "NEWPLAYER");
        EXPECT_TRUE(player.team >= 1070 && player.team <= 1073) << player.team;
        EXPECT_TRUE(player.specialty >= 1080 && player.specialty <= 1087) << player.specialty;
    }
    EXPECT_EQ(session("7"), first);
    EXPECT_NE(session("8"), first);
}

TEST_F(EngineTest, DroppingAClientIsAnsweredByItsRemoval) {
    SetControl("TARNWICK_SIM_BOTS", "0");
    CreateEngine();
    StartGame("worlds/antarctica", 2);
    ASSERT_EQ(engine->ExecuteCommand("sim_join A name that is far longer than thirty"), 1);
    ASSERT_EQ(engine->ExecuteCommand("sim_join Bob"), 1);
    EXPECT_EQ(engine->ExecuteCommand("sim_join Carol"), 0) << "two players fill the server";
    const MessageRoster roster = Roster();
    ASSERT_EQ(roster.players.size(), 2u);
    const auto& [id, player] = *roster.players.begin();
    EXPECT_EQ(player.name, "A name that is far longer than");
    sink.Clear();
    EXPECT_EQ(engine->DropClient(id), 1);
    EXPECT_EQ(sink.messages.at(0), "\x02" + std::to_string(id));
    float ping = 1;
    EXPECT_EQ(engine->GetClientPing(id, &ping) + engine->DropClient(id) + ping, 0.0f);
}
