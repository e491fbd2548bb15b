// The web admin's audit trail: one JSON object a line, appended to a file that only its owner
// may read (it names addresses and commands). When the file at the path is no longer the one
// open (rotated away or deleted), the next line goes to a new file at the path. Used on the
// user-interface thread only.
#pragma once

#include <cstdint>
#include <string>

struct AuditEvent {
    std::string address;       // the client's address
    std::string session;       // the session's tag, or empty
    std::string action;        // "login", "logout", "command", "kick", "changemap", "rejected", ...
    std::string outcome;       // "ok", "wrong password", "no such player", ...
    std::string detail;        // what was asked, as UTF-8
    std::string account = {};  // the session's account, or empty for the owner
};

class AuditLog {
public:
    static constexpr const char* kDefaultPath = "tarnwick/admin-audit.log";

    explicit AuditLog(std::string path = kDefaultPath) : path_(std::move(path)) {}
    ~AuditLog();
    AuditLog(const AuditLog&) = delete;
    AuditLog& operator=(const AuditLog&) = delete;

    // Appends the event with the time (milliseconds since the epoch); false when the file
    // cannot be written (Error() says why, WriteFailures() counts it).
    bool Record(const AuditEvent& event, int64_t timeMs);
    // The next line opens the path afresh (SIGHUP after a rotation).
    void Reopen();
    const std::string& Error() const { return error_; }
    const std::string& Path() const { return path_; }
    uint64_t WriteFailures() const { return failures_; }

    // The event's JSON line, without the line break.
    static std::string Line(const AuditEvent& event, int64_t timeMs);

private:
    bool Open();
    bool Fail();

    std::string path_;
    int fd_ = -1;
    std::string error_;
    uint64_t failures_ = 0;
};
