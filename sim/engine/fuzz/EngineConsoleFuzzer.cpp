// Feeds console lines and configuration files to the engine. The first byte chooses: even runs
// the rest as commands, odd reads it as a configuration file. Then every variable is written,
// read back into a fresh engine and written again: the two files must be the same.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "SimulatedEngine.h"

namespace {

class QuietSink final : public EngineHostSink {
public:
    int32_t OnEngineMessage(const char* message) override { return message[0] == '\0' ? 1 : 0; }
    int32_t OnConsoleOutput(const char* text) override { return text[0] == '\0' ? 1 : 0; }
    int32_t Unnamed2() override { return 0; }
    int32_t Unnamed3(int32_t, int32_t, int32_t, int32_t) override { return 0; }
};

std::string ScratchPath(const char* suffix) {
    static const std::string base = [] {
        // Memory-backed when possible: the engine syncs every configuration it writes.
        char shm[] = "/dev/shm/engine-fuzz-XXXXXX";
        char tmp[] = "/tmp/engine-fuzz-XXXXXX";
        char* pattern = ::mkdtemp(shm);
        if (pattern == nullptr) pattern = ::mkdtemp(tmp);
        if (pattern == nullptr) std::abort();
        static std::string made(pattern);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(made, ignored);
        });
        return made;
    }();
    return base + "/" + suffix;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

SimControls Controls() {
    SimControls controls;
    controls.seed = 1;
    controls.eventLogDirectory = ScratchPath("logs");
    controls.seedGiven = true;
    return controls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    QuietSink sink;
    const std::string config = ScratchPath("input.cfg");
    const std::string first = ScratchPath("first.cfg");
    const std::string second = ScratchPath("second.cfg");
    {
        SimulatedEngine engine(Controls());
        engine.AttachHost(&sink);
        ServerLaunchInfo launch{};
        std::strcpy(launch.worldName, "worlds/antarctica");
        engine.StartServer(&launch);
        if (data[0] % 2 == 0) {
            // Commands end at a zero byte, as the host's texts do; each piece runs on its own.
            for (size_t start = 0; start <= input.size();) {
                size_t end = input.find('\0', start);
                if (end == std::string::npos) end = input.size();
                engine.ExecuteCommand(input.substr(start, end - start).c_str());
                start = end + 1;
            }
        } else {
            std::ofstream(config, std::ios::binary) << input;
            engine.ReadConfig(config.c_str());
        }
        for (int i = 0; i < 3; ++i) engine.Tick(0);
        if (engine.WriteConfig(first.c_str(), 0) == 0) std::abort();
    }
    std::error_code ignored;
    std::filesystem::remove_all(ScratchPath("logs"), ignored);  // a match file per run otherwise
    {
        SimulatedEngine engine(Controls());
        engine.ReadConfig(first.c_str());
        if (engine.WriteConfig(second.c_str(), 0) == 0) std::abort();
    }
    if (FileText(first) != FileText(second)) {
        std::fprintf(stderr, "configuration changed through a round trip\n");
        std::abort();
    }
    return 0;
}
