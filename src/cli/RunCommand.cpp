#include "Command.h"
#include "IndexLoader.h"
#include "OutputPassThrough.h"
#include "RunSignals.h"

#include "core/SystemServices.h"
#include "core/execution/ListEntry.h"
#include "core/execution/ModifierText.h"
#include "core/execution/RunChoice.h"
#include "core/execution/ScriptExecutionCoordinator.h"
#include "core/index/CommandResolver.h"
#include "core/index/Labels.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"
#include "core/text/Text.h"

#include <QEventLoop>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <iterator>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace runel::cli {
namespace {

bool isTerminal(std::FILE *stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

// One line typed on the terminal; nothing at the end of input.
std::optional<QString> readLine()
{
    QByteArray line;
    for (int c = std::fgetc(stdin); c != '\n'; c = std::fgetc(stdin)) {
        if (c == EOF)
            return line.isEmpty() ? std::nullopt : std::optional(QString::fromUtf8(line));
        line.append(char(c));
    }
    return QString::fromUtf8(line);
}

// The terminal's settings while a prompt has changed them, for the signal handler below.
termios promptSaved {};

// Ctrl-C (or another ending signal) during such a prompt: the terminal's settings come back
// before runel ends as the signal says. Only async-signal-safe calls.
void restoreTerminalAndEnd(int signal)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &promptSaved);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// For its lifetime, a signal that ends runel puts promptSaved back first.
class RestoreOnEndingSignals {
public:
    RestoreOnEndingSignals()
    {
        struct sigaction restoring { };
        restoring.sa_handler = &restoreTerminalAndEnd;
        sigemptyset(&restoring.sa_mask);
        for (size_t i = 0; i < std::size(endingSignals); ++i)
            ::sigaction(endingSignals[i], &restoring, &m_previous[i]);
    }
    ~RestoreOnEndingSignals()
    {
        for (size_t i = 0; i < std::size(endingSignals); ++i)
            ::sigaction(endingSignals[i], &m_previous[i], nullptr);
    }
    RestoreOnEndingSignals(const RestoreOnEndingSignals &) = delete;
    RestoreOnEndingSignals &operator=(const RestoreOnEndingSignals &) = delete;

private:
    static constexpr int endingSignals[] = { SIGINT, SIGTERM, SIGHUP, SIGQUIT };
    struct sigaction m_previous[std::size(endingSignals)] {};
};

// One line typed on the terminal without showing it, as passwords are asked for; the prompt
// goes to prompter once the echo is off, so nothing typed after it shows. Echo comes back
// however the reading ends, a signal that ends runel included.
std::optional<QString> readHiddenLine(const std::function<void()> &prompter)
{
    if (::tcgetattr(STDIN_FILENO, &promptSaved) != 0) {
        prompter();
        return readLine();
    }
    const RestoreOnEndingSignals restoring;
    termios hidden = promptSaved;
    hidden.c_lflag &= ~tcflag_t(ECHO);
    hidden.c_lflag |= ECHONL;
    std::optional<QString> line;
    const bool isHidden = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden) == 0;
    prompter();
    line = readLine();
    if (isHidden)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &promptSaved);
    return line;
}

// Whether line ends in the first bytes of a UTF-8 character still missing its last ones.
bool endsInsideCharacter(const QByteArray &line)
{
    qsizetype lead = line.size() - 1;
    while (lead >= 0 && (uchar(line[lead]) & 0xC0) == 0x80)
        --lead;
    if (lead < 0)
        return false;
    const uchar first = uchar(line[lead]);
    const qsizetype length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return line.size() - lead < length;
}

