// What passes between the network thread and the user-interface thread: a request, its answer
// and one message of a live socket. Plain values, copied across.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ApiRequest {
    std::string method;  // "GET", "HEAD", "POST", ...
    std::string path;    // without the query
    std::string query;   // what follows '?', or empty
    std::string body;
    std::string sessionId;              // the session cookie's value, or empty
    std::optional<std::string> bearer;  // an Authorization: Bearer token
    std::string address;                // the client, after a trusted proxy's X-Forwarded-For
    bool secure = false;                // TLS, here or at a trusted proxy
    bool upgrade = false;               // asks to become a WebSocket
};

// An upgrade that was granted: the socket belongs to this session and hears these first.
struct LiveGrant {
    std::string sessionId;
    std::vector<std::string> greeting;
};

struct ApiResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // Set-Cookie, Retry-After, ...
    std::optional<LiveGrant> live;  // set only in the answer to an upgrade
};

struct LiveReply {
    std::string text;    // the answer to send, or empty
    bool close = false;  // the session is gone: close the socket
};
