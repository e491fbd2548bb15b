// The engine's label library: team and specialty labels looked up by string id.
#include <cstdint>
#include <cstring>

namespace {

struct Label {
    uint32_t id;
    const char* text;
};

constexpr Label kLabels[] = {
    {1070, "Red Team"}, {1071, "Blue Team"}, {1072, "Spectators"}, {1073, "Unassigned"},
    {1080, "Rifleman"}, {1081, "Medic"},     {1082, "Engineer"},   {1083, "Sniper"},
    {1084, "Scout"},    {1085, "Support"},   {1086, "Heavy"},      {1087, "Commander"},
};

}  // namespace

// Copies at most capacity - 1 bytes of the label and terminates them; answers the bytes copied,
// 0 when there is no such label.
extern "C" __attribute__((visibility("default"))) int32_t quillon_load_string(uint32_t id,
                                                                              char* buffer,
                                                                              int32_t capacity) {
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = '\0';
    for (const Label& label : kLabels) {
        if (label.id != id) continue;
        std::size_t length = std::strlen(label.text);
        if (length > static_cast<std::size_t>(capacity - 1)) length = capacity - 1;
        std::memcpy(buffer, label.text, length);
        buffer[length] = '\0';
        return static_cast<int32_t>(length);
    }
    return 0;
}