// One line typed on the terminal, where Up puts the answers of earlier runs in its place
// (recalled, newest first) and Down steps back towards an empty line. Enter ends it, Backspace
// takes back a character; other keys that move or edit are passed over. Ctrl-C ends runel as
// anywhere else (with the terminal's settings back), Ctrl-D on an empty line is the end of
// input. show(prompt + line) is what the terminal shows after each change.
std::optional<QString> readRecallingLine(const QStringList &recalled, const QString &prompt,
    const std::function<void(const QString &)> &show)
{
    if (::tcgetattr(STDIN_FILENO, &promptSaved) != 0) {
        show(prompt);
        return readLine();
    }
    const RestoreOnEndingSignals restoring;
    termios keys = promptSaved;
    keys.c_lflag &= ~tcflag_t(ICANON | ECHO);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) {
        show(prompt);
        return readLine();
    }
    QByteArray line;
    int at = -1; // in recalled; -1: what was typed
    const auto redraw = [&] { show(u"\r\x1b[K"_s + prompt + QString::fromUtf8(line)); };
    std::optional<QString> result;
    redraw();
    for (bool reading = true; reading;) {
        const int c = std::fgetc(stdin);
        if (c == EOF || (c == 0x04 && line.isEmpty())) {
            if (!line.isEmpty())
                result = QString::fromUtf8(line);
            reading = false;
        } else if (c == '\n' || c == '\r') {
            result = QString::fromUtf8(line);
            reading = false;
        } else if (c == 0x7f || c == 0x08) {
            while (!line.isEmpty() && (uchar(line.back()) & 0xC0) == 0x80)
                line.chop(1);
            line.chop(1);
            redraw();
        } else if (c == 0x1b) {
            // A control sequence: ESC, "[" or "O", parameters, one final byte.
            int final = std::fgetc(stdin);
            if (final == '[' || final == 'O') {
                do
                    final = std::fgetc(stdin);
                while (final != EOF && (final < 0x40 || final > 0x7e));
            }
            const int step = final == 'A' ? 1 : final == 'B' ? -1 : 0;
            const int next = std::clamp(at + step, -1, int(recalled.size()) - 1);
            if (step != 0 && next != at) {
                at = next;
                line = at < 0 ? QByteArray() : recalled[at].toUtf8();
                redraw();
            }
        } else if (c >= 0x20) {
            line.append(char(c));
            if (!endsInsideCharacter(line))
                redraw();
        }
    }
    show(u"\n"_s);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &promptSaved);
    return result;
}

// The terminal runel reads from, when runel has its foreground: the script then takes it, so
// that it can read the terminal and Ctrl-C reaches it, as when started from a shell.
std::optional<int> foregroundTerminal()
{
    if (!isTerminal(stdin) || ::tcgetpgrp(STDIN_FILENO) != ::getpgrp())
        return std::nullopt;
    return STDIN_FILENO;
}

class Runner {
public:
    Runner(const Arguments &arguments, Console &console, const LoadedIndex &loaded,
        ConfigManager &config)
        : m_arguments(arguments)
        , m_console(console)
        , m_index(*loaded.index)
        , m_enhanceLabels(loaded.enhanceLabels)
        , m_coordinator(config, m_logStore, m_services)
    {
        m_coordinator.setOnEvent([this](const ScriptExecutionCoordinator::Event &event) {
            if (event.kind == ScriptExecutionCoordinator::Event::Kind::showingList)
                m_entries = event.entries;
        });
    }

    // Runs file to its end, asking for its argument first when it has one and none is given.
    // Returns the exit status for runel.
    int run(const FileItem &file, const QString &displayName, std::optional<QStringList> arguments,
        const QString &modifiers)
    {
        if (!arguments && file.metadata.argument) {
            const std::optional<QString> argument
                = askArgument(*file.metadata.argument, file.standardizedPath());
            if (!argument)
                return exitFailure;
            arguments = QStringList { *argument };
        }
        if (!arguments && !file.metadata.argument && m_arguments.has(u"--arg"_s))
            m_console.printError(
                u"runel: %1 takes no argument; --arg is ignored.\n"_s.arg(printable(displayName)));
        std::fflush(stdout);
        std::fflush(stderr);
        QEventLoop loop;
        int status = exitFailure;
        bool hasEnded = false;
        bool outputHasEnded = false;
        LogRunPtr logRun;
        auto out = std::make_shared<OutputPassThrough>(STDOUT_FILENO, true);
        auto err = std::make_shared<OutputPassThrough>(STDERR_FILENO, false);
        ScriptExecutionCoordinator::RunHooks hooks;
        hooks.standardOutput = [out](const char *data, size_t size) { out->write(data, size); };
        hooks.standardError = [err](const char *data, size_t size) { err->write(data, size); };
        hooks.foregroundTerminal = foregroundTerminal();
        hooks.lateOutput = STDOUT_FILENO;
        hooks.lateError = STDERR_FILENO;
        hooks.finished = [&](const ScriptExecutionCoordinator::RunResult &result) {
            if (!result.launchError.isEmpty())
                m_console.printError(u"runel: %1 could not be started: %2\n"_s.arg(
                    printable(displayName), result.launchError));
            status = result.shellStatus();
            logRun = result.logRun;
            out->endOfRun(status == exitSuccess && m_entries);
            hasEnded = true;
            if (outputHasEnded)
                loop.quit();
        };
        // A job the script left running does not keep runel: its output is handed to a copier
        // of its own (LateOutputCopier), which logs and passes it through to the end.
        hooks.outputEnded = [&] {
            outputHasEnded = true;
            if (hasEnded)
                loop.quit();
        };
        m_entries.reset();
        const QStringList given = arguments.value_or(QStringList());
        {
            RunSignals signals([this](int signal) {
                if (const auto &process = m_coordinator.runningProcess())
                    process->signalGroup(signal);
            });
            if (runsInForeground(file))
                m_coordinator.runForeground(file, displayName, given, modifiers, std::move(hooks));
            else
                m_coordinator.runBackground(file, displayName, given, modifiers, std::move(hooks));
            loop.exec();
            if (signals.received() != 0)
                status = 128 + signals.received();
        }
        for (const auto &[stream, name] :
            { std::pair { out, u"output"_s }, { err, u"error output"_s } }) {
            if (const QString failure = stream->failure(); !failure.isEmpty())
                m_console.printError(u"runel: the script's %1 could not all be written (%2); "
                                     u"it is all in the log ('runel log').\n"_s.arg(name, failure));
        }
        reportRecordFailure(logRun);
        if (status == exitSuccess && m_entries)
            return offerList(*m_entries, modifiers);
        return status;
    }

private:
    // A run whose final record is lost is listed as interrupted for good: the user hears it now.
    void reportRecordFailure(const LogRunPtr &logRun)
    {
        if (!logRun)
            return;
        m_logStore.waitForPendingWrites();
        if (const QString error = logRun->recordError(); !error.isEmpty())
            m_console.printError(u"runel: the run was not recorded in the log: %1.\n"
                                 u"It will be listed as interrupted. Free some disk space or make "
                                 u"the log folder writable.\n"_s.arg(error));
    }

