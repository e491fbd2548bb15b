// The live sessions as the network thread may know them, to give a connection that carries one
// its slot before the request reaches the user-interface thread: the session store's owner
// publishes the set after each change, the network thread asks whether a cookie names one.
// Only digests are kept, so a lookup's time says nothing of how much of an id was right. The
// request itself is still checked against the store; a set that is a moment old only weighs a
// connection wrongly. Any thread.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

class PublishedSessions {
public:
    void Publish(const std::vector<std::string>& ids);
    bool Contains(const std::string& id) const;

private:
    mutable std::mutex mutex_;
    std::set<std::string> digests_;
};
