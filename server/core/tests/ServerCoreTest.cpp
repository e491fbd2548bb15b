#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <thread>

#include "CommandRules.h"
#include "ConsoleHistory.h"
#include "FakeEngine.h"
#include "ServerCore.h"
#include "ServerSettings.h"
#include "StatusText.h"

namespace {

std::string Message(char kind, const char* body) {
    return kind + std::string(body);
}

class FakeClock final : public CoreClock {
public:
    int64_t steadyMs = 0;
    int64_t epochSeconds = 1'800'000'000;
    int64_t SteadyMs() const override { return steadyMs; }
    int64_t EpochSeconds() const override { return epochSeconds; }
};

const EngineModule kFakeModule{&FakeEngineModule::Create, &FakeEngineModule::Release};

class ServerCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeEngineModule::bound = &engine;
        FakeEngineModule::releases = 0;
        core.UseClock(clock);
        core.UseBanFile(BanPath());
    }
    void TearDown() override { core.Shutdown(); }

    // Runs `messages` through the sink as the engine would, under the lock, then one pass.
    void Pass(std::initializer_list<std::string> messages = {}) {
        {
            std::lock_guard guard(core.SessionForTests().EngineLock());
            for (const std::string& m : messages) engine.sink->OnEngineMessage(m.c_str());
        }
        core.StatusPass();
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const ConsoleEntry& e : core.Console().After(0)) texts.push_back(e.text);
        return texts;
    }
    long Calls(const std::string& call) {
        Drain();
        std::lock_guard guard(core.SessionForTests().EngineLock());
        return std::count(engine.calls.begin(), engine.calls.end(), call);
    }
    // The console commands the engine got since the last call.
    std::vector<std::string> Commands() {
        Drain();
        std::lock_guard guard(core.SessionForTests().EngineLock());
        std::vector<std::string> commands = engine.Commands();
        engine.ClearCalls();
        return commands;
    }
    // A command the worker was left to send (a step held the lock) reaches the engine first.
    void Drain() {
        core.SessionForTests().WithEngine([](ServerEngine&) {});
    }
    QString BanPath() const { return scratch.filePath("bans"); }

    FakeClock clock;
    QTemporaryDir scratch;
    FakeEngine engine;
    ServerCore core{kFakeModule};
    const Requester web{Requester::Kind::Web, "192.0.2.7", "a1b2", {}};
};

TEST_F(ServerCoreTest, ARosterChangeIsPublishedOnceAndQuietPassesCarryOnlyPings) {
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    QSignalSpy roster(&core, &ServerCore::rosterRefreshed);
    QSignalSpy joined(&core, &ServerCore::playerJoined);
    QSignalSpy left(&core, &ServerCore::playerLeft);
    engine.pings[12] = 0.042f;
    Pass({Message(1, "12"), Message(3, "12 Alice\n1070 1081 -1"), Message(1, "13")});
    Pass();
    Pass({Message(2, "13")});
    ASSERT_EQ(roster.size(), 3);
    EXPECT_EQ(roster[0][1].toBool(), true);
    EXPECT_EQ(roster[1][1].toBool(), false);
    EXPECT_EQ(roster[2][1].toBool(), true);
    EXPECT_EQ(joined.size(), 2);
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left[0][0].value<PlayerRecord>().clientId, 13);
    EXPECT_FLOAT_EQ(core.PingSeconds(12), 0.042f);
    EXPECT_EQ(core.Status().players, 1);
    EXPECT_EQ(Calls("GetClientPing 12"), 3);  // once a pass, under the lock
}

TEST_F(ServerCoreTest, ConsoleLinesGetGapFreeSequenceNumbersAndTheHistoryIsBounded) {
    ConsoleHistory history(3);
    for (int i = 1; i <= 5; ++i) history.Append("line " + std::to_string(i), i);
    const auto all = history.After(0);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all.front().seq, 3u);
    EXPECT_EQ(all.back().text, "line 5");
    EXPECT_EQ(history.After(3).size(), 2u);
    EXPECT_EQ(history.After(4, 1).front().seq, 5u);
    EXPECT_TRUE(history.After(5).empty());
    EXPECT_TRUE(history.After(99).empty());

    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    {
        std::lock_guard guard(core.SessionForTests().EngineLock());
        engine.sink->OnConsoleOutput("first\n");
        engine.sink->OnEngineMessage(Message(6, "second").c_str());
    }
    EXPECT_EQ(core.SubmitConsoleCommand("say hi", Requester::Terminal()), ActionResult::Done);
    core.StatusPass();
    const auto lines = core.Console().After(0);
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].seq, i + 1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"say hi", "first\n", "second"}));
}

