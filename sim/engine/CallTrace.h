// The engine's call trace: one line per call into the engine and per call it makes into the
// host sink, appended and flushed at once, plus OVERLAP when two threads are inside together.
// When no trace file is named every operation returns at the first test.
#pragma once

#include <chrono>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

class CallTrace {
public:
    explicit CallTrace(const std::string& path);  // empty path: off
    ~CallTrace();
    CallTrace(const CallTrace&) = delete;
    CallTrace& operator=(const CallTrace&) = delete;

    bool Enabled() const { return fd >= 0; }

    // A call from the host enters: its line, then OVERLAP if another thread is still inside.
    void Enter(std::string_view name, std::string_view args);
    void Leave();
    // A line for a call made while inside (the sink calls).
    void Write(std::string_view name, std::string_view args);

private:
    int ThreadNumberLocked(std::thread::id id);
    void WriteLocked(std::string_view name, std::string_view args);
    void WriteRaw(const std::string& text);

    int fd = -1;
    std::chrono::steady_clock::time_point start;
    std::mutex mutex;
    std::vector<std::pair<std::thread::id, int>> threadNumbers;
    std::vector<std::pair<std::thread::id, int>> inside;  // thread, nesting depth
};
