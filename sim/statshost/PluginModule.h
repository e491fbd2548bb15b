// One loaded skill plug-in: its three exports and the host layout it was built against.
#pragma once

#include "HostRecords.h"

#include <string>

enum class HostLayout { A, B };

class PluginModule {
public:
    using InitFunction = void (*)(void* options, skill::HostState* state, skill::PlayerKey key);
    using EventFunction = void (*)(void* options, skill::HostState* state, void* event,
                                   skill::PlayerRef* first, skill::PlayerRef* second);
    using FinishFunction = void (*)();

    // "PATH[@A|@B]"; a bare name is looked up as NAME.so beside the host program. Without a
    // suffix, quorvex_skill is layout B and every other plug-in layout A. Throws HostError.
    static PluginModule Load(const std::string& argument, const std::string& pluginDir);

    PluginModule(PluginModule&& other) noexcept;
    PluginModule& operator=(PluginModule&&) = delete;
    ~PluginModule();

    const std::string& Name() const { return name; }
    HostLayout Layout() const { return layout; }
    InitFunction init = nullptr;
    EventFunction event = nullptr;
    FinishFunction finish = nullptr;

private:
    PluginModule() = default;
    void* handle = nullptr;
    std::string name;
    HostLayout layout = HostLayout::A;
};
