// Following logs while the server writes them: lines as they arrive, a line written in two
// pieces, new logs in the directory, a bad log among them, the directory removed.
#include "LogFollower.h"
#include "PluginChoice.h"
#include "PluginModule.h"
#include "RatingSession.h"
#include "WeaponTable.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

class FollowTest : public ::testing::Test {
protected:
    FollowTest() {
        char pattern[] = "/tmp/skillhost-follow-XXXXXX";
        dir = ::mkdtemp(pattern);
        std::vector<RatedPlugin> plugins;
        plugins.emplace_back(PluginModule::Load(PluginChoice::Parse("brindle_skill"), PLUGIN_DIR),
                             0);
        session = std::make_unique<RatingSession>(std::move(plugins), 0, weapons, nullptr);
    }
    ~FollowTest() override {
        ::close(stop);
        std::filesystem::remove_all(dir);
    }
    void Append(const std::string& name, const std::string& text) const {
        std::ofstream(dir + "/" + name, std::ios::app | std::ios::binary) << text;
    }
    double Skill(std::uint32_t key) const {
        const auto player = session->Book().Find(key);
        return player ? session->Book().Stats(0, *player).skill : -1;
    }
    // A follower of the folder that has read what is there and watches for more.
    std::unique_ptr<LogFollower> Follow() {
        auto follower = std::make_unique<LogFollower>(dir, *session, 64);
        follower->CatchUp(keepGoing, err);
        follower->Watch();
        return follower;
    }
    // Waits for the kernel's report of a change (far sooner than the fallback look) and reads.
    void CatchUpOnChange(LogFollower& follower) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(follower.Wait(stop, 10000));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        follower.CatchUp(keepGoing, err);
    }

    WeaponTable weapons;
    std::string dir;
    std::unique_ptr<RatingSession> session;
    int stop = ::eventfd(0, EFD_CLOEXEC);
    std::ostringstream err;
    LogFollower::Options keepGoing{true, false, [] { return false; }};
};

TEST_F(FollowTest, LinesAndLogsArePickedUpAsTheyArrive) {
    Append("a.log", "player 1 101 red ash\nplayer 2 102 blue birch\nevent 19 rifle 1 2\n");
    // A bad log is reported once and stops at its bad line; the others go on.
    Append("bad.log", "player 1 101 red ash\nevent 19 rifle 1 9\nevent 19 rifle 1 1\n");
    const auto follower = Follow();
    EXPECT_EQ(session->EventsRated(), 1u);
    EXPECT_EQ(Skill(1), 1010.0);
    const std::string reported = "skillhost: " + dir + "/bad.log:2: unknown player 9\n";
    EXPECT_EQ(err.str(), reported);

    Append("a.log", "event 19 rifle 1 2\n");
    Append("bad.log", "event 19 rifle 1 1\n");
    CatchUpOnChange(*follower);
    EXPECT_EQ(session->EventsRated(), 2u);

    // Half a line waits for the rest, which comes with the next write.
    Append("a.log", "event 19 rifle 2");
    CatchUpOnChange(*follower);
    EXPECT_EQ(session->EventsRated(), 2u);
    Append("a.log", " 1\n");
    CatchUpOnChange(*follower);
    EXPECT_EQ(session->EventsRated(), 3u);
    EXPECT_LT(Skill(1), 1010.0) << "birch, not player 2 alone, got the third kill";

    // A new log in the directory; files not named *.log are not logs.
    const double ash = Skill(1);
    ASSERT_NE(ash, 1000.0);
    Append("notes.txt", "not a log\n");
    Append("b.log", "player 3 103 red cedar\nplayer 1 101 blue ash\nevent 19 rifle 3 1\n");
    CatchUpOnChange(*follower);
    EXPECT_EQ(session->EventsRated(), 4u);
    EXPECT_NE(Skill(3), 1010.0) << "ash carries the ratings of a.log into b.log";

    // Another name for a log is the same log.
    std::filesystem::create_symlink("b.log", dir + "/current.log");
    std::filesystem::create_hard_link(dir + "/a.log", dir + "/hard.log");
    Append("b.log", "event 19 rifle 1 3\n");
    CatchUpOnChange(*follower);
    EXPECT_EQ(session->EventsRated(), 5u);

    // A removed directory is waited for and followed again.
    std::filesystem::remove_all(dir);
    CatchUpOnChange(*follower);
    EXPECT_EQ(err.str(),
              reported + "skillhost: " + dir + " is gone; waiting for it to come back\n");
    std::filesystem::create_directory(dir);
    Append("c.log", "player 5 105 red elm\nplayer 6 106 blue fir\nevent 19 rifle 5 6\n");
    EXPECT_FALSE(follower->Wait(stop, 100));  // unwatched: the look after the time-out finds it
    follower->CatchUp(keepGoing, err);
    EXPECT_EQ(session->EventsRated(), 6u);
    Append("c.log", "event 19 rifle 5 6\n");
    CatchUpOnChange(*follower);  // watched again
    EXPECT_EQ(session->EventsRated(), 7u);
    EXPECT_EQ(follower->Failures(), 1);

    std::uint64_t one = 1;
    ASSERT_EQ(::write(stop, &one, sizeof one), 8);
    EXPECT_TRUE(follower->Wait(stop, 10000));
}

}  // namespace
