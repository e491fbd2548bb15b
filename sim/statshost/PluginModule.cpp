#include "PluginModule.h"

#include "HostError.h"

#include <dlfcn.h>

#include <utility>

PluginModule PluginModule::Load(const std::string& argument, const std::string& pluginDir) {
    std::string path = argument;
    PluginModule module;
    const std::size_t at = path.rfind('@');
    const bool forced = at != std::string::npos && at + 2 == path.size() &&
                        (path[at + 1] == 'A' || path[at + 1] == 'B');
    if (forced) path.resize(at);
    if (path.find('/') == std::string::npos) path = pluginDir + "/" + path + ".so";

    std::string base = path.substr(path.rfind('/') + 1);
    if (base.size() > 3 && base.ends_with(".so")) base.resize(base.size() - 3);
    module.name = base;
    if (forced) {
        module.layout = argument.back() == 'B' ? HostLayout::B : HostLayout::A;
    } else {
        module.layout = base == "quorvex_skill" ? HostLayout::B : HostLayout::A;
    }

    // RTLD_NOW: an import the host does not provide fails here, not in the middle of a run.
    module.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module.handle == nullptr) {
        throw HostError("cannot load plug-in " + path + ": " + dlerror());
    }
    const auto find = [&](const char* symbol) {
        dlerror();
        void* address = dlsym(module.handle, symbol);
        if (address == nullptr) {
            throw HostError("plug-in " + path + " lacks the export " + symbol);
        }
        return address;
    };
    module.init = reinterpret_cast<InitFunction>(find("skill_plugin_init"));
    module.event = reinterpret_cast<EventFunction>(find("skill_plugin_event"));
    module.finish = reinterpret_cast<FinishFunction>(find("skill_plugin_finish"));
    return module;
}

PluginModule::PluginModule(PluginModule&& other) noexcept
    : init(other.init),
      event(other.event),
      finish(other.finish),
      handle(std::exchange(other.handle, nullptr)),
      name(std::move(other.name)),
      layout(other.layout) {}

PluginModule::~PluginModule() {
    if (handle != nullptr) dlclose(handle);
}
