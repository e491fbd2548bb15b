// The whole host run: arguments in, ranking out, an exit status back.
#pragma once

#include <ostream>
#include <string>
#include <vector>

class SkillHost {
public:
    explicit SkillHost(std::string pluginDir) : pluginDir(std::move(pluginDir)) {}

    // 0 on success, 1 for bad input or a plug-in that won't load, 2 for bad arguments.
    int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) const;

private:
    std::string pluginDir;
};
