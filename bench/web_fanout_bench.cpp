// The web admin's cost on the user-interface thread: 50 live clients on a server with 64
// simulated players. Measures the thread's CPU time per 100 ms status pass, first without the
// web admin and then with it and the clients (the status pass and the fan-out), in one run, and
// the worker's cadence from the engine's call trace while the clients listen.
// Usage: web_fanout_bench --demo build/default/demo [--seconds 10] [--clients 50]
#include <pthread.h>
#include <time.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "MillisecondClock.h"
#include "ServerCore.h"
#include "ServerSettings.h"
#include "WebAdmin.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

constexpr const char* kPassword = "bench-password";

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double ProcessCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void Spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

struct PassCosts {
    std::vector<double> cpuMs;  // the thread's CPU time from one pass to the next
    double processCpuMs = 0;
    double wallMs = 0;
};

// The user-interface thread's CPU time between successive status passes for `ms`.
PassCosts Measure(ServerCore& core, int ms) {
    PassCosts costs;
    double last = -1;
    const QMetaObject::Connection watch =
        QObject::connect(&core, &ServerCore::statusRefreshed, [&](const ServerStatus&) {
            const double now = ThreadCpuMs();
            if (last >= 0) costs.cpuMs.push_back(now - last);
            last = now;
        });
    const double process = ProcessCpuMs();
    const auto started = std::chrono::steady_clock::now();
    Spin(ms);
    costs.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    costs.processCpuMs = ProcessCpuMs() - process;
    QObject::disconnect(watch);
    return costs;
}

// The clients: one thread, one socket each, every message read and counted.
class Fleet {
public:
    Fleet(uint16_t port, int count) {
        const std::string origin = "http://127.0.0.1:" + std::to_string(port);
        cookie_ = Login(port, origin);
        for (int i = 0; i < count; ++i) {
            auto socket = std::make_unique<websocket::stream<tcp::socket>>(ioc_);
            socket->next_layer().connect({asio::ip::make_address("127.0.0.1"), port});
            socket->set_option(
                websocket::stream_base::decorator([this, origin](websocket::request_type& request) {
                    request.set(http::field::cookie, cookie_);
                    request.set(http::field::origin, origin);
                }));
            socket->handshake("127.0.0.1:" + std::to_string(port), "/api/live");
            sockets_.push_back(std::move(socket));
            buffers_.emplace_back();
        }
        for (std::size_t i = 0; i < sockets_.size(); ++i) Read(i);
        thread_ = std::thread([this] { ioc_.run(); });
    }
    ~Fleet() {
        asio::post(ioc_, [this] {
            for (auto& socket : sockets_) {
                beast::error_code ignored;
                socket->next_layer().close(ignored);
            }
        });
        thread_.join();
    }
    uint64_t Messages() const { return messages_; }
    uint64_t Bytes() const { return bytes_; }
    int Closed() const { return closed_; }

private:
    static std::string Login(uint16_t port, const std::string& origin) {
        asio::io_context ioc;
        tcp::socket socket(ioc);
        socket.connect({asio::ip::make_address("127.0.0.1"), port});
        http::request<http::string_body> request{http::verb::post, "/api/login", 11};
        request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
        request.set(http::field::content_type, "application/json");
        request.set(http::field::origin, origin);
        request.body() = std::string("{\"password\":\"") + kPassword + "\"}";
        request.prepare_payload();
        http::write(socket, request);
        beast::flat_buffer buffer;
        http::response<http::string_body> response;
        http::read(socket, buffer, response);
        const std::string cookie(response[http::field::set_cookie]);
        return cookie.substr(0, cookie.find(';'));
    }
    void Read(std::size_t i) {
        sockets_[i]->async_read(buffers_[i], [this, i](beast::error_code error, std::size_t n) {
            if (error) {
                ++closed_;
                return;
            }
            ++messages_;
            bytes_ += n;
            buffers_[i].consume(buffers_[i].size());
            Read(i);
        });
    }

    asio::io_context ioc_;
    std::string cookie_;
    std::vector<std::unique_ptr<websocket::stream<tcp::socket>>> sockets_;
    std::vector<beast::flat_buffer> buffers_;
    std::atomic<uint64_t> messages_{0}, bytes_{0};
    std::atomic<int> closed_{0};
    std::thread thread_;
};

std::vector<double> TickTimes(const std::string& trace) {
    std::ifstream lines(trace);
    std::vector<double> ticks;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t first = line.find('\t'), second = line.find('\t', first + 1);
        if (second != std::string::npos && line.compare(second + 1, 4, "Tick") == 0 &&
            (line.size() == second + 5 || line[second + 5] == '\t'))
            ticks.push_back(std::atof(line.c_str()));
    }
    return ticks;
}

struct Cadence {
    double mean = 0, p99 = 0, max = 0;
    std::size_t periods = 0;
};

Cadence CadenceBetween(const std::vector<double>& ticks, std::size_t from, std::size_t to) {
    Cadence cadence;
    std::vector<double> deviations;
    double sum = 0;
    for (std::size_t i = from + 1; i < std::min(to, ticks.size()); ++i) {
        const double period = ticks[i] - ticks[i - 1];
        sum += period;
        deviations.push_back(std::fabs(period - 33.0));
    }
    cadence.periods = deviations.size();
    if (deviations.empty()) return cadence;
    cadence.mean = sum / static_cast<double>(deviations.size());
    cadence.p99 = Percentile(deviations, 0.99);
    cadence.max = *std::max_element(deviations.begin(), deviations.end());
    return cadence;
}

