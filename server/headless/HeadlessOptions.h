// The command line of the program run without a window (`server --headless`).
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

#include "LogFormatter.h"
#include "WebAdminOptions.h"

struct HeadlessOptions {
    LogFormat logFormat = LogFormat::Text;
    WebAdminOptions web;
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

// Arguments are read in order; the first error or the first --help decides.
HeadlessCommandLine ParseHeadlessCommandLine(const QStringList& arguments);

// The usage text, ending with a line break.
QString HeadlessUsage();
