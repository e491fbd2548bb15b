// One loaded skill plug-in: its three exports and the host layout it was built against.
#pragma once

#include "HostRecords.h"
#include "PluginChoice.h"

#include <string>

class PluginModule {
public:
    using InitFunction = void (*)(void* options, skill::HostState* state, skill::PlayerKey key);
    using EventFunction = void (*)(void* options, skill::HostState* state, void* event,
                                   skill::PlayerRef* first, skill::PlayerRef* second);
    using FinishFunction = void (*)();

    // A bare name is looked up as NAME.so in pluginDir. Throws HostError.
    static PluginModule Load(const PluginChoice& choice, const std::string& pluginDir);

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
