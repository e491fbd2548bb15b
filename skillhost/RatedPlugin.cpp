#include "RatedPlugin.h"

#include <utility>

RatedPlugin::RatedPlugin(PluginModule module, std::int32_t useAltKey) : module(std::move(module)) {
    optionsA.record.use_alt_key = useAltKey;
    optionsB.record.use_alt_key = useAltKey;
}

void RatedPlugin::Init(GHashTable* players, skill::PlayerKey key) {
    skill::HostState state{players};
    void* options = module.Layout() == HostLayout::B ? static_cast<void*>(&optionsB.record)
                                                     : static_cast<void*>(&optionsA.record);
    module.init(options, &state, key);
}

void RatedPlugin::Event(GHashTable* players, std::int32_t code, const skill::WeaponRecord* weapon,
                        skill::PlayerRef* first, skill::PlayerRef* second) {
    skill::HostState state{players};
    if (module.Layout() == HostLayout::B) {
        EventB event;
        event.record.code = code;
        event.record.weapon = weapon;
        module.event(&optionsB.record, &state, &event.record, first, second);
    } else {
        EventA event;
        event.record.code = code;
        event.record.weapon = weapon;
        module.event(&optionsA.record, &state, &event.record, first, second);
    }
}