TEST_F(ServerCoreTest, ActionsAreCheckedAndPublishedWithWhoAsked) {
    QSignalSpy actions(&core, &ServerCore::actionTaken);
    EXPECT_EQ(core.SubmitConsoleCommand("status", Requester::Window()), ActionResult::NoServer);
    EXPECT_EQ(core.Kick(1, Requester::Window()), ActionResult::NoServer);
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0][0].value<Requester>().Describe(), "window");

    engine.configLines = {"map1 Worlds/Sandpit", "nummaps 2"};
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    Pass({Message(1, "7"), Message(1, "9")});
    const Requester web{Requester::Kind::Web, "192.0.2.7", "a1b2", "anna"};
    EXPECT_EQ(core.SubmitConsoleCommand("", web), ActionResult::Empty);
    EXPECT_EQ(core.SubmitConsoleCommand("status\rquit", web), ActionResult::UnsafeText);
    EXPECT_EQ(core.SubmitConsoleCommand(std::string("say a\0b", 7), web), ActionResult::UnsafeText);
    EXPECT_EQ(core.SubmitConsoleCommand("say \x7f", web), ActionResult::UnsafeText);
    // Over 119 characters is refused whole: a cut +remoteadminpassword "..." would lose its
    // closing quote and set another password.
    const std::string password = "+remoteadminpassword \"" + std::string(97, 'p') + "\"";
    ASSERT_EQ(password.size(), command_rules::kMaxLength + 1);
    EXPECT_EQ(core.SubmitConsoleCommand(password, web), ActionResult::TooLong);
    EXPECT_EQ(core.Kick(8, web), ActionResult::NotFound);
    EXPECT_EQ(core.ChangeMap({2, std::nullopt}, web), ActionResult::OutOfRange);
    EXPECT_EQ(core.ChangeMap({-1, std::nullopt}, web), ActionResult::OutOfRange);
    EXPECT_EQ(Calls("DropClient 8"), 0);
    EXPECT_EQ(Texts().size(), 0u) << "a refused command is not echoed";

    EXPECT_EQ(core.Kick(7, web), ActionResult::Done);
    EXPECT_EQ(core.ChangeMap({1, std::nullopt}, web), ActionResult::Done);
    EXPECT_EQ(core.SubmitConsoleCommand("say\t" + std::string(115, 'x'), web), ActionResult::Done);
    EXPECT_EQ(Calls("DropClient 7"), 1);
    EXPECT_EQ(Calls("ExecuteCommand changemap 1"), 1);
    EXPECT_EQ(Calls("ExecuteCommand say\t" + std::string(115, 'x')), 1);
    EXPECT_EQ(core.Status().world, "worlds/sandpit");
    EXPECT_EQ(actions.back()[0].value<Requester>().Describe(), "web 192.0.2.7 (a1b2) anna");

    // A player who left since the last pass: the engine drops nobody, and the answer says so.
    engine.dropResult = 0;
    EXPECT_EQ(core.Kick(9, web), ActionResult::NotFound);
    EXPECT_EQ(Calls("DropClient 9"), 1);

    // Only the commands that reached the engine count, by where they came from.
    EXPECT_EQ(core.SubmitConsoleCommand("status", Requester::Terminal()), ActionResult::Done);
    const MetricsSnapshot metrics = core.Metrics();
    EXPECT_EQ(metrics.commandsWeb, 1u);
    EXPECT_EQ(metrics.commandsTerminal, 1u);
    EXPECT_EQ(metrics.commandsWindow, 0u);
}