    // What Up offers at the prompt for the script at path: the arguments of its earlier runs,
    // newest first, but for preset (an empty answer gives that already). The log is read here,
    // once, as only a prompt on a terminal needs it.
    QStringList recalledArguments(const QString &path, const QString &preset) const
    {
        const RunHistory history = RunHistory::fromRecords(
            LogStore::loadRecords(m_logStore.logDirectory()), QDateTime::currentDateTimeUtc());
        const RunHistory::Entry *entry = history.entry(path);
        QStringList recalled = entry ? entry->recalledArguments : QStringList();
        recalled.removeAll(preset);
        return recalled;
    }

    std::optional<QString> askArgument(const ScriptArgument &argument, const QString &path)
    {
        if (const std::optional<QString> given = m_arguments.value(u"--arg"_s))
            return given;
        // No clipboard on a terminal: the placeholder for it stands for nothing.
        QString value = argument.value;
        value.replace(u"{clipboard}"_s, QString());
        if (!isTerminal(stdin)) {
            m_console.printError(u"runel: this script asks for an argument%1; give it with "
                                 u"--arg TEXT.\n"_s.arg(argument.placeholder.isEmpty()
                                         ? QString()
                                         : u" (%1)"_s.arg(printable(argument.placeholder))));
            return std::nullopt;
        }
        QString prompt = argument.placeholder.isEmpty() ? u"Argument"_s : argument.placeholder;
        if (!value.isEmpty())
            prompt += argument.secret ? u" [Enter keeps the preset]"_s
                                      : u" [%1]"_s.arg(printable(value));
        const auto prompter = [&] { m_console.printError(prompt + u": "_s); };
        std::optional<QString> typed;
        if (argument.secret) {
            typed = readHiddenLine(prompter);
        } else if (const QStringList recalled = recalledArguments(path, value);
                   !recalled.isEmpty() && isTerminal(stderr)) {
            typed = readRecallingLine(recalled, prompt + u": "_s,
                [this](const QString &text) { m_console.printError(text); });
        } else {
            prompter();
            typed = readLine();
        }
        if (!typed)
            return std::nullopt;
        return typed->isEmpty() ? value : *typed;
    }

    int offerList(const std::vector<ListEntry> &entries, const QString &modifiers)
    {
        QString text;
        for (size_t i = 0; i < entries.size(); ++i) {
            const ListEntry &entry = entries[i];
            text += u"%1. %2"_s.arg(i + 1).arg(printable(entry.title));
            if (entry.subtitle)
                text += u" — "_s + printable(*entry.subtitle);
            text += m_console.styled(u"  (%1)"_s.arg(printable(entry.script)), Style::dim) + u'\n';
        }
        m_console.print(text);
        if (entries.empty() || !isTerminal(stdin) || !isTerminal(stdout))
            return exitSuccess;
        m_console.print(u"Run which one? (1-%1, Enter for none): "_s.arg(entries.size()));
        const std::optional<QString> answer = readLine();
        bool ok = false;
        const qsizetype choice = answer ? answer->trimmed().toLongLong(&ok) : 0;
        if (!ok || choice < 1 || size_t(choice) > entries.size())
            return exitSuccess;
        const ListEntry &entry = entries[size_t(choice - 1)];
        const FileItem *found = scriptOfEntry(m_index.file.entries, entry);
        if (!found) {
            m_console.printError(
                u"runel: %1\n"_s.arg(scriptNotFoundMessage(printable(entry.script))));
            return exitFailure;
        }
        return run(*found, displayName(*found, m_enhanceLabels), entry.arguments, modifiers);
    }

