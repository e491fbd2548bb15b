#include "SkillHost.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <climits>
#include <iostream>

namespace {

// Plug-ins named without a path are looked up beside the program.
std::string ProgramDir(const char* argv0) {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string program = length > 0 ? std::string(path, static_cast<std::size_t>(length)) : argv0;
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? "." : program.substr(0, slash);
}

// A following run ends between two batches: SIGTERM and SIGINT become readable on a descriptor
// instead of ending the process at once.
int StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) return -1;
    const int fd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    // Without the descriptor the signals end the process as usual; every batch committed stays.
    if (fd < 0) sigprocmask(SIG_UNBLOCK, &signals, nullptr);
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return SkillHost(ProgramDir(argv[0]), StopSignals).Run(arguments, std::cout, std::cerr);
}
