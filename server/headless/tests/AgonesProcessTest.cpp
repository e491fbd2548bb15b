// The program run with --headless in an Agones pod, its SDK sidecar stood in for on a loopback
// port: Ready once the server runs, and Shutdown last however the run ends.
#include "HeadlessProcess.h"
#include "SdkStandIn.h"

namespace {

TEST_F(HeadlessProcess, TellsAgonesReadyAndLastShutdownHoweverTheRunEnds) {
    enum class End {
        Sigterm,
        QuitTyped,
        EngineClosed,
        EngineStopped,
        WebAdminFailed,
        StartupFailed
    };
    const struct {
        End end;
        int exitStatus;
        bool told;  // the server ran, so Agones heard of it; a taken web admin port ends the
                    // run before the game server starts
    } cases[] = {
        {End::Sigterm, 0, true},         {End::QuitTyped, 0, true},
        {End::EngineClosed, 0, true},    {End::EngineStopped, 3, true},
        {End::WebAdminFailed, 2, false}, {End::StartupFailed, 3, false},
    };
    const auto config = [&] {
        QFile file(install.filePath("tarnwick/server.cfg"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = config();
    for (const auto& c : cases) {
        SdkStandIn sidecar;
        ASSERT_TRUE(sidecar.Listen());
        Set("AGONES_SDK_HTTP_PORT", QString::number(sidecar.Port()));
        Set("TARNWICK_SIM_FAIL", c.end == End::EngineStopped   ? "tick"
                                 : c.end == End::StartupFailed ? "resources"
                                                               : "");
        Set("TARNWICK_SIM_CLOSE_AFTER_TICKS", c.end == End::EngineClosed ? "60" : "");
        output.clear();
        // The stand-in's own port is taken, so a web admin there cannot start.
        Start(c.end == End::WebAdminFailed
                  ? QStringList{"--headless", "--web-admin", QString::number(sidecar.Port())}
                  : QStringList{"--headless"});
        if (c.exitStatus == 0 && c.end != End::EngineClosed) {
            ASSERT_TRUE(WaitForOutput("Agones: Ready;")) << output.toStdString();
            if (c.end == End::QuitTyped) server.write("QUIT\n");  // in any case
            if (c.end == End::Sigterm) Signal(SIGTERM);
        }
        EXPECT_EQ(WaitForExit(), c.exitStatus) << output.toStdString();
        const std::vector<std::string> requests = sidecar.Requests();
        if (!c.told) {
            EXPECT_TRUE(requests.empty()) << testing::PrintToString(requests);
            // Before the game server starts: the engine never ran nor rewrote the configuration.
            EXPECT_FALSE(output.contains("Starting game server")) << output.toStdString();
            EXPECT_EQ(config(), before);
            continue;
        }
        ASSERT_FALSE(requests.empty()) << output.toStdString();
        EXPECT_EQ(requests.back(), "POST /shutdown {}") << testing::PrintToString(requests);
        EXPECT_TRUE(output.contains("Agones: Shutdown sent")) << output.toStdString();
        if (c.exitStatus == 0) {
            EXPECT_NE(std::find(requests.begin(), requests.end(),
                                R"(PUT /metadata/label {"key":"world","value":"antarctica"})"),
                      requests.end());
        }
    }
}

}  // namespace
