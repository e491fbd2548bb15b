// What an operator's action is made of, whichever front end takes it: who asked, what became of
// it, and how a run of the server ended.
#pragma once

#include <optional>
#include <string>

// Who asked for an action, so that the console and the audit can say so.
struct Requester {
    enum class Kind { Window, Terminal, Web, System };
    Kind kind = Kind::Window;
    std::string address;  // a web client's address
    std::string detail;   // a web session's short tag
    std::string account;  // the web account that asked; empty for the owner's password

    static Requester Window() { return {Kind::Window, {}, {}, {}}; }
    static Requester Terminal() { return {Kind::Terminal, {}, {}, {}}; }
    // The program itself: a signal, the engine, the end of the process.
    static Requester System() { return {Kind::System, {}, {}, {}}; }
    // "window", "terminal", "system", "web 192.0.2.7 (a1b2c3)", "web 192.0.2.7 (a1b2c3) anna"
    std::string Describe() const;
};

enum class ActionResult {
    Done,
    NoServer,       // no engine runs (never started, failed, stopped, or closing)
    NotResponding,  // the engine's Tick has not returned for seconds: nothing can reach it
    Empty,          // nothing to send
    TooLong,        // over the 119 characters a console command may hold: nothing was sent
    UnsafeText,     // a control character would split or garble the command
    NotFound,       // no such player, or the engine no longer had them
    OutOfRange,     // no such rotation entry
    Conflict,       // the rotation entry no longer holds the world the requester saw
    Refused,        // the engine refused it (a world whose file is gone); its console says why
    Invalid,        // a value its setting cannot take
    NotWritten,     // its file could not be written; the console says why
};
const char* Describe(ActionResult result);

// An action's result, with the words for the operator when it was refused.
struct ActionOutcome {
    ActionResult result = ActionResult::Done;
    std::string message;  // why, when it was refused; UTF-8
};

// A change of map as the requester saw it: the rotation position, and the world shown there.
struct MapChoice {
    int index = -1;
    std::optional<std::string> world;  // left out by older web clients: the position alone counts
};

// Why a run of the server ended, and who asked for it where someone did.
enum class StopCause {
    StartupFailed,  // a start-up step after the binding failed
    EngineStopped,  // Tick answered 0 without anybody asking
    EngineClosed,   // the engine asked the host to close
    Quit,           // an operator quit: a typed "quit" from any front end, or the window's Quit
    ShutDown,       // the front end ended the run: a signal, the window closed
    EngineHung,     // the run was ended, but a Tick that never returned kept the engine
};
const char* Describe(StopCause cause);

struct RunEnd {
    StopCause cause = StopCause::ShutDown;
    Requester by = Requester::System();
};

// The exit status of a program whose run ends so; a service manager restarts it on 3 and leaves
// it stopped on 1 and 2, which a restart cannot mend.
namespace exit_status {
inline constexpr int kClean = 0;           // a signal, a quit from any operator, the engine's close
inline constexpr int kEngineNotBound = 1;  // the engine could not be bound
inline constexpr int kBadCommandLine = 2;  // a bad option or value, or a web admin that cannot
                                           // start (its port is taken, TLS cannot start), or
                                           // another server holds the install directory
inline constexpr int kServerFailed = 3;    // a later start-up step failed, the engine stopped by
                                           // itself, or an engine that hung could not be released
int Of(StopCause cause);
}  // namespace exit_status