    const Arguments &m_arguments;
    Console &m_console;
    const ScriptIndex &m_index;
    bool m_enhanceLabels;
    NullSystemServices m_services;
    // The run log of this one run; its pending record writes finish before it is destroyed.
    LogStore m_logStore { LogStore::defaultLogDirectory() };
    ScriptExecutionCoordinator m_coordinator;
    std::optional<std::vector<ListEntry>> m_entries;
};

QString reachedScripts(const CommandResolver::ResolveResult &resolved)
{
    QString text;
    for (const auto *list : { &resolved.fullMatches, &resolved.prefixMatches }) {
        for (const SequenceItem *item : *list)
            text += u"  %1  %2  (%3)\n"_s.arg(joinedKeys(item->flatKeys),
                printable(item->displayName), printable(item->file->relativePath));
    }
    return text;
}

int runRun(const Arguments &arguments, Console &console)
{
    const QString keys = arguments.positionals().front();
    if (keys.isEmpty()) {
        console.printError(u"runel: KEYS is empty: give the keys of one script, as 'runel list' "
                           u"shows them (runel run gd).\n"_s);
        return exitUsage;
    }
    const std::optional<QString> modifiers
        = modifierText(arguments.value(u"--modifiers"_s).value_or(QString()));
    if (!modifiers) {
        console.printError(u"runel: --modifiers takes alt, ctrl and shift, joined by \",\".\n"
                           u"Try 'runel run --help'.\n"_s);
        return exitUsage;
    }
    const std::optional<LoadedIndex> loaded = loadIndex(console, arguments.value(u"--dir"_s));
    if (!loaded)
        return exitFailure;
    const CommandResolver::Playback playback
        = CommandResolver::play(keys, loaded->index->sequence.reachableItems);
    const auto &full = playback.resolved.fullMatches;
    if (playback.unknownKey) {
        const QString where = playback.keys.empty()
            ? u"no script's keys start with '%1'"_s.arg(printable(*playback.unknownKey))
            : u"'%1' names nothing after \"%2\""_s.arg(
                printable(*playback.unknownKey), printable(joinedKeys(playback.keys)));
        console.printError(
            u"runel: no script has the keys \"%1\": %2.\n"
            u"See every script's keys with 'runel list'.\n"_s.arg(printable(keys), where));
        return exitFailure;
    }
    if (full.size() != 1) {
        console.printError(
            u"runel: the keys \"%1\" do not name one script; they reach:\n%2"
            u"Type more keys to choose one.\n"_s.arg(
                printable(joinedKeys(playback.keys)), reachedScripts(playback.resolved)));
        return exitFailure;
    }
    const SequenceItem *item = full.front();
    // A reader that went away (runel run KEYS | head -1) stops the pass-through, not runel: the
    // script runs to its end and is logged whole.
    std::signal(SIGPIPE, SIG_IGN);
    // Runs are logged and sound settings are read as in the app.
    ConfigManager config(std::make_unique<SettingsFile>(SettingsFile::defaultPath()));
    Runner runner(arguments, console, *loaded, config);
    return runner.run(*item->file, item->displayName, std::nullopt, *modifiers);
}

} // namespace

Command runCommand()
{
    return {
        u"run"_s,
        u"Run the script that a key sequence names"_s,
        u"KEYS [--modifiers alt,ctrl,shift] [--arg TEXT] [--dir PATH]"_s,
        u"Plays KEYS as a shortcut does and runs the one script they name, with its output\n"
        u"passed through as it arrives; runel then exits with the script's status (128 plus "
        u"the signal\nwhen it was killed). Every run is logged ('runel log').\n\n"
        u"A script that asks for an argument takes --arg, or asks on the terminal. A list "
        u"that a script\nprints is shown numbered; on a terminal you can pick an entry to run.\n"
        u"Keys that name no script, or several, are an error (status 1) that lists what they "
        u"reach."_s,
        { { u"--modifiers"_s, u"LIST"_s,
              u"The held modifier keys the script is told about: alt, ctrl, shift."_s },
            { u"--arg"_s, u"TEXT"_s, u"The argument, for a script that asks for one."_s, true },
            dirOption() },
        { u"KEYS"_s },
        {},
        &runRun,
    };
}

} // namespace runel::cli
