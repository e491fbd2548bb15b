// Prints the exposition text of a filled snapshot (or, with "empty", of a server that never ran)
// for promtool to check, in the locale the environment names, so a comma locale would show.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <locale>
#include <stdexcept>

#include "ServerMetrics.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    try {
        std::locale::global(std::locale(""));
    } catch (const std::runtime_error&) {
        std::fputs("metrics_print: the environment's locale is not installed\n", stderr);
        return 1;
    }
    MetricsSnapshot m;
    if (argc < 2 || std::strcmp(argv[1], "empty") != 0) {
        for (int64_t ms : {1, 2, 3, 4, 30, 33, 50, 120, 400}) m.ticks.Add(ms * 1'000'000);
        m.overruns = 3;
        m.updateRate = 29.87;
        m.lockWaitMaxSeconds = 0.000125;
        m.players = 8;
        m.maxPlayers = 16;
        m.sendRate = 12034.5;
        m.receiveRate = 3100;
        m.commandsWindow = 4;
        m.commandsTerminal = 2;
        m.commandsWeb = 7;
        m.webLogins = {{"ok", 5}, {"wrong_password", 2}, {"locked_out", 1}};
        m.startTimeSeconds = 1700000000.123;
    }
    std::fputs(PrometheusText(m).c_str(), stdout);
    return 0;
}
