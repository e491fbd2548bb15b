#include <set>

#include "EngineTestSupport.h"

class PlayerTest : public EngineTest {
protected:
    // Every message so far applied to a host-style roster; fails the test on a malformed one.
    MessageRoster Roster() {
        MessageRoster roster;
        for (const std::string& message : sink.messages) {
            EXPECT_TRUE(roster.Apply(message)) << "malformed: " << message;
        }
        return roster;
    }
    size_t Players() { return Roster().players.size(); }
};

TEST_F(PlayerTest, NobodyJoinsBeforeTheServerStarts) {
    CreateEngine();
    for (int i = 0; i < 500; ++i) ASSERT_EQ(engine->Tick(0), 1);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(engine->ExecuteCommand("sim_join Early"), 0);
    EXPECT_TRUE(Roster().players.empty());
}

TEST_F(PlayerTest, PlayersArriveFromInsideTickUpToTheTarget) {
    SetControl("TARNWICK_SIM_BOTS", "5");
    CreateEngine();
    StartGame();
    sink.Clear();
    ASSERT_TRUE(TickUntil([&] { return Players() == 5; }));
    for (int i = 0; i < 600; ++i) engine->Tick(0);
    MessageRoster roster = Roster();
    EXPECT_LE(roster.players.size(), 5u);
    std::set<int32_t> keys;
    for (const auto& [id, player] : roster.players) {
        EXPECT_NE(player.name, "NEWPLAYER");
        EXPECT_LE(player.name.size(), 30u);
        EXPECT_GE(player.team, 1070u);
        EXPECT_LE(player.team, 1073u);
        EXPECT_GE(player.specialty, 1080);
        EXPECT_LE(player.specialty, 1087);
        EXPECT_TRUE(keys.insert(id & 0xFFFF).second) << "two players share a roster key";
        float ping = 0;
        EXPECT_EQ(engine->GetClientPing(id, &ping), 1);
        EXPECT_GT(ping, 0.005f);
        EXPECT_LT(ping, 0.5f);
    }
}

TEST_F(PlayerTest, TheSameSeedGivesTheSameSession) {
    auto session = [&] {
        CreateEngine();
        StartGame();
        for (int i = 0; i < 3000; ++i) engine->Tick(0);
        std::vector<std::string> messages = sink.messages;
        ReleaseEngine();
        sink.Clear();
        return messages;
    };
    SetControl("TARNWICK_SIM_SEED", "7");
    const auto first = session();
    const auto second = session();
    SetControl("TARNWICK_SIM_SEED", "8");
    const auto other = session();
    EXPECT_GT(first.size(), 10u);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, other);
}

TEST_F(PlayerTest, ALongSessionKeepsTheHostRosterInStepWithTheEngine) {
    SetControl("TARNWICK_SIM_BOTS", "16");
    CreateEngine();
    StartGame("worlds/antarctica", 16);
    bool sawMultiRecordUpdate = false;
    for (int round = 0; round < 40; ++round) {
        for (int i = 0; i < 500; ++i) engine->Tick(0);
        engine->ExecuteCommand(round % 2 == 0 ? "sim_bots 3" : "sim_bots 16");
    }
    for (const std::string& message : sink.messages) {
        if (message[0] == '\x03' && message.find('\n') != message.rfind('\n')) {
            sawMultiRecordUpdate = true;
        }
    }
    MessageRoster roster = Roster();
    for (const auto& [id, player] : roster.players) {
        float ping = 0;
        EXPECT_EQ(engine->GetClientPing(id, &ping), 1) << "the host shows a player who left";
    }
    sink.Clear();
    engine->ExecuteCommand("status");
    EXPECT_TRUE(
        sink.SaidSomethingContaining("Players: " + std::to_string(roster.players.size()) + "/16"));
    EXPECT_TRUE(sawMultiRecordUpdate);
}