TEST_F(ServerCoreTest, AChangeOfMapIsRefusedWhenTheRotationMovedUnderTheRequester) {
    engine.configLines = {"nummaps 2", "map1 Worlds/Sandpit", "map2 worlds/caf\xE9"};
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    ASSERT_EQ(core.Rotation().size(), 2u);
    EXPECT_EQ(core.Rotation()[1].world, "worlds/sandpit");

    // An operator retypes entry 1 while the web page still shows the old world there.
    ASSERT_EQ(core.SubmitConsoleCommand("map1 worlds/harbour", Requester::Terminal()),
              ActionResult::Done);
    EXPECT_EQ(core.ChangeMap({1, "worlds/sandpit"}, web), ActionResult::Conflict);
    EXPECT_EQ(Calls("ExecuteCommand changemap 1"), 0);
    EXPECT_EQ(core.Status().world, "worlds/antarctica");
    EXPECT_EQ(core.ChangeMap({1, "Worlds/Harbour"}, web), ActionResult::Done);
    EXPECT_EQ(core.Status().world, "worlds/harbour");

    // A world's bytes as the window keeps them, or as a page shows them, name the same entry.
    ASSERT_EQ(core.SetRotation({"worlds/a", "worlds/caf\xE9"}, web), ActionResult::Done);
    EXPECT_EQ(core.ChangeMap({1, "worlds/caf\xE9"}, Requester::Window()), ActionResult::Done);
    EXPECT_EQ(core.ChangeMap({1, "worlds/caf\xC3\xA9"}, web), ActionResult::Done);
    EXPECT_EQ(core.ChangeMap({1, "worlds/cafe"}, web), ActionResult::Conflict);
}

TEST_F(ServerCoreTest, ChangesAreCheckedFirstPublishedWithWhoAskedAndPasswordsNeverShown) {
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    QSignalSpy settings(&core, &ServerCore::settingChanged);
    QSignalSpy rotation(&core, &ServerCore::rotationChanged);
    QSignalSpy actions(&core, &ServerCore::actionTaken);

    EXPECT_EQ(core.ChangeSetting({Setting::MaxPlayers, 20}, web), ActionResult::Done);
    EXPECT_EQ(core.ChangeSetting({Setting::RemoteAdminPassword, std::string("s3cret-pw")},
                                 Requester::Window()),
              ActionResult::Done);
    EXPECT_EQ(core.ChangeSetting({Setting::MaxPlayers, std::string("20")}, web),
              ActionResult::Invalid);
    EXPECT_EQ(core.ChangeSetting({Setting::AdminName, std::string("a\"b")}, web),
              ActionResult::UnsafeText);
    ASSERT_EQ(settings.size(), 2);
    EXPECT_EQ(settings[0][0].value<Setting>(), Setting::MaxPlayers);
    EXPECT_EQ(settings[1][1].value<Requester>().kind, Requester::Kind::Window);
    EXPECT_EQ(core.SettingValues().maxplayers, 20);
    EXPECT_EQ(core.WholeSettingText(SettingText::RemoteAdminPassword), "s3cret-pw");
    for (const QList<QVariant>& action : actions)
        EXPECT_EQ(action[1].value<std::string>().find("s3cret"), std::string::npos);

    EXPECT_EQ(core.SetRotation({"worlds/a", "worlds/b"}, web), ActionResult::Done);
    ASSERT_EQ(rotation.size(), 1);
    EXPECT_EQ(rotation[0][0].value<Requester>().address, "192.0.2.7");
    EXPECT_EQ(core.Rotation().size(), 2u);

    // Several settings are checked first, and one refused changes none of them.
    Commands();
    const SettingsOutcome refused = core.ChangeSettings({{Setting::MaxPlayers, "20"},
                                                         {Setting::RemoteAdminPassword, "abc"},
                                                         {Setting::TimeLimit, "x"}},
                                                        web);
    EXPECT_EQ(refused.result, ActionResult::Invalid);
    EXPECT_EQ(refused.refused, Setting::RemoteAdminPassword);
    EXPECT_EQ(refused.message, "Password must be at least 6 characters in length.");
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(actions.back()[1].value<std::string>(), "set remoteadminpassword ********");

    const SettingsOutcome done = core.ChangeSettings({{Setting::MaxPlayers, "20"},
                                                      {Setting::FfTeam, "60"},
                                                      {Setting::ServerBandwidth, "3"},
                                                      {Setting::RemoteAdminPassword, "hunter22"}},
                                                     web);
    EXPECT_EQ(done.result, ActionResult::Done);
    EXPECT_EQ(Commands(), (std::vector<std::string>{
                              "maxplayers 20", "ffteam 0.600000", "serverbandwidth 3",
                              "+remoteadminpassword \"hunter22\"", "sendbandwidth 1000000"}));
    EXPECT_EQ(core.ShownSetting(Setting::FfTeam), "60");
    EXPECT_EQ(core.ShownSetting(Setting::RemoteAdminPassword), "hunter22");
    for (const QList<QVariant>& action : actions)
        EXPECT_EQ(action[1].value<std::string>().find("hunter"), std::string::npos);
    EXPECT_EQ(core.SetOwnerPassword("", web).result, ActionResult::Invalid);

    // In a command, a password is masked in the echo and the action, never for the engine.
    const std::size_t echoed = Texts().size();
    const std::pair<std::string, std::string> commands[] = {
        {"+remoteadminpassword \"hunter22\"", "+remoteadminpassword \"********\""},
        {" ServerPassword\thunter22 x", " ServerPassword\t********"},
        {"+serverpassword", "+serverpassword"},  // no value, nothing to hide
        {"serverpasswords hunter22", "serverpasswords hunter22"},
    };
    std::vector<std::string> sent, shown;
    for (const auto& [command, masked] : commands) {
        EXPECT_EQ(core.SubmitConsoleCommand(command, web), ActionResult::Done);
        EXPECT_EQ(actions.back()[1].value<std::string>(), "command " + masked);
        sent.push_back(command);
        shown.push_back(masked);
    }
    EXPECT_EQ(Commands(), sent);
    const std::vector<std::string> texts = Texts();
    EXPECT_EQ(std::vector<std::string>(texts.begin() + echoed, texts.end()), shown);
    EXPECT_EQ(core.SubmitConsoleCommand("+serverpassword \"" + std::string(120, 'p'), web),
              ActionResult::TooLong);
    EXPECT_EQ(actions.back()[1].value<std::string>(), "command +serverpassword \"********\"");
}

