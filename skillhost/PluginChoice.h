// A plug-in as the command line names it: which file, under which name, in which host layout.
#pragma once

#include <string>

enum class HostLayout { A, B };

struct PluginChoice {
    std::string file;  // a path, or a bare name looked up as NAME.so beside the host program
    std::string name;  // the file's base name without ".so": the ranking's heading
    HostLayout layout = HostLayout::A;

    // "PATH[@A|@B]". The three plug-ins of this project, recognised by their file's base name,
    // run in the layout they were built for; any other plug-in needs its layout given. Throws
    // HostError (a bad argument) before anything is loaded.
    static PluginChoice Parse(const std::string& argument);
};
