// A failure the host reports and stops on: bad input, a missing file, a plug-in that won't load.
#pragma once

#include <stdexcept>
#include <string>

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;

    static HostError AtLine(const std::string& file, std::size_t line, const std::string& what) {
        return HostError(file + ":" + std::to_string(line) + ": " + what);
    }
};
