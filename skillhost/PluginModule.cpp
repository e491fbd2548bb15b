#include "PluginModule.h"

#include "HostError.h"

#include <dlfcn.h>

#include <utility>

PluginModule PluginModule::Load(const PluginChoice& choice, const std::string& pluginDir) {
    std::string path = choice.file;
    if (path.find('/') == std::string::npos) path = pluginDir + "/" + path + ".so";
    PluginModule module;
    module.name = choice.name;
    module.layout = choice.layout;

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
