// The window's command line.
//
// "-s" as the first two characters of what follows the program name, in either case, skips the
// settings sheet at start; so does any word that begins with them (ShowSettingsAtStart). Besides
// it the window takes the web admin's options (WebAdminOptions.h), --help or -h, --version, and
// Qt's own options (-platform, -style, ...), which Qt takes out of the list when the application
// object is made. Words that are not options are left alone, as they always were.
//
// ReadWindowCommandLine runs twice. Before the application object exists, so that a bad option
// ends the program with its message even where there is no display: an unknown option with two
// dashes is refused then, and one with a single dash is left to Qt. After Qt took its own out,
// a single-dash option that is left over is refused too, and so is a "-s" that is not the first
// word (it would be ignored there).
#pragma once

#include <QString>
#include <QStringList>

// Answers whether the sheet is shown.
bool ShowSettingsAtStart(const QStringList& arguments);

struct WindowCommandLine {
    enum class Action { Run, ShowUsage, ShowVersion, Refuse };
    enum class Stage { BeforeQt, AfterQt };
    Action action = Action::Run;
    QString error;  // Refuse: one line naming the argument, ending with the usage hint
};

// Arguments in order, the program name first; the first --help, --version or error decides.
WindowCommandLine ReadWindowCommandLine(const QStringList& arguments,
                                        WindowCommandLine::Stage stage);