TEST_F(ServerCoreTest, ChangesAreSavedOnceAtTheEndOfTwoSecondsAndNoneIsLost) {
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    QSignalSpy saved(&core, &ServerCore::configurationSaved);
    const auto writes = [&] { return Calls("WriteConfig tarnwick/server.cfg 4"); };
    ASSERT_EQ(writes(), 1);  // the start-up's

    // A burst from three front ends: one write, two seconds after the first change.
    EXPECT_EQ(core.SubmitConsoleCommand("maxplayers 20", Requester::Terminal()),
              ActionResult::Done);
    clock.steadyMs += 900;
    EXPECT_EQ(core.ChangeSetting({Setting::TimeLimit, 25}, web), ActionResult::Done);
    clock.steadyMs += 900;
    EXPECT_EQ(core.SetRotation({"worlds/a"}, Requester::Window()), ActionResult::Done);
    clock.steadyMs += 199;
    core.StatusPass();
    EXPECT_EQ(writes(), 1);
    clock.steadyMs += 1;
    core.StatusPass();
    core.StatusPass();
    EXPECT_EQ(writes(), 2);
    EXPECT_EQ(Texts().back(), "Configuration saved to tarnwick/server.cfg.");

    // A save asked for is made at once and covers what was pending.
    EXPECT_EQ(core.ChangeSetting({Setting::TimeLimit, 26}, web), ActionResult::Done);
    EXPECT_EQ(core.SaveConfiguration(web), ActionResult::Done);
    EXPECT_EQ(writes(), 3);
    clock.steadyMs += 5000;
    core.StatusPass();
    EXPECT_EQ(writes(), 3);

    // A change the end of the run cuts short is written on the way out.
    EXPECT_EQ(core.ChangeSetting({Setting::TimeLimit, 27}, web), ActionResult::Done);
    core.Shutdown();
    EXPECT_EQ(writes(), 4);
    ASSERT_EQ(saved.size(), 3);
    EXPECT_EQ(saved[1][1].value<Requester>().Describe(), web.Describe());
    EXPECT_EQ(saved[2][1].value<Requester>().kind, Requester::Kind::System);
}

