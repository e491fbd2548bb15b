#include "SessionStore.h"

#include "SecureRandom.h"

const WebSession& SessionStore::Create(const std::string& address, int64_t nowMs,
                                       std::vector<WebSession>* ended, const std::string& account,
                                       Role role) {
    for (WebSession& gone : EndExpired(nowMs))
        if (ended) ended->push_back(std::move(gone));
    if (sessions_.size() >= kMaxSessions) {
        auto oldest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
            if (it->second.createdMs < oldest->second.createdMs) oldest = it;
        if (ended) ended->push_back(oldest->second);
        sessions_.erase(oldest);
    }
    WebSession session{RandomHex(32), RandomHex(3), address, account, role, nowMs, nowMs};
    const std::string id = session.id;
    return sessions_[id] = std::move(session);
}

const WebSession* SessionStore::Use(const std::string& id, int64_t nowMs) {
    const auto found = sessions_.find(id);
    if (found == sessions_.end()) return nullptr;
    if (Expired(found->second, nowMs)) {
        sessions_.erase(found);
        return nullptr;
    }
    found->second.lastUsedMs = nowMs;
    return &found->second;
}

const WebSession* SessionStore::Find(const std::string& id, int64_t nowMs) const {
    const auto found = sessions_.find(id);
    if (found == sessions_.end() || Expired(found->second, nowMs)) return nullptr;
    return &found->second;
}

bool SessionStore::End(const std::string& id) {
    return sessions_.erase(id) != 0;
}

std::vector<WebSession> SessionStore::EndAll() {
    std::vector<WebSession> ended;
    for (auto& [id, session] : sessions_) ended.push_back(std::move(session));
    sessions_.clear();
    return ended;
}

std::vector<WebSession> SessionStore::EndExpired(int64_t nowMs) {
    return EndIf([&](const WebSession& session) { return Expired(session, nowMs); });
}

std::vector<WebSession> SessionStore::EndAccount(const std::string& account) {
    return EndIf([&](const WebSession& session) { return session.account == account; });
}

std::vector<WebSession> SessionStore::EndIf(const std::function<bool(const WebSession&)>& ends) {
    std::vector<WebSession> ended;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (ends(it->second)) {
            ended.push_back(std::move(it->second));
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
    return ended;
}

std::vector<std::string> SessionStore::Ids() const {
    std::vector<std::string> ids;
    for (const auto& [id, session] : sessions_) ids.push_back(id);
    return ids;
}
