// The command line of the program run without a window: `server --headless`, or `tarnwickd`,
// the program for machines without a screen, which takes the same options (and ignores
// --headless).
//
// Interface: HeadlessRequested(argc, argv) tells main() which application object to make, before
// any exists. ParseHeadlessCommandLine(arguments) (program name first, as
// QCoreApplication::arguments() gives them) answers what to do: run with the options, print
// HeadlessUsage() or the version line to standard output and exit 0, or print `error` to standard
// error and exit exit_status::kBadCommandLine. The window keeps its own rule (CommandLine.h) and
// never uses this parser.
//
// Each option is one row of the table in HeadlessOptions.cpp (name, short name, value name, help,
// and the function that stores its value into HeadlessOptions); a new option is a row and a member.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "LogFormatter.h"
#include "WebAdminOptions.h"

// Which program reads the command line; it names itself in messages and in the usage.
enum class HeadlessProgram { Server, Daemon };

const char* ProgramName(HeadlessProgram program);

struct HeadlessOptions {
    HeadlessProgram program = HeadlessProgram::Server;
    LogFormat logFormat = LogFormat::Text;
    WebAdminOptions web;
    bool agones = false;                 // --agones
    std::optional<uint16_t> agonesPort;  // the SDK sidecar's, once the environment is read
    QString adminPasswordFile;  // empty: none named
};

struct HeadlessCommandLine {
    enum class Action { Run, ShowUsage, ShowVersion, Refuse };
    Action action = Action::Run;
    HeadlessOptions options;
    QString error;  // Refuse: one line naming the argument, ending with the usage hint
};

// True when "--headless" is one of the arguments after the program name (or "--headless=...",
// which the parser then refuses, rather than the window opening).
bool HeadlessRequested(int argc, const char* const* argv);

// Arguments are read in order; the first error, --help or --version decides.
HeadlessCommandLine ParseHeadlessCommandLine(const QStringList& arguments,
                                             HeadlessProgram program = HeadlessProgram::Server);

// The usage text and the version line, each ending with a line break.
QString HeadlessUsage(HeadlessProgram program = HeadlessProgram::Server);
