// A loaded plug-in with the host records of its layout: HostOptions set once, a GameEvent built
// for each event. Records are as large as either layout's and zero-filled, so a plug-in run in
// the wrong layout reads zeros where it looks for use_alt_key or the weapon pointer, never
// whatever lies past the end of the host's record.
#pragma once

#include "HostRecords.h"
#include "PluginModule.h"

#include <cstdint>
#include <cstring>
#include <string>

class RatedPlugin {
public:
    RatedPlugin(PluginModule module, std::int32_t useAltKey);

    const std::string& Name() const { return module.Name(); }

    void Init(GHashTable* players, skill::PlayerKey key);
    void Event(GHashTable* players, std::int32_t code, const skill::WeaponRecord* weapon,
               skill::PlayerRef* first, skill::PlayerRef* second);
    void Finish() { module.finish(); }

private:
    template <typename Record, typename OtherLayoutRecord>
    union PaddedRecord {
        PaddedRecord() { std::memset(static_cast<void*>(this), 0, sizeof *this); }
        Record record;
        OtherLayoutRecord other;  // only for its size
    };
    using OptionsA = PaddedRecord<skill::layout_a::HostOptions, skill::layout_b::HostOptions>;
    using OptionsB = PaddedRecord<skill::layout_b::HostOptions, skill::layout_a::HostOptions>;
    using EventA = PaddedRecord<skill::layout_a::GameEvent, skill::layout_b::GameEvent>;
    using EventB = PaddedRecord<skill::layout_b::GameEvent, skill::layout_a::GameEvent>;

    PluginModule module;
    OptionsA optionsA;
    OptionsB optionsB;
};
