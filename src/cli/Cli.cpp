#include "Cli.h"

#include "Command.h"

#include <algorithm>

using namespace Qt::StringLiterals;

#ifndef RUNEL_VERSION
#error "RUNEL_VERSION must be defined by the build"
#endif

namespace runel::cli {

Command searchCommand();
Command logCommand();
Command runCommand();
Command checkCommand();

namespace {

const Option helpOption { u"-h, --help"_s, {}, u"Show this help."_s };

Command helpCommand();

const std::vector<Command> &commands()
{
    static const std::vector<Command> table = [] {
        std::vector<Command> all { listCommand(), checkCommand(), resolveCommand(), runCommand(),
            searchCommand(), logCommand() };
        for (Command &command : appCommands())
            all.push_back(std::move(command));
        all.push_back(helpCommand());
        return all;
    }();
    return table;
}

const Command *findCommand(QStringView name)
{
    for (const Command &command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

QString optionTable(const std::vector<Option> &options)
{
    std::vector<std::pair<QString, QString>> rows;
    qsizetype width = 0;
    for (const Option &option : options) {
        QString left = option.name;
        if (!option.valueName.isEmpty())
            left += u' ' + option.valueName;
        width = std::max(width, left.size());
        rows.emplace_back(left, option.help);
    }
    QString result;
    for (const auto &[left, help] : rows)
        result += u"  "_s + left.leftJustified(width) + u"  "_s + help + u'\n';
    return result;
}

QString mainHelp()
{
    QString text = u"Usage: runel [COMMAND] [OPTIONS]\n\n"
                   u"Runel runs your own scripts from short key sequences. Without a command it "
                   u"starts the app\n(a tray icon and the HUD), or toggles the HUD of the app "
                   u"that runs. The commands list,\nrun and search scripts and show the run log "
                   u"without the app, or act on the running app.\n\nCommands:\n"_s;
    qsizetype width = 0;
    for (const Command &command : commands())
        width = std::max(width, command.name.size());
    for (const Command &command : commands())
        text += u"  "_s + command.name.leftJustified(width) + u"  "_s + command.summary + u'\n';
    text += u"\nOptions:\n"_s
        + optionTable({ helpOption, { u"--version"_s, {}, u"Show the version."_s } })
        + u"\nRun 'runel COMMAND --help' for what a command does and its options.\n"_s;
    return text;
}

QString commandHelp(const Command &command)
{
    std::vector<Option> options = command.options;
    options.push_back(helpOption);
    return u"Usage: runel %1 %2\n\n%3\n\nOptions:\n%4"_s.arg(
        command.name, command.usage, command.description, optionTable(options));
}

int usageError(Console &console, QStringView context, const QString &message)
{
    console.printError(u"%1: %2\nTry '%1 --help'.\n"_s.arg(context, message));
    return exitUsage;
}

int runHelp(const Arguments &arguments, Console &console)
{
    if (arguments.positionals().isEmpty()) {
        console.print(mainHelp());
        return exitSuccess;
    }
    const QString &name = arguments.positionals().constFirst();
    const Command *command = findCommand(name);
    if (!command)
        return usageError(console, u"runel", u"unknown command '%1'"_s.arg(printable(name)));
    console.print(commandHelp(*command));
    return exitSuccess;
}

Command helpCommand()
{
    return {
        u"help"_s,
        u"Show the help of Runel or of one command"_s,
        u"[COMMAND]"_s,
        u"Shows what COMMAND does and its options; without COMMAND, lists the commands."_s,
        {},
        {},
        { u"COMMAND"_s },
        &runHelp,
    };
}

} // namespace

int run(const QStringList &arguments, Console &console)
{
    if (arguments.isEmpty())
        return startOrReopen(console);
    const QString &first = arguments.constFirst();
    if (first == u"-h" || first == u"--help") {
        console.print(mainHelp());
        return exitSuccess;
    }
    if (first == u"--version") {
        console.print(u"runel %1\n"_s.arg(QLatin1StringView(RUNEL_VERSION)));
        return exitSuccess;
    }

    // A URL in place of a command is what the desktop passes when it opens a runel:// link
    // through the application entry ("runel %u"); no command name holds a colon.
    if (!first.startsWith(u'-') && first.contains(u':'))
        return run(QStringList { u"open"_s } + arguments, console);

    const Command *command = findCommand(first);
    if (!command) {
        const QString message = first.startsWith(u'-')
            ? u"unknown option '%1'"_s.arg(printable(first))
            : u"unknown command '%1'"_s.arg(printable(first));
        return usageError(console, u"runel", message);
    }

    ParsedArguments parsed = parseArguments(
        arguments.mid(1), command->options, command->positionals, command->optionalPositionals);
    if (parsed.arguments.helpRequested()) {
        console.print(commandHelp(*command));
        return exitSuccess;
    }
    if (!parsed.error.isEmpty())
        return usageError(console, u"runel "_s + command->name, parsed.error);
    return command->run(parsed.arguments, console);
}

} // namespace runel::cli