TEST_F(ServerCoreTest, ABanDropsThePlayerAtTheJoinOutlivesTheRunAndEndsByItself) {
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    QSignalSpy changed(&core, &ServerCore::bansChanged);
    Commands();
    for (const char* command :
         {"ban \"Big Bob\" 60 camping at spawn", "BAN Quill", "bans", "unban Nobody", "ban"})
        EXPECT_EQ(core.SubmitConsoleCommand(command, Requester::Terminal()), ActionResult::Done);
    EXPECT_TRUE(Commands().empty()) << "ban commands are the core's, never the engine's";
    const std::vector<std::string> texts = Texts();
    for (const char* line : {"Banned \"Big Bob\" until 2027-01-15 09:00 UTC (terminal): camping "
                             "at spawn.",
                             "Bans: 2.", "No ban on \"Nobody\"."})
        EXPECT_NE(std::find(texts.begin(), texts.end(), line), texts.end()) << line;
    EXPECT_EQ(texts.back().rfind("Usage: ban NAME", 0), 0u);
    EXPECT_EQ(changed.size(), 2);
    EXPECT_EQ(core.Ban("Bob", BanList::kMaxMinutes + 1, "", web).result, ActionResult::Invalid);

    // Dropped once the roster shows the name, in any case, and only once.
    Pass({Message(1, "12"), Message(1, "13")});
    EXPECT_EQ(Calls("DropClient 12"), 0);
    Pass({Message(3, "12 big BOB\n1070 1081 -1"), Message(3, "13 Alice\n1070 1081 -1")});
    Pass({Message(3, "12 big BOB\n1071 1081 -1")});
    EXPECT_EQ(Calls("DropClient 12"), 1);
    EXPECT_EQ(Calls("DropClient 13"), 0);
    // A ban on a player who is here drops them at once, under the name the engine gave.
    EXPECT_EQ(core.Ban("ALICE", 0, "", web).result, ActionResult::Done);
    EXPECT_EQ(Calls("DropClient 13"), 1);
    EXPECT_EQ(core.Bans()[2].name, "Alice");

    // A ban ends by itself, on disk too.
    EXPECT_EQ(core.Bans()[0].until, clock.epochSeconds + 3600);
    clock.epochSeconds += 3600;
    core.HealthPass();
    EXPECT_EQ(core.Bans().size(), 2u);
    EXPECT_EQ(Texts().back(), "The ban on \"Big Bob\" has ended.");
    BanList onDisk(BanPath());
    EXPECT_EQ(onDisk.Load(), "");
    EXPECT_EQ(onDisk.Entries().size(), 2u);
}

TEST_F(ServerCoreTest, AQuitFromAnyOperatorEndsTheRunAsAQuitThatExitsCleanly) {
    // The engine ends its game server at the step after a "quit".
    engine.onCall = [this](const std::string& call) {
        if (call == "ExecuteCommand  quit ") engine.tickResult = 0;
    };
    QSignalSpy ended(&core, &ServerCore::runEnded);
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    EXPECT_EQ(core.SubmitConsoleCommand(" quit ", web), ActionResult::Done);
    ASSERT_TRUE(ended.wait(2000));
    EXPECT_EQ(ended[0][0].value<RunEnd>().cause, StopCause::Quit);
    EXPECT_EQ(ended[0][0].value<RunEnd>().by.Describe(), web.Describe());
    EXPECT_EQ(exit_status::Of(StopCause::Quit), exit_status::kClean);

    // The window's File, Quit: every front end hears it, and the teardown ends the run so.
    FakeEngine second;
    FakeEngineModule::bound = &second;
    ServerCore asked{kFakeModule};
    QSignalSpy quit(&asked, &ServerCore::quitRequested);
    QSignalSpy askedEnd(&asked, &ServerCore::runEnded);
    ASSERT_EQ(asked.Start(), EngineSession::StartupResult::Running);
    EXPECT_EQ(asked.Quit(Requester::Window()), ActionResult::Done);
    EXPECT_EQ(quit.size(), 1);
    asked.Shutdown();
    ASSERT_EQ(askedEnd.size(), 1);
    EXPECT_EQ(askedEnd[0][0].value<RunEnd>().cause, StopCause::Quit);
    EXPECT_EQ(askedEnd[0][0].value<RunEnd>().by.Describe(), "window");
    FakeEngineModule::bound = &engine;
}

TEST_F(ServerCoreTest, AFailedStartUpSaysWhichStepFailedOnce) {
    engine.registerResult = 0;
    QSignalSpy stopped(&core, &ServerCore::runEnded);
    EXPECT_EQ(core.Start(), EngineSession::StartupResult::Failed);
    ASSERT_EQ(Texts().size(), 1u);
    EXPECT_NE(Texts()[0].find("start-up failed: the engine could not register its resources"),
              std::string::npos);
    ASSERT_EQ(stopped.size(), 1);
    EXPECT_EQ(stopped[0][0].value<RunEnd>().cause, StopCause::StartupFailed);
    EXPECT_EQ(exit_status::Of(StopCause::StartupFailed), exit_status::kServerFailed);
    EXPECT_EQ(core.Status().state, ServerState::Stopped);
    core.StatusPass();
    EXPECT_EQ(Texts().size(), 1u);
}

