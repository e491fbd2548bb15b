// The web admin's threads against the real engine module: web clients log in, send commands and
// kicks and hold live sockets from threads of their own while players churn and the worker steps
// the engine. Run under the thread sanitizer; the engine's trace must never show two threads
// inside it at once.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <random>

#include "WebTestServer.h"

namespace {

TEST(WebThreads, WebClientsActingWhilePlayersChurnNeverOverlapInTheEngine) {
    AuditLog audit(testing::TempDir() + "web_thread_audit.log");
    WebAdminOptions options;
    options.enabled = true;
    WebAdmin web(WebTestServer::Core(), options, audit);
    ASSERT_EQ(web.Start(), "");
    const uint16_t port = web.Port();
    const int dropsBefore = CountTraceLines("DropClient");
    const int ticksBefore = CountTraceLines("Tick");

    std::atomic<int> done{0}, actions{0}, liveMessages{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&, c] {
            std::mt19937 random(c);
            const std::string login = std::string("{\"password\":\"") + kTestPassword + "\"}";
            const std::string cookie = CookieOf(Http(port, JsonPost(port, "/api/login", login)));
            LiveClient live;
            live.Connect(port, cookie, "http://127.0.0.1:" + std::to_string(port));
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (std::chrono::steady_clock::now() < until) {
                const std::string listed =
                    Http(port, {"GET", "/api/players", {}, {{"Cookie", cookie}}}).body;
                const QJsonArray players =
                    QJsonDocument::fromJson(QByteArray::fromStdString(listed)).array();
                const int32_t kick =
                    players.isEmpty() ? 0 : players[random() % players.size()]["id"].toInt();
                const std::string bodies[] = {R"({"command":"status"})",
                                              R"({"command":"sim_join Web"})",
                                              "{\"id\":" + std::to_string(kick) + "}"};
                // A kick may lose the race with the player leaving by itself, or find nobody.
                if (const unsigned pick = random() % 4; pick < 3) {
                    const std::string path = pick == 2 ? "/api/kick" : "/api/command";
                    actions += Http(port, JsonPost(port, path, bodies[pick], cookie)).status == 200;
                } else {
                    live.Send(R"({"ref":1,"action":"command","command":"status"})");
                    ++actions;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            liveMessages += static_cast<int>(live.Messages().size());
            ++done;
        });
    }
    ASSERT_TRUE(WaitUntil([&] { return done == 4; }, 30000));
    for (std::thread& client : clients) client.join();
    web.Stop();

    EXPECT_GT(actions.load(), 40);
    EXPECT_GT(liveMessages.load(), 40);
    EXPECT_GT(CountTraceLines("DropClient"), dropsBefore);
    EXPECT_GT(CountTraceLines("Tick") - ticksBefore, 30);
    std::ifstream lines(WebTestServer::TracePath());
    int overlaps = 0;
    for (std::string line; std::getline(lines, line);) overlaps += line == "OVERLAP";
    EXPECT_EQ(overlaps, 0);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new WebTestServer);
    return RUN_ALL_TESTS();
}
