#include "ServerMetrics.h"

#include <charconv>
#include <cmath>

namespace {

std::string Number(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string Number(uint64_t value) {
    return std::to_string(value);
}

// Label values may hold anything the web side names a result; these three would end the value.
std::string LabelValue(const std::string& raw) {
    std::string escaped;
    for (char c : raw) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

class Writer {
public:
    void Family(const char* name, const char* type, const char* help) {
        text_ += "# HELP ";
        text_ += name;
        text_ += ' ';
        text_ += help;
        text_ += "\n# TYPE ";
        text_ += name;
        text_ += ' ';
        text_ += type;
        text_ += '\n';
    }
    void Value(const std::string& name, const std::string& value) {
        text_ += name;
        text_ += ' ';
        text_ += value;
        text_ += '\n';
    }
    std::string Take() { return std::move(text_); }

private:
    std::string text_;
};

}  // namespace

void TickHistogram::Add(int64_t tickNs) {
    for (std::size_t i = 0; i < kBoundsNs.size(); ++i)
        if (tickNs <= kBoundsNs[i]) ++counts_[i];
    ++counts_.back();
    sumNs_ += tickNs;
}

std::string PrometheusText(const MetricsSnapshot& m) {
    Writer w;
    w.Family("tarnwick_tick_duration_seconds", "histogram",
             "Time the engine took for one step (Tick).");
    const auto& counts = m.ticks.Cumulative();
    for (std::size_t i = 0; i < TickHistogram::kBoundsSeconds.size(); ++i)
        w.Value("tarnwick_tick_duration_seconds_bucket{le=\"" +
                    Number(TickHistogram::kBoundsSeconds[i]) + "\"}",
                Number(counts[i]));
    w.Value("tarnwick_tick_duration_seconds_bucket{le=\"+Inf\"}", Number(counts.back()));
    w.Value("tarnwick_tick_duration_seconds_sum", Number(m.ticks.SumSeconds()));
    w.Value("tarnwick_tick_duration_seconds_count", Number(m.ticks.Count()));

    w.Family("tarnwick_tick_overruns_total", "counter",
             "Engine steps that took their whole 33 ms period and left no pause.");
    w.Value("tarnwick_tick_overruns_total", Number(m.overruns));

    w.Family("tarnwick_update_rate_hertz", "gauge",
             "Engine steps per second over the last second (the goal is 30).");
    w.Value("tarnwick_update_rate_hertz", Number(m.updateRate));

    w.Family("tarnwick_worker_up", "gauge",
             "1 while the engine's worker runs and moves, as /healthz answers it.");
    w.Value("tarnwick_worker_up", Number(m.workerHealthy ? 1.0 : 0.0));
    w.Family("tarnwick_worker_stalled_seconds", "gauge",
             "How long the worker has been held up: inside one Tick, or since its last step.");
    w.Value("tarnwick_worker_stalled_seconds", Number(m.workerStalledSeconds));

    w.Family("tarnwick_engine_lock_wait_max_seconds", "gauge",
             "Longest wait of the worker for the engine lock over the last second.");
    w.Value("tarnwick_engine_lock_wait_max_seconds", Number(m.lockWaitMaxSeconds));

    w.Family("tarnwick_players", "gauge", "Players on the server.");
    w.Value("tarnwick_players", Number(static_cast<double>(m.players)));
    w.Family("tarnwick_max_players", "gauge", "Player slots the server offers.");
    w.Value("tarnwick_max_players", Number(static_cast<double>(m.maxPlayers)));

    w.Family("tarnwick_send_bytes_per_second", "gauge", "Bytes per second the server sends.");
    w.Value("tarnwick_send_bytes_per_second", Number(m.sendRate));
    w.Family("tarnwick_receive_bytes_per_second", "gauge", "Bytes per second the server receives.");
    w.Value("tarnwick_receive_bytes_per_second", Number(m.receiveRate));

    w.Family("tarnwick_console_commands_total", "counter",
             "Console commands sent to the engine, by where they were typed.");
    w.Value("tarnwick_console_commands_total{source=\"window\"}", Number(m.commandsWindow));
    w.Value("tarnwick_console_commands_total{source=\"terminal\"}", Number(m.commandsTerminal));
    w.Value("tarnwick_console_commands_total{source=\"web\"}", Number(m.commandsWeb));

    w.Family("tarnwick_web_logins_total", "counter", "Web admin logins, by result.");
    for (const auto& [result, count] : m.webLogins)
        w.Value("tarnwick_web_logins_total{result=\"" + LabelValue(result) + "\"}", Number(count));
    w.Family("tarnwick_audit_write_failures_total", "counter",
             "Lines the web admin could not write to its audit log.");
    w.Value("tarnwick_audit_write_failures_total", Number(m.auditWriteFailures));

    w.Family("tarnwick_start_time_seconds", "gauge",
             "When the server began running, in seconds since 1970.");
    w.Value("tarnwick_start_time_seconds", Number(m.startTimeSeconds));
    return w.Take();
}