TEST_F(ServerCoreTest, ACloseFromInsideTickRefusesActionsThenTheTeardownReleasesOnce) {
    engine.onTick = [](FakeEngine& e) {
        if (e.sink) e.sink->OnEngineMessage("\x07");
    };
    QSignalSpy close(&core, &ServerCore::closeRequested);
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    ASSERT_TRUE(close.wait(2000));
    EXPECT_EQ(close.size(), 1);
    EXPECT_EQ(core.SubmitConsoleCommand("status", Requester::Terminal()), ActionResult::NoServer);
    EXPECT_EQ(core.ChangeSetting({Setting::MaxPlayers, 8}, Requester::Window()),
              ActionResult::NoServer);
    EXPECT_FALSE(core.HasServer());
    core.Shutdown();
    core.Shutdown();
    EXPECT_EQ(FakeEngineModule::releases, 1);
    EXPECT_EQ(engine.calls.back(), "AttachHost null");
    EXPECT_EQ(core.Status().updateRate, 0.0f);
}

TEST_F(ServerCoreTest, AnEngineThatStopsByItselfIsTornDownAndTheRateReadsZero) {
    engine.onTick = [](FakeEngine& e) { e.tickResult = 0; };
    QSignalSpy stopped(&core, &ServerCore::runEnded);
    // The engine stops before the start-up's own status pass, which then sees it.
    QObject::connect(&core, &ServerCore::serverStarted,
                     [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); });
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    ASSERT_TRUE(!stopped.isEmpty() || stopped.wait(2000));
    EXPECT_EQ(stopped[0][0].value<RunEnd>().cause, StopCause::EngineStopped);
    EXPECT_EQ(exit_status::Of(StopCause::EngineStopped), exit_status::kServerFailed);
    EXPECT_FALSE(core.HasServer());
    EXPECT_EQ(core.Status().updateRate, 0.0f);
    EXPECT_EQ(Texts().back(), "The server engine has stopped.");
}

TEST_F(ServerCoreTest, AHungTickHoldsNoFrontEndAndTheTeardownGivesTheEngineUp) {
    std::promise<void> release;
    // Held by the step too: the worker the teardown gives up outlives this body.
    const std::shared_future<void> released = release.get_future().share();
    const auto hang = std::make_shared<std::atomic<bool>>(false);
    engine.onTick = [released, hang](FakeEngine&) {
        if (*hang) released.wait();
    };
    QSignalSpy ended(&core, &ServerCore::runEnded);
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    *hang = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!core.Liveness().TickHung(WorkerLiveness::NowMs()) &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(core.Liveness().TickHung(WorkerLiveness::NowMs()));

    // The pass lets the lock go instead of waiting for it, and says what it sees.
    core.StatusPass();
    EXPECT_GE(core.Status().engineHungMs, WorkerLiveness::kStalledAfterMs);
    EXPECT_EQ(Texts().back(), "The server engine is not responding: its Tick has not returned.");
    EXPECT_FALSE(core.Metrics().workerHealthy);
    EXPECT_EQ(core.SubmitConsoleCommand("status", Requester::Terminal()),
              ActionResult::NotResponding);
    EXPECT_FALSE(core.EngineVersionNow());

    core.Shutdown();  // gives the engine up after a while, never releasing it under the worker
    EXPECT_TRUE(core.EngineReleaseFailed());
    EXPECT_EQ(FakeEngineModule::releases, 0);
    ASSERT_EQ(ended.size(), 1);
    EXPECT_EQ(ended[0][0].value<RunEnd>().cause, StopCause::EngineHung);
    EXPECT_EQ(exit_status::Of(StopCause::EngineHung), exit_status::kServerFailed);
    release.set_value();  // the session waits for the worker it left before it goes
}

