#include "CallTrace.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

CallTrace::CallTrace(const std::string& path) : start(std::chrono::steady_clock::now()) {
    if (!path.empty()) fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

CallTrace::~CallTrace() {
    if (fd >= 0) ::close(fd);
}

int CallTrace::ThreadNumberLocked(std::thread::id id) {
    for (const auto& [known, number] : threadNumbers) {
        if (known == id) return number;
    }
    int number = static_cast<int>(threadNumbers.size()) + 1;
    threadNumbers.emplace_back(id, number);
    return number;
}

void CallTrace::WriteRaw(const std::string& text) {
    // One write per line with O_APPEND: lines never interleave and nothing waits in a buffer.
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void CallTrace::WriteLocked(std::string_view name, std::string_view args) {
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%.3f\t%d\t", ms,
                  ThreadNumberLocked(std::this_thread::get_id()));
    std::string line(prefix);
    line += name;
    line += args;
    line += '\n';
    WriteRaw(line);
}

void CallTrace::Write(std::string_view name, std::string_view args) {
    if (!Enabled()) return;
    std::lock_guard lock(mutex);
    WriteLocked(name, args);
}

void CallTrace::Enter(std::string_view name, std::string_view args) {
    if (!Enabled()) return;
    std::lock_guard lock(mutex);
    const auto self = std::this_thread::get_id();
    bool overlap = false;
    auto mine = inside.end();
    for (auto it = inside.begin(); it != inside.end(); ++it) {
        if (it->first == self) {
            mine = it;
        } else {
            overlap = true;
        }
    }
    if (mine == inside.end()) {
        inside.emplace_back(self, 1);
    } else {
        ++mine->second;
    }
    WriteLocked(name, args);
    if (overlap) WriteRaw("OVERLAP\n");
}

void CallTrace::Leave() {
    if (!Enabled()) return;
    std::lock_guard lock(mutex);
    const auto self = std::this_thread::get_id();
    auto mine = std::find_if(inside.begin(), inside.end(),
                             [&](const auto& entry) { return entry.first == self; });
    if (mine != inside.end() && --mine->second == 0) inside.erase(mine);
}
