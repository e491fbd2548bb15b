// Every path the web admin answers, in one table: for each path and method, whether it needs a
// session and of which role, on which thread it may be answered, and its handler. HEAD is taken
// wherever GET is (the transport leaves the body out). A path not in the table is 404; a method
// the path does not take is 405 with `Allow`. The table is filled before the network thread
// starts and only read after, so both threads may look things up in it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ApiMessages.h"
#include "Role.h"
#include "SessionStore.h"

struct ApiCall {
    const ApiRequest& request;
    const WebSession* session;  // the request's live session, or nullptr
};

struct Route {
    enum class Method { Get, Post };
    enum class Access { Anyone, Session };
    // Any: the handler reads only what it was made with, so the network thread may answer it.
    enum class Thread { Ui, Any };
    using Handler = std::function<ApiResponse(const ApiCall&)>;
    using Reply = std::function<void(ApiResponse)>;
    // In place of `handler`, for an answer that is worked out off this thread (a password hash):
    // `reply` is called once, later, on the user-interface thread.
    using Deferred = std::function<void(const ApiCall&, Reply reply)>;

    std::string path;
    Method method = Method::Get;
    Access access = Access::Session;
    Role role = Role::Viewer;  // the least a session needs, when it needs one
    Handler handler;
    Thread thread = Thread::Ui;
    Deferred deferred = nullptr;
};

class RouteTable {
public:
    void Add(Route route) { routes_.push_back(std::move(route)); }

    struct Match {
        const Route* route = nullptr;
        std::optional<ApiResponse> refusal;  // 404 or 405 when there is no route
    };
    Match Find(std::string_view method, std::string_view path) const;

    const std::vector<Route>& Routes() const { return routes_; }

private:
    std::vector<Route> routes_;
};
