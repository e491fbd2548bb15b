#include "PluginChoice.h"

#include "HostError.h"

#include <optional>
#include <string_view>

namespace {

struct KnownPlugin {
    std::string_view name;
    HostLayout layout;
};

constexpr KnownPlugin kKnownPlugins[] = {
    {"brindle_skill", HostLayout::A},
    {"quorvex_skill", HostLayout::B},
    {"corvane_skill", HostLayout::A},
};

char Letter(HostLayout layout) {
    return layout == HostLayout::B ? 'B' : 'A';
}

}  // namespace

PluginChoice PluginChoice::Parse(const std::string& argument) {
    PluginChoice choice;
    choice.file = argument;
    std::optional<HostLayout> given;
    // Only an '@' in the last path component starts a layout, so folders may hold one.
    const std::size_t at = argument.rfind('@');
    if (at != std::string::npos && argument.find('/', at) == std::string::npos) {
        const std::string letter = argument.substr(at + 1);
        if (letter == "A") {
            given = HostLayout::A;
        } else if (letter == "B") {
            given = HostLayout::B;
        } else {
            throw HostError("unknown host layout \"@" + letter + "\" in " + argument +
                            " (expected @A or @B)");
        }
        choice.file.resize(at);
    }
    if (choice.file.empty() || choice.file.back() == '/') {
        throw HostError("no plug-in file in " + argument);
    }

    choice.name = choice.file.substr(choice.file.rfind('/') + 1);
    if (choice.name.size() > 3 && choice.name.ends_with(".so"))
        choice.name.resize(choice.name.size() - 3);

    for (const KnownPlugin& known : kKnownPlugins) {
        if (choice.name != known.name) continue;
        // Run in the other layout, the plug-in would read the host's records at the wrong offsets.
        if (given && *given != known.layout) {
            throw HostError(choice.name + " is built for host layout " + Letter(known.layout) +
                            " and cannot run with @" + Letter(*given));
        }
        choice.layout = known.layout;
        return choice;
    }
    if (!given) {
        throw HostError("give the host layout " + choice.name + " was built for: " + choice.file +
                        "@A or " + choice.file + "@B");
    }
    choice.layout = *given;
    return choice;
}
