#pragma once

#include "Arguments.h"
#include "Console.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace runel::cli {

// One subcommand of "runel": what the help shows and the handler that runs it. The handler
// gets arguments that have already been checked against options and positionals, and returns
// the exit status.
struct Command {
    QString name;
    QString summary; // one line for "runel --help"
    QString usage; // the arguments after "runel NAME", as the help shows them
    QString description; // what the command does, for "runel NAME --help"
    std::vector<Option> options; // besides -h/--help, which every command has
    QStringList positionals; // names of the required positionals, in order
    QStringList optionalPositionals; // names of those that may follow them
    int (*run)(const Arguments &arguments, Console &console) = nullptr;
};

Command listCommand();
Command resolveCommand();
// The commands that act on the running app, and "runel" alone: start the app or toggle its HUD.
std::vector<Command> appCommands();
int startOrReopen(Console &console);

// Options shared by the commands that read the scripts folder.
Option dirOption();
Option jsonOption();

} // namespace runel::cli
