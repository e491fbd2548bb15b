// The host function the weighted plug-ins import by name; the program exports its symbols so
// that it binds when they load.
#include "WeaponTable.h"

extern "C" __attribute__((visibility("default"))) double get_weapon_weight(std::uint32_t weapon) {
    const WeaponTable* table = WeaponTable::Installed();
    return table == nullptr ? WeaponTable::kDefaultWeight : table->Weight(weapon);
}