TEST_F(ServerCoreTest, CommandsTypedDuringASlowStepAreSentAfterItInOrderAndAQuitStillEnds) {
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> slow{false}, inSlowStep{false};
    engine.onTick = [&](FakeEngine&) {
        if (!slow) return;
        inSlowStep = true;
        released.wait();
    };
    engine.onCall = [this](const std::string& call) {
        if (call == "ExecuteCommand quit") engine.tickResult = 0;
    };
    QSignalSpy ended(&core, &ServerCore::runEnded);
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    slow = true;
    while (!inSlowStep) std::this_thread::sleep_for(std::chrono::milliseconds(5));

    // Both return while the step still holds the lock: nobody waits for it but the worker.
    EXPECT_EQ(core.SubmitConsoleCommand("say one", Requester::Terminal()), ActionResult::Done);
    EXPECT_EQ(core.SubmitConsoleCommand("quit", web), ActionResult::Done);
    EXPECT_EQ(Texts().back(), "quit");
    slow = false;
    release.set_value();

    ASSERT_TRUE(ended.wait(3000));
    EXPECT_EQ(ended[0][0].value<RunEnd>().cause, StopCause::Quit);
    EXPECT_EQ(ended[0][0].value<RunEnd>().by.Describe(), web.Describe());
    const std::vector<std::string> sent = Commands();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(sent.end() - 2, sent.end()),
              (std::vector<std::string>{"say one", "quit"}));
}

TEST_F(ServerCoreTest, HealthSamplesShowWhatTheWorkerReallyWentThrough) {
    std::atomic<int> ticks{0};
    engine.onTick = [&ticks](FakeEngine&) {
        if (++ticks % 10 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    QSignalSpy sampled(&core, &ServerCore::healthSampled);
    ASSERT_EQ(core.Start(), EngineSession::StartupResult::Running);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    {
        // The worker asks for the lock while this thread holds it.
        std::lock_guard guard(core.SessionForTests().EngineLock());
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    core.HealthPass();
    const int slow = ticks.load() / 10;

    ASSERT_EQ(sampled.size(), 1);
    const HealthSample sample = core.Health().back();
    EXPECT_EQ(sampled[0][0].value<HealthSample>().steps, sample.steps);
    EXPECT_GE(sample.steps, 50);
    EXPECT_LE(std::abs(sample.steps - ticks.load()), 2);  // steps in flight at the pass
    EXPECT_EQ(sample.lostSteps, 0);
    // Every slow step took its whole period; the lock held for 200 ms made one more overrun, and
    // its wait is no step's duration.
    EXPECT_GE(sample.overruns, slow);
    EXPECT_LE(sample.overruns, slow + 2);
    EXPECT_GE(sample.tickNs.p99, 49'000'000);
    EXPECT_LT(sample.tickNs.p99, 200'000'000);
    EXPECT_LT(sample.tickNs.median, 5'000'000);
    EXPECT_GE(sample.lockWaitMaxNs, 40'000'000);  // the worker sleeps at most 33 ms of it
    EXPECT_GT(sample.updateRate, 22.0);
    EXPECT_LT(sample.updateRate, 31.0);

    const MetricsSnapshot metrics = core.Metrics();
    EXPECT_EQ(metrics.ticks.Count(), static_cast<uint64_t>(sample.steps));
    EXPECT_EQ(metrics.overruns, static_cast<uint64_t>(sample.overruns));
    EXPECT_GT(metrics.startTimeSeconds, 1.6e9);
}

TEST(StatusTextTest, WorldPlayersUptimeAndTheWebAdminWhenItIsOn) {
    ServerStatus status;
    status.state = ServerState::Running;
    status.world = "worlds/ridge";
    status.players = 3;
    status.maxPlayers = 16;
    status.startedAtMs = 1'000'000;
    EXPECT_EQ(StatusText(status, 1'000'000 + 3'723'999, ""),
              "World worlds/ridge  \xc2\xb7  Players 3/16  \xc2\xb7  Up 01h:02m:03s");
    EXPECT_EQ(StatusText(status, 999'000, "http://127.0.0.1:8080/"),
              "World worlds/ridge  \xc2\xb7  Players 3/16  \xc2\xb7  Up 00m:00s  \xc2\xb7  "
              "Web admin http://127.0.0.1:8080/");
    status.engineHungMs = 4200;
    EXPECT_EQ(
        StatusText(status, 1'000'000, ""),
        "Engine not responding for 4 s  \xc2\xb7  World worlds/ridge  \xc2\xb7  Players 3/16  "
        "\xc2\xb7  Up 00m:00s");
    status.state = ServerState::Stopped;
    EXPECT_EQ(StatusText(status, 0, ""), "No server running");
}

}  // namespace
