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
            const auto post = [&](const std::string& path, const std::string& body,
                                  const std::string& cookie = {}) {
                return Http(port, JsonPost(port, path, body, cookie));
            };
            const std::string cookie = CookieOf(
                post("/api/login", std::string("{\"password\":\"") + kTestPassword + "\"}"));
            LiveClient live;
            live.Connect(port, cookie, "http://127.0.0.1:" + std::to_string(port));
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (std::chrono::steady_clock::now() < until) {
                const HttpReply listed =
                    Http(port, {"GET", "/api/players", {}, {{"Cookie", cookie}}});
                const QJsonArray players =
                    QJsonDocument::fromJson(QByteArray::fromStdString(listed.body)).array();
                HttpReply reply;
                switch (random() % 4) {
                    case 0:
                        reply = post("/api/command", "{\"command\":\"status\"}", cookie);
                        break;
                    case 1:
                        reply = post("/api/command", "{\"command\":\"sim_join Web\"}", cookie);
                        break;
                    case 2:
                        if (players.isEmpty()) continue;
                        reply = post(
                            "/api/kick",
                            "{\"id\":" +
                                std::to_string(players[random() % players.size()]["id"].toInt()) +
                                "}",
                            cookie);
                        break;
                    default:
                        live.Send("{\"ref\":1,\"action\":\"command\",\"command\":\"status\"}");
                        reply.status = 200;
                        break;
                }
                // A kick may lose the race with the player leaving by itself.
                if (reply.status == 200) ++actions;
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
