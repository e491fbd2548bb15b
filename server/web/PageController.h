// The page and its files, built into the program: no session needed (the page shows its login
// form until one exists), and answered on the network thread, as they are fixed texts.
#pragma once

#include <map>
#include <string>

#include "RouteTable.h"

struct StaticFile {
    std::string contentType;
    std::string body;
};

class PageController {
public:
    // By path: "/", "/app.js", ...
    explicit PageController(std::map<std::string, StaticFile> files) : files_(std::move(files)) {}
    void Register(RouteTable& routes) const;

private:
    std::map<std::string, StaticFile> files_;
};
