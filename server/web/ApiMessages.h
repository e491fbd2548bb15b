// What passes between the network thread and the user-interface thread: a request that needs
// the core, its response, a WebSocket's admission and one of its messages. Plain values, copied
// across.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ApiRequest {
    std::string method;  // "GET", "POST", ...
    std::string path;    // without the query
    std::string query;   // what follows '?', or empty
    std::string body;
    std::string sessionId;              // the session cookie's value, or empty
    std::optional<std::string> bearer;  // an Authorization: Bearer token
    std::string address;                // the client, after a trusted proxy's X-Forwarded-For
    bool secure = false;                // TLS, here or at a trusted proxy
};

struct ApiResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // Set-Cookie, Retry-After, ...
};

struct LiveAdmission {
    bool admitted = false;
    ApiResponse refusal;                // the answer to the upgrade when not admitted
    std::vector<std::string> greeting;  // the first messages: the state as it stands
};

struct LiveReply {
    std::string text;    // the answer to send, or empty
    bool close = false;  // the session is gone: close the socket
};
