#include "SkillHost.h"

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

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return SkillHost(ProgramDir(argv[0])).Run(arguments, std::cout, std::cerr);
}
