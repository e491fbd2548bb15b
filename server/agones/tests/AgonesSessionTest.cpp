// The conversation with the Agones SDK sidecar against a stand-in of its REST paths: what is told
// once the server runs and as it changes, health behind the liveness gate, retries while the
// sidecar is not up, and answers out of bounds. Shutdown at each end is the program's test.
#include <gtest/gtest.h>

#include "AgonesSession.h"
#include "EventLoop.h"
#include "SdkStandIn.h"

namespace {

using namespace std::chrono_literals;

// A session over a server whose worker and status pass move at every look unless told not to.
struct Conversation {
    explicit Conversation(uint16_t port, std::chrono::milliseconds healthPeriod = 1h)
        : session(port, [this] { return Look(); }, healthPeriod, {300ms, 20ms, 100ms}) {
        QObject::connect(&session, &AgonesSession::notice,
                         [this](bool, const QString& text) { notices << text; });
        session.ServerRunning({"worlds/dunes", "1.2.3", {}, 16});
    }
    Liveness Look() {
        seen.workerSteps += workerMoves ? 1 : 0;
        seen.loopTurns += loopMoves ? 1 : 0;
        return seen;
    }
    bool Noted(const QString& text) const { return notices.join('\n').contains(text); }

    Liveness seen{0, 0, true};
    bool workerMoves = true, loopMoves = true;
    AgonesSession session;
    QStringList notices;
};

TEST(AgonesSessionTest, ReadyAfterTheLabelsThenTheWorldAndThePlayersAsTheFleetKeepsThem) {
    const struct {
        const char* status;  // of the GameServer record
        std::vector<std::string> players;
    } cases[] = {
        {R"({"counters":{"players":{"count":"0","capacity":"10"}}})",
         {R"(PATCH /v1beta1/counters/players {"count":"0","capacity":"16"})",
          R"(PATCH /v1beta1/counters/players {"count":"2","capacity":"16"})",
          R"(PATCH /v1beta1/counters/players {"count":"1","capacity":"16"})"}},
        {R"({"lists":{"players":{"capacity":"10","values":[]}}})",
         {R"(PATCH /v1beta1/lists/players {"capacity":"16"})",
          R"(POST /v1beta1/lists/players:addValue {"value":"3"})",
          R"(POST /v1beta1/lists/players:addValue {"value":"70000"})",
          R"(POST /v1beta1/lists/players:removeValue {"value":"3"})"}},
        {"{}", {}},  // the fleet keeps no players: nothing is sent for them
    };
    for (const auto& c : cases) {
        SdkStandIn sidecar;
        ASSERT_TRUE(sidecar.Listen());
        const std::string record = std::string(R"({"status":)") + c.status + "}";
        // Chunked, as the sidecar's gateway sends a long answer.
        sidecar.QueueAnswer("GET /gameserver",
                            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                QByteArray::number(qsizetype(record.size()), 16).toStdString() +
                                "\r\n" + record + "\r\n0\r\n\r\n");
        Conversation talk(sidecar.Port());
        std::vector<std::string> expected = {
            "GET /gameserver ", R"(PUT /metadata/label {"key":"world","value":"dunes"})",
            R"(PUT /metadata/label {"key":"version","value":"1.2.3"})", "POST /ready {}"};
        expected.insert(expected.end(), c.players.begin(), c.players.begin() + !c.players.empty());
        ASSERT_TRUE(RunEventsUntil([&] { return sidecar.Requests().size() == expected.size(); }));
        talk.session.StatusSeen({"worlds/quarry", "1.2.3", {3, 70000}, 16});
        expected.push_back(R"(PUT /metadata/label {"key":"world","value":"quarry"})");
        for (std::size_t i = 1; i + 1 < c.players.size(); ++i) expected.push_back(c.players[i]);
        ASSERT_TRUE(RunEventsUntil([&] { return sidecar.Requests().size() == expected.size(); }));
        for (int twice = 0; twice < 2; ++twice)  // the second one changes nothing
            talk.session.StatusSeen({"worlds/quarry", "1.2.3", {70000}, 16});
        if (c.players.size() > 1) expected.push_back(c.players.back());
        RunEventsUntil([] { return false; }, 150);
        EXPECT_EQ(sidecar.Requests(), expected) << c.status;
        EXPECT_TRUE(talk.Noted("Agones: Ready;"));
    }
}

TEST(AgonesSessionTest, HealthOnlyWhileTheWorkerAndTheStatusPassBothMove) {
    SdkStandIn sidecar;
    ASSERT_TRUE(sidecar.Listen());
    Conversation talk(sidecar.Port(), 20ms);
    const auto pings = [&] {
        const auto requests = sidecar.Requests();
        return std::count(requests.begin(), requests.end(), "POST /health {}");
    };
    ASSERT_TRUE(RunEventsUntil([&] { return pings() >= 3; }));
    // A hung engine, a stuck status pass, and a stopping engine however it moves.
    for (const auto& [worker, loop, running] :
         {std::tuple{false, true, true}, {true, false, true}, {true, true, false}}) {
        talk.workerMoves = worker;
        talk.loopMoves = loop;
        talk.seen.engineShouldRun = running;
        RunEventsUntil([] { return false; }, 60);  // a ping already on its way still lands
        const auto before = pings();
        RunEventsUntil([] { return false; }, 200);
        EXPECT_EQ(pings(), before) << worker << loop << running;
        talk.workerMoves = talk.loopMoves = talk.seen.engineShouldRun = true;
        ASSERT_TRUE(RunEventsUntil([&] { return pings() > before; }));
    }
    EXPECT_EQ(talk.notices.count("Agones: health withheld: the engine's worker or the status "
                                 "pass has not moved"),
              3);
    EXPECT_EQ(talk.notices.count("Agones: health pings again"), 3);
}

TEST(AgonesSessionTest, TriesAgainUntilTheSidecarIsUpAndSaysItOnce) {
    uint16_t port = 0;
    {
        SdkStandIn reserve;  // a port that nothing listens on until later
        ASSERT_TRUE(reserve.Listen());
        port = reserve.Port();
    }
    Conversation talk(port);
    RunEventsUntil([] { return false; }, 400);  // several tries, at growing pauses
    SdkStandIn sidecar;
    ASSERT_TRUE(sidecar.Listen(port));
    ASSERT_TRUE(RunEventsUntil([&] { return sidecar.Requests().size() == 4; }));
    EXPECT_EQ(sidecar.Requests().front(), "GET /gameserver ");
    EXPECT_EQ(sidecar.Requests().back(), "POST /ready {}");
    EXPECT_EQ(talk.notices.filter("cannot be reached (Connection refused)").size(), 1);
    EXPECT_EQ(talk.notices.filter("the SDK sidecar answers (after").size(), 1);
}

TEST(AgonesSessionTest, AnswersOutOfBoundsAreRefusedAndTheRunGoesOn) {
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::string error = R"({"code":13,"message":"no)"
                              "\\u0007"
                              R"( record"})";
    const std::pair<std::string, const char*> cases[] = {
        {ok + "Content-Length: 70000\r\n\r\n" + std::string(70000, '{'), "body limit exceeded"},
        {ok + "X: " + std::string(9000, 'x') + "\r\n\r\n", "header limit exceeded"},
        {"SSH-2.0-OpenSSH\r\n\r\n", "a bad answer"},
        {ok + "Content-Length: 100\r\n\r\n{\"cut\":", "the answer was cut short"},
        {ok + "Content-Length: 3\r\n\r\n[1]", "not a JSON object"},
        {"HTTP/1.1 500 Internal\r\nContent-Length: " + std::to_string(error.size()) + "\r\n\r\n" +
             error,
         "GET /gameserver failed: HTTP 500, no  record"},
        // Nothing within the exchange's time: tried again, as when nobody listens.
        {"", "cannot be reached (no answer within 300 ms)"},
    };
    for (const auto& [raw, notice] : cases) {
        SdkStandIn sidecar;
        ASSERT_TRUE(sidecar.Listen());
        sidecar.QueueAnswer("GET /gameserver", raw);
        Conversation talk(sidecar.Port());
        ASSERT_TRUE(RunEventsUntil([&] { return talk.Noted("Agones: Ready;"); })) << notice;
        EXPECT_TRUE(talk.Noted(notice)) << talk.notices.join('\n').toStdString();
    }
}

TEST(AgonesSessionTest, ThePortComesFromTheEnvironmentOrTheDefault) {
    EXPECT_EQ(ChooseAgonesPort(false, nullptr).port, std::nullopt);
    EXPECT_EQ(ChooseAgonesPort(false, "").port, std::nullopt);
    EXPECT_EQ(ChooseAgonesPort(true, nullptr).port, 9358);
    EXPECT_EQ(ChooseAgonesPort(false, "65535").port, 65535);
    for (const char* bad : {"0", "65536", "-1", "+94", " 94", "94 ", "0x10", "\x1b[2J"}) {
        const AgonesPortChoice choice = ChooseAgonesPort(true, bad);
        EXPECT_EQ(choice.port, std::nullopt) << bad;
        EXPECT_EQ(choice.error.find('\x1b'), std::string::npos);
    }
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
