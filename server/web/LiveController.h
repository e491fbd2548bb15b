// GET /api/live, the live feed's WebSocket. A plain GET is answered 426. An upgrade is granted to
// a live session, with a greeting: `hello` (the session and the run id), the status, players and
// rotation as they stand, and the console lines after `after=SEQ` (all that are held when
// `run=ID` names another run), the latest that fit kGreetingConsoleBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "RouteTable.h"

class ServerCore;

class LiveController {
public:
    static constexpr std::size_t kGreetingConsoleBytes = 512 * 1024;

    explicit LiveController(ServerCore& core) : core_(core) {}
    void Register(RouteTable& routes);

private:
    ApiResponse Admit(const ApiCall& call) const;
    std::vector<std::string> Greeting(const std::string& sessionTag, uint64_t afterSeq) const;

    ServerCore& core_;
};
