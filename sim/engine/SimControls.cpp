#include "SimControls.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool ParseUnsigned(const char* text, uint64_t& value) {
    if (text == nullptr || *text == '\0' || *text == '-') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0') return false;
    value = parsed;
    return true;
}

}  // namespace

uint32_t SimControls::ParseFailingSteps(const char* text) {
    static constexpr struct {
        std::string_view name;
        SimStep step;
    } kSteps[] = {{"create", SimStep::Create},
                  {"attach", SimStep::Attach},
                  {"resources", SimStep::Resources},
                  {"drivers", SimStep::Drivers},
                  {"release", SimStep::Release},
                  {"init", SimStep::Init},
                  {"tick", SimStep::Tick}};
    uint32_t steps = 0;
    if (text == nullptr) return steps;
    std::string_view rest(text);
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
        for (const auto& known : kSteps) {
            if (item == known.name) steps |= static_cast<uint32_t>(known.step);
        }
    }
    return steps;
}

SimControls SimControls::FromEnvironment() {
    SimControls controls;
    uint64_t number = 0;
    if (ParseUnsigned(std::getenv("TARNWICK_SIM_SEED"), number)) {
        controls.seed = number;
        controls.seedGiven = true;
    }
    if (ParseUnsigned(std::getenv("TARNWICK_SIM_BOTS"), number)) {
        controls.botTarget = static_cast<int>(number > 64 ? 64 : number);
    }
    controls.failingSteps = ParseFailingSteps(std::getenv("TARNWICK_SIM_FAIL"));
    if (ParseUnsigned(std::getenv("TARNWICK_SIM_CLOSE_AFTER_TICKS"), number)) {
        controls.closeAfterTicks = number;
    }
    const char* trace = std::getenv("TARNWICK_ENGINE_TRACE");
    if (trace != nullptr) controls.tracePath = trace;
    return controls;
}
