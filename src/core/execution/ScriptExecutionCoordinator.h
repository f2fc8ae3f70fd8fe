#pragma once

#include "ChildProcess.h"
#include "FileExecutor.h"
#include "ListEntry.h"
#include "core/index/FileItem.h"
#include "core/log/LogRun.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace runel {

class ConfigManager;
class LogStore;
class SystemServices;

// Runs the scripts a HUD chooses, one child process per run, logs every run and reports how
// foreground runs end. One per HUD view model; lives on the main thread.
//
// A run never keeps its coordinator alive. Each run holds its own log run, preview and last
// line; when the coordinator is gone by the time the run ends, the run's outcome is still
// written to its log record, and only the events (and a foreground run's sounds) are left out.
// The ConfigManager is checked for being gone; the SystemServices must outlive every run.
class ScriptExecutionCoordinator : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasRunningProcess READ hasRunningProcess NOTIFY runningProcessChanged)

public:
    // What a foreground run reports, in the order a run can report it: lines while it runs,
    // then exactly one of the other four.
    struct Event {
        enum class Kind { foregroundOutput, showingList, failed, succeeded, cancelled };
        Kind kind = Kind::succeeded;
        QString line; // foregroundOutput: the line as printed, decoded
        QString displayName; // showingList
        std::vector<ListEntry> entries; // showingList
        QString message; // failed

        static Event foregroundOutput(QString line);
        static Event showingList(QString displayName, std::vector<ListEntry> entries);
        static Event failed(QString message);
        static Event succeeded() { return {}; }
        static Event cancelled();
        bool operator==(const Event &) const = default;
    };
    using EventHandler = std::function<void(const Event &)>;

    // How one run ended, for whoever started it (the command line).
    struct RunResult {
        RunExitStatus status = RunExitStatus::failure; // as logged
        std::optional<Termination> termination; // absent when the launch failed
        QString launchError; // the system's words, when the launch failed
        LogRunPtr logRun;

        // As a shell reports it: the exit code, 128 plus the signal, or 127 when the script
        // could not be started.
        int shellStatus() const { return termination ? termination->shellStatus() : 127; }
    };

    // Optional extras of one run.
    struct RunHooks {
        // Each chunk of standard output, or of standard error, as it is read: on that stream's
        // reader thread, one call at a time per stream, before the chunk reaches the log. The
        // script waits while a call blocks, so keep them short (a write to a terminal).
        FileExecutor::ChunkHandler standardOutput;
        FileExecutor::ChunkHandler standardError;
        // Main thread, once, when the run has ended (or failed to start): after its log run is
        // finished and its final event sent. Called also when the coordinator is gone.
        std::function<void(const RunResult &)> finished;
        // Main thread, once, after finished: the script's pipes have been read to their end. A
        // job the script left running may hold them long after the run's outcome; its output
        // goes on to the log (and the pass-through) until then.
        std::function<void()> outputEnded;
        // A terminal (file descriptor) whose foreground the script's process group takes while
        // it runs.
        std::optional<int> foregroundTerminal;
        // Where the output printed after the outcome goes besides the log, as it is (no
        // standardOutput call sees it): runel's own standard output and error. Absent: nowhere.
        std::optional<int> lateOutput;
        std::optional<int> lateError;
    };

    ScriptExecutionCoordinator(ConfigManager &configManager, LogStore &logStore,
        SystemServices &services, QObject *parent = nullptr);
    ~ScriptExecutionCoordinator() override;

    // Replaces the handler of events (main thread; the handler may delete the coordinator).
    // The initial one does nothing.
    void setOnEvent(EventHandler handler);

    // Starts file and returns at once. A foreground run sends foregroundOutput for the lines
    // worth showing, then showingList, failed, succeeded or cancelled, and plays the outcome's
    // sound; a background run sends nothing and plays a sound only when it succeeds. arguments
    // follow the modifier text (empty when no modifier key is held) on the command line.
    void runForeground(const FileItem &file, const QString &displayName,
        const QStringList &arguments, const QString &modifiers, RunHooks hooks = {});
    void runBackground(const FileItem &file, const QString &displayName,
        const QStringList &arguments, const QString &modifiers, RunHooks hooks = {});

    // The process of the most recently started run, from the run call (it may still be
    // starting) until that run has ended; null otherwise.
    const std::shared_ptr<ChildProcess> &runningProcess() const { return m_runningProcess; }
    bool hasRunningProcess() const { return m_runningProcess != nullptr; }
    // Asks that process (and whatever it started) to terminate, at once or as soon as it has
    // started, and kills its group when it is still there ChildProcess::terminateGraceMs later;
    // false when there is none, or it has already ended. Its run ends as cancelled, however the
    // script exits.
    bool cancelRunningProcess();

    // The runel program that copies, in a process of its own, what a script's jobs print after
    // the run has its outcome (LateOutputCopier). Set once, by main(), before any run; while
    // it is empty, this process reads such output itself until the jobs close their pipes.
    static void setLateOutputCopier(const QString &runelProgram);

    // The interpreter, argument vector, folder and environment (the application's, as it is
    // now) a script is started with.
    static ProcessSetup processSetup(
        const FileItem &file, const QStringList &arguments, const QString &modifiers);

Q_SIGNALS:
    void runningProcessChanged();

private:
    struct Run;

    void sendEvent(const Event &event);
    void setRunningProcess(std::shared_ptr<ChildProcess> process);
    // Clears the slot when it still holds process: the end of an older run leaves a newer
    // run's process in place.
    void clearRunningProcess(const std::shared_ptr<ChildProcess> &process);
    void start(const std::shared_ptr<Run> &run, const FileItem &file, const QString &displayName,
        const QStringList &arguments, const QString &modifiers, RunHooks hooks);
    static void complete(
        const std::shared_ptr<Run> &run, const FileExecutor::ExecutionResult &result);
    // A foreground run's event and built-in sound (empty: none) for how it ended.
    static std::pair<Event, QString> foregroundOutcome(
        const Run &run, const FileExecutor::ExecutionResult &result);

    ConfigManager &m_configManager;
    LogStore &m_logStore;
    SystemServices &m_services;
    EventHandler m_onEvent = [](const Event &) {};
    std::shared_ptr<ChildProcess> m_runningProcess;
};

} // namespace runel