void Report(const char* name, const PassCosts& costs) {
    double sum = 0;
    for (double c : costs.cpuMs) sum += c;
    const double mean = costs.cpuMs.empty() ? 0 : sum / static_cast<double>(costs.cpuMs.size());
    std::printf(
        "%-28s %4zu passes  mean %.3f ms  p90 %.3f ms  p99 %.3f ms  max %.3f ms  "
        "process CPU %.1f %%\n",
        name, costs.cpuMs.size(), mean, Percentile(costs.cpuMs, 0.9), Percentile(costs.cpuMs, 0.99),
        costs.cpuMs.empty() ? 0 : *std::max_element(costs.cpuMs.begin(), costs.cpuMs.end()),
        100.0 * costs.processCpuMs / costs.wallMs);
}

}  // namespace

int main(int argc, char* argv[]) {
    ProgramClockBase();
    QCoreApplication application(argc, argv);
    std::string demo;
    int seconds = 10, clients = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--demo") demo = argv[i + 1];
        if (option == "--seconds") seconds = std::max(2, std::atoi(argv[i + 1]));
        if (option == "--clients") clients = std::clamp(std::atoi(argv[i + 1]), 1, 60);
    }
    if (demo.empty()) {
        std::fprintf(stderr, "usage: web_fanout_bench --demo DIR [--seconds N] [--clients N]\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const fs::path scratch =
        fs::temp_directory_path() / ("web_fanout_bench_" + std::to_string(getpid()));
    fs::copy(demo, scratch, fs::copy_options::recursive);
    fs::remove(scratch / "tarnwick" / "admin-audit.log");
    std::ofstream(scratch / "tarnwick" / "server.cfg")
        << "maxplayers 64\n+remoteadminpassword \"" << kPassword << "\"\n";
    fs::current_path(scratch);
    const std::string trace = (scratch / "trace.txt").string();
    setenv("TARNWICK_ENGINE_TRACE", trace.c_str(), 1);
    setenv("TARNWICK_SIM_SEED", "1", 1);
    setenv("TARNWICK_SIM_BOTS", "64", 1);

    ServerCore core({&CreateServerEngine, &ReleaseServerEngine});
    if (core.Start() != EngineSession::StartupResult::Running) {
        std::fprintf(stderr, "the server did not start: %s\n", core.FailureReason().c_str());
        return 1;
    }
    for (int i = 0; i < 64; ++i) core.SubmitConsoleCommand("sim_join", Requester::Terminal());
    Spin(1500);
    std::printf("players %d, clients %d, %d s a phase\n", core.Status().players, clients, seconds);

    const PassCosts alone = Measure(core, seconds * 1000);
    const std::size_t ticksBefore = TickTimes(trace).size();
    AuditLog audit;
    WebAdminOptions options;
    options.enabled = true;
    WebAdmin web(core, options, audit);
    if (const std::string why = web.Start(); !why.empty()) {
        std::fprintf(stderr, "web admin: %s\n", why.c_str());
        return 1;
    }
    PassCosts withClients;
    uint64_t messages = 0, bytes = 0;
    int closed = 0;
    std::size_t ticksFrom = 0, ticksTo = 0;
    {
        // The handshakes need the event loop, so the fleet connects from a thread of its own.
        std::unique_ptr<Fleet> fleet;
        std::thread connect([&] { fleet = std::make_unique<Fleet>(web.Port(), clients); });
        while (!fleet) Spin(10);
        connect.join();
        Spin(1000);
        ticksFrom = TickTimes(trace).size();
        const uint64_t messagesBefore = fleet->Messages(), bytesBefore = fleet->Bytes();
        withClients = Measure(core, seconds * 1000);
        ticksTo = TickTimes(trace).size();
        messages = fleet->Messages() - messagesBefore;
        bytes = fleet->Bytes() - bytesBefore;
        closed = fleet->Closed();
    }
    web.Stop();
    core.Shutdown();

    const std::vector<double> ticks = TickTimes(trace);
    const Cadence quiet = CadenceBetween(ticks, 0, ticksBefore);
    const Cadence busy = CadenceBetween(ticks, ticksFrom, ticksTo);
    Report("status pass alone", alone);
    Report("with web admin and clients", withClients);
    std::printf("clients heard %.1f messages/s each, %.1f kB/s each; %d dropped\n",
                static_cast<double>(messages) / clients / seconds,
                static_cast<double>(bytes) / clients / seconds / 1024.0, closed);
    std::printf(
        "worker without clients: %zu periods, mean %.3f ms, p99 |dev| %.3f ms, max %.3f ms\n",
        quiet.periods, quiet.mean, quiet.p99, quiet.max);
    std::printf(
        "worker with clients:    %zu periods, mean %.3f ms, p99 |dev| %.3f ms, max %.3f ms\n",
        busy.periods, busy.mean, busy.p99, busy.max);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(scratch);
    return 0;
}