TEST_F(PlayerTest, DroppingAClientIsAnsweredByItsRemoval) {
    CreateEngine();
    StartGame();
    ASSERT_EQ(engine->ExecuteCommand("sim_join Alice"), 1);
    MessageRoster roster = Roster();
    ASSERT_EQ(roster.players.size(), 1u);
    const int32_t id = roster.players.begin()->first;
    EXPECT_EQ(roster.players.begin()->second.name, "Alice");
    sink.Clear();
    EXPECT_EQ(engine->DropClient(id), 1);
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages[0], "\x02" + std::to_string(id));
    float ping = 1;
    EXPECT_EQ(engine->GetClientPing(id, &ping), 0);
    EXPECT_EQ(ping, 0.0f);
    EXPECT_EQ(engine->DropClient(id), 0);
    EXPECT_EQ(engine->DropClient(-1), 0);
}

TEST_F(PlayerTest, KickAndSimJoinWorkFromTheConsole) {
    SetControl("TARNWICK_SIM_BOTS", "0");
    CreateEngine();
    StartGame("worlds/antarctica", 2);
    EXPECT_EQ(engine->ExecuteCommand("sim_join A name that is far longer than thirty characters"),
              1);
    EXPECT_EQ(engine->ExecuteCommand("sim_join Bob"), 1);
    EXPECT_EQ(engine->ExecuteCommand("sim_join Carol"), 0) << "two players fill the server";
    EXPECT_TRUE(sink.SaidSomethingContaining("full"));
    MessageRoster roster = Roster();
    ASSERT_EQ(roster.players.size(), 2u);
    EXPECT_EQ(roster.players.begin()->second.name, "A name that is far longer than");
    const int32_t id = roster.players.begin()->first;
    EXPECT_EQ(engine->ExecuteCommand(("kick " + std::to_string(id)).c_str()), 1);
    EXPECT_EQ(Roster().players.size(), 1u);
    EXPECT_EQ(engine->ExecuteCommand("kick 123456"), 0);
    EXPECT_EQ(engine->ExecuteCommand("kick abc"), 0);
}

TEST_F(PlayerTest, TrafficFollowsThePlayerCount) {
    SetControl("TARNWICK_SIM_BOTS", "0");
    CreateEngine();
    StartGame();
    float idleSend = 0, idleReceive = 0, send = 0, receive = 0;
    ASSERT_EQ(engine->GetTraffic(&idleSend, &idleReceive), 1);
    for (int i = 0; i < 8; ++i) engine->ExecuteCommand("sim_join");
    ASSERT_EQ(engine->GetTraffic(&send, &receive), 1);
    EXPECT_GT(send, idleSend + 8 * 1000);
    EXPECT_GT(receive, idleReceive + 8 * 500);
    engine->ExecuteCommand("sendbandwidth 4000");
    ASSERT_EQ(engine->GetTraffic(&send, &receive), 1);
    EXPECT_LE(send, 4000.0f) << "the send rate stays under the send bandwidth";
    EXPECT_EQ(engine->GetTraffic(nullptr, &receive), 0);
}

TEST_F(PlayerTest, QuitStopsTheNextTickAndCloseReachesTheHostFromTick) {
    CreateEngine();
    StartGame();
    engine->ExecuteCommand("sim_close");
    EXPECT_EQ(Roster().closeMessages, 0) << "the close message waits for Tick";
    EXPECT_EQ(engine->Tick(0), 1);
    EXPECT_EQ(Roster().closeMessages, 1);
    engine->ExecuteCommand("quit");
    EXPECT_EQ(engine->Tick(0), 0);
    EXPECT_EQ(engine->Tick(0), 0);
}

TEST_F(PlayerTest, CloseAfterTicksSendsOneCloseOnTheNthTick) {
    SetControl("TARNWICK_SIM_CLOSE_AFTER_TICKS", "3");
    CreateEngine();
    engine->Tick(0);
    engine->Tick(0);
    EXPECT_EQ(Roster().closeMessages, 0);
    engine->Tick(0);
    EXPECT_EQ(Roster().closeMessages, 1);
    for (int i = 0; i < 10; ++i) engine->Tick(0);
    EXPECT_EQ(Roster().closeMessages, 1);
}
