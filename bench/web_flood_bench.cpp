// The web admin under a flood of connections: 64 hostile connections without a session (half kept
// alive after one GET /healthz, half silent), each opened again the moment the server closes it,
// from one loopback address and from 64. Meanwhile an operator tries, again and again, what a
// script does: log in and read /api/status, each on a new connection, from loopback too (so from
// the flood's own address, as the slots count it). The server is the program itself, headless,
// in a copy of the demo; the same tries without the flood are the baseline of the same run.
// Usage: web_flood_bench --program build/default/bin/server --demo build/default/demo [--tries 20]
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "WebTestClient.h"

namespace {

constexpr const char* kPassword = "flood-bench-password";

struct Tries {
    int good = 0;
    std::vector<double> ms;  // each try, login and status together
};

// One try: a login and a read of the status, each on a connection of its own.
bool Try(uint16_t port, double& ms) {
    const auto start = std::chrono::steady_clock::now();
    const std::string origin = "http://127.0.0.1:" + std::to_string(port);
    const HttpReply login =
        Http(port, {"POST",
                    "/api/login",
                    std::string("{\"password\":\"") + kPassword + "\"}",
                    {{"Content-Type", "application/json"}, {"Origin", origin}}});
    const std::string cookie =
        login.Header("set-cookie").substr(0, login.Header("set-cookie").find(';'));
    const HttpReply status = Http(port, {"GET", "/api/status", {}, {{"Cookie", cookie}}});
    ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return login.status == 200 && status.status == 200;
}

Tries Run(uint16_t port, int count) {
    Tries tries;
    for (int i = 0; i < count; ++i) {
        double ms = 0;
        tries.good += Try(port, ms) && ms < 1000;
        tries.ms.push_back(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return tries;
}

void Report(const char* name, const Tries& tries, int opened) {
    std::vector<double> ms = tries.ms;
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s %2d of %2zu within 1 s  median %7.1f ms  max %7.1f ms  flood opened %d\n",
                name, tries.good, ms.size(), ms[ms.size() / 2], ms.back(), opened);
}

}  // namespace

int main(int argc, char* argv[]) {
    std::string program, demo;
    int count = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--program") program = argv[i + 1];
        if (option == "--demo") demo = argv[i + 1];
        if (option == "--tries") count = std::clamp(std::atoi(argv[i + 1]), 1, 1000);
    }
    if (program.empty() || demo.empty()) {
        std::fprintf(stderr, "usage: web_flood_bench --program PATH --demo DIR [--tries N]\n");
        return 2;
    }
    namespace fs = std::filesystem;
    program = fs::absolute(program);
    const fs::path scratch =
        fs::temp_directory_path() / ("web_flood_bench_" + std::to_string(getpid()));
    fs::copy(demo, scratch, fs::copy_options::recursive);
    fs::remove(scratch / "tarnwick" / "admin-audit.log");
    std::ofstream(scratch / "tarnwick" / "server.cfg")
        << "+remoteadminpassword \"" << kPassword << "\"\n";

    // A free port, given to the server.
    uint16_t port = 0;
    {
        const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        ::close(probe);
    }
    const pid_t server = ::fork();
    if (server == 0) {
        fs::current_path(scratch);
        ::freopen("/dev/null", "w", stdout);
        setenv("TARNWICK_SIM_BOTS", "8", 1);
        const std::string web = std::to_string(port);
        ::execl(program.c_str(), program.c_str(), "--headless", "--web-admin", web.c_str(),
                static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    bool up = false;
    for (int i = 0; i < 200 && !up; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        up = Http(port, {"GET", "/healthz", {}, {}}).status == 200;
    }
    if (!up) {
        std::fprintf(stderr, "the server did not answer on port %u\n", port);
        ::kill(server, SIGKILL);
        return 1;
    }
    std::printf("%d tries a phase, a try is a login and a status read, 250 ms apart\n", count);
    Report("no flood (baseline)", Run(port, count), 0);
    std::vector<std::string> many;
    for (int i = 1; i <= 64; ++i) many.push_back("127.0.0." + std::to_string(i));
    for (const auto& [name, sources] :
         {std::pair{"64 from 127.0.0.1", std::vector<std::string>{"127.0.0.1"}},
          std::pair{"64 from 127.0.0.1 to 127.0.0.64", many}}) {
        ConnectionFlood flood(port, sources, 64);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const Tries tries = Run(port, count);
        Report(name, tries, flood.Opened());
    }
    ::kill(server, SIGTERM);
    int status = 0;
    ::waitpid(server, &status, 0);
    fs::remove_all(scratch);
    return 0;
}
