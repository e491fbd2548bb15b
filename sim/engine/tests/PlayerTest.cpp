#include <set>

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
        EXPECT_EQ(engine->ExecuteCommand("sim_join Early"), 0) << "no server runs yet";
        StartGame("worlds/antarctica", 16);
        for (int round = 0; round < 20; ++round) {
            for (int i = 0; i < 500; ++i) engine->Tick(0);
            engine->ExecuteCommand(round % 2 == 0 ? "sim_bots 3" : "sim_bots 16");
        }
        return sink.messages;
    };
    const auto first = session("7");
    EXPECT_TRUE(std::ranges::any_of(first, [](const std::string& m) {
        return m[0] == '\x03' && m.find('\n') != m.rfind('\n');  // several records in one
    }));
    const MessageRoster roster = Roster();
    EXPECT_GE(roster.players.size(), 3u);
    std::set<int32_t> keys;
    for (const auto& [id, player] : roster.players) {
        EXPECT_NE(player.name, "NEWPLAYER");
        EXPECT_LE(player.name.size(), 30u);
        EXPECT_TRUE(player.team >= 1070u && player.team <= 1073u) << player.team;
        EXPECT_TRUE(player.specialty >= 1080 && player.specialty <= 1087) << player.specialty;
        EXPECT_TRUE(keys.insert(id & 0xFFFF).second) << "two players share a roster key";
        float ping = 0;
        EXPECT_EQ(engine->GetClientPing(id, &ping), 1) << "the host shows a player who left";
        EXPECT_TRUE(ping > 0.005f && ping < 0.5f) << ping;
    }
    engine->ExecuteCommand("status");
    EXPECT_TRUE(sink.Said("Players: " + std::to_string(roster.players.size()) + "/16"));
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
    MessageRoster roster = Roster();
    ASSERT_EQ(roster.players.size(), 2u);
    const int32_t id = roster.players.begin()->first;
    EXPECT_EQ(roster.players.begin()->second.name, "A name that is far longer than");
    sink.Clear();
    EXPECT_EQ(engine->DropClient(id), 1);
    EXPECT_EQ(sink.messages.at(0), "\x02" + std::to_string(id));
    float ping = 1;
    EXPECT_EQ(engine->GetClientPing(id, &ping) + ping, 0.0f);
    EXPECT_EQ(engine->DropClient(id) + engine->ExecuteCommand("kick 123456"), 0);
    engine->ExecuteCommand("sim_close");
    EXPECT_EQ(Roster().closeMessages, 0) << "the close message waits for Tick";
    EXPECT_EQ(engine->Tick(0), 1);
    EXPECT_EQ(Roster().closeMessages, 1);
    engine->ExecuteCommand("quit");
    EXPECT_EQ(engine->Tick(0), 0);
}
