#include "ScriptExecutionCoordinator.h"

#include "HudLinePreview.h"
#include "LastStdoutLine.h"
#include "LateOutputCopier.h"
#include "SoundRule.h"
#include "core/SystemServices.h"
#include "core/log/LogFileWriter.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <condition_variable>
#include <csignal>
#include <mutex>

namespace runel {

namespace {

RunExitStatus logStatusFor(const std::optional<Termination> &termination, bool terminated)
{
    if (!termination)
        return RunExitStatus::failure;
    // A script that handles SIGTERM may exit with any code: the user stopped it all the same.
    if (termination->signalled || terminated)
        return RunExitStatus::cancelled;
    return termination->code == 0 ? RunExitStatus::success : RunExitStatus::failure;
}

// Empty lines and what looks like the start of a printed list are not shown while the run goes
// on: the list is judged once the run has ended.
bool isShownLine(const QString &line)
{
    return !line.isEmpty() && !line.trimmed().startsWith(QLatin1Char('['));
}

// The run's output file, handed from the main thread to the readers. The script is started
// before the log run is opened, so that opening it overlaps the script's start-up; output
// read before then waits here (and in the pipe behind it).
class WriterGate {
public:
    void open(std::shared_ptr<LogFileWriter> writer)
    {
        std::lock_guard lock(m_mutex);
        m_writer = std::move(writer);
        m_isOpen = true;
        m_opened.notify_all();
    }
    std::shared_ptr<LogFileWriter> wait()
    {
        std::unique_lock lock(m_mutex);
        m_opened.wait(lock, [this] { return m_isOpen; });
        return m_writer;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_isOpen = false; // guarded by m_mutex
    std::shared_ptr<LogFileWriter> m_writer; // guarded by m_mutex
};

// One reader's way into the log: the pass-through first, then the output file.
class LogAppender {
public:
    LogAppender(std::shared_ptr<WriterGate> gate, FileExecutor::ChunkHandler passThrough)
        : m_gate(std::move(gate))
        , m_passThrough(std::move(passThrough))
    { }

    void operator()(const char *data, std::size_t size)
    {
        if (m_passThrough)
            m_passThrough(data, size);
        if (!m_hasWaited) {
            m_writer = m_gate->wait();
            m_hasWaited = true;
        }
        if (m_writer)
            m_writer->write(data, size);
    }

private:
    std::shared_ptr<WriterGate> m_gate;
    FileExecutor::ChunkHandler m_passThrough;
    std::shared_ptr<LogFileWriter> m_writer; // once the gate has opened
    bool m_hasWaited = false;
};

QString &lateOutputCopier()
{
    static QString program;
    return program;
}

} // namespace

void ScriptExecutionCoordinator::setLateOutputCopier(const QString &runelProgram)
{
    lateOutputCopier() = runelProgram;
}

// What one run's completion needs. Made and read on the main thread; the readers get only the
// pieces they feed.
struct ScriptExecutionCoordinator::Run {
    bool isForeground = false;
    QPointer<ScriptExecutionCoordinator> coordinator;
    QPointer<ConfigManager> configManager;
    SystemServices *services = nullptr;
    std::shared_ptr<ChildProcess> process;
    LogRunPtr logRun;
    QString displayName;
    // Foreground runs only: fed by the standard-output reader until the outcome is taken.
    std::shared_ptr<HudLinePreview> preview;
    std::shared_ptr<LastStdoutLine> lastLine;
    std::function<void(const RunResult &)> finished;
};

ScriptExecutionCoordinator::Event ScriptExecutionCoordinator::Event::foregroundOutput(QString line)
{
    Event event;
    event.kind = Kind::foregroundOutput;
    event.line = std::move(line);
    return event;
}

ScriptExecutionCoordinator::Event ScriptExecutionCoordinator::Event::showingList(
    QString displayName, std::vector<ListEntry> entries)
{
    Event event;
    event.kind = Kind::showingList;
    event.displayName = std::move(displayName);
    event.entries = std::move(entries);
    return event;
}

ScriptExecutionCoordinator::Event ScriptExecutionCoordinator::Event::failed(QString message)
{
    Event event;
    event.kind = Kind::failed;
    event.message = std::move(message);
    return event;
}

ScriptExecutionCoordinator::Event ScriptExecutionCoordinator::Event::cancelled()
{
    Event event;
    event.kind = Kind::cancelled;
    return event;
}

ScriptExecutionCoordinator::ScriptExecutionCoordinator(
    ConfigManager &configManager, LogStore &logStore, SystemServices &services, QObject *parent)
    : QObject(parent)
    , m_configManager(configManager)
    , m_logStore(logStore)
    , m_services(services)
{ }

// Runs in progress go on; see the class comment.
ScriptExecutionCoordinator::~ScriptExecutionCoordinator() = default;

void ScriptExecutionCoordinator::setOnEvent(EventHandler handler)
{
    m_onEvent = handler ? std::move(handler) : [](const Event &) {};
}

ProcessSetup ScriptExecutionCoordinator::processSetup(
    const FileItem &file, const QStringList &arguments, const QString &modifiers)
{
    const QFileInfo info(file.path);
    ProcessSetup setup;
    setup.executable = file.scriptType == ScriptType::appleScript
        ? QStringLiteral("/usr/bin/osascript")
        : QStringLiteral("/bin/bash");
    setup.arguments = QStringList { info.absoluteFilePath(), modifiers } + arguments;
    setup.workingDirectory = info.absolutePath();
    setup.environment = currentEnvironment();
    return setup;
}

void ScriptExecutionCoordinator::runForeground(const FileItem &file, const QString &displayName,
    const QStringList &arguments, const QString &modifiers, RunHooks hooks)
{
    auto run = std::make_shared<Run>();
    run->isForeground = true;
    run->preview = std::make_shared<HudLinePreview>(
        [coordinator = QPointer<ScriptExecutionCoordinator>(this)](const QString &line) {
            if (coordinator && isShownLine(line))
                coordinator->sendEvent(Event::foregroundOutput(line));
        });
    run->lastLine = std::make_shared<LastStdoutLine>();
    start(run, file, displayName, arguments, modifiers, std::move(hooks));
}

void ScriptExecutionCoordinator::runBackground(const FileItem &file, const QString &displayName,
    const QStringList &arguments, const QString &modifiers, RunHooks hooks)
{
    start(std::make_shared<Run>(), file, displayName, arguments, modifiers, std::move(hooks));
}

void ScriptExecutionCoordinator::start(const std::shared_ptr<Run> &run, const FileItem &file,
    const QString &displayName, const QStringList &arguments, const QString &modifiers,
    RunHooks hooks)
{
    run->coordinator = this;
    run->configManager = &m_configManager;
    run->services = &m_services;
    run->process = std::make_shared<ChildProcess>();
    run->displayName = displayName;
    run->finished = std::move(hooks.finished);

    auto gate = std::make_shared<WriterGate>();
    FileExecutor::Handlers handlers;
    handlers.standardOutput = LogAppender { gate, std::move(hooks.standardOutput) };
    handlers.standardError = LogAppender { gate, std::move(hooks.standardError) };
    if (run->isForeground) {
        handlers.standardOutputUntilOutcome = [preview = run->preview, lastLine = run->lastLine](
                                                  const char *data, std::size_t size) {
            preview->consume(data, size);
            lastLine->consume(data, size);
        };
    }
    handlers.completion
        = [run](const FileExecutor::ExecutionResult &result) { complete(run, result); };
    // The output of a job the script left running ends up in the log; then the file is closed.
    handlers.outputEnded = [gate, outputEnded = std::move(hooks.outputEnded)] {
        if (const std::shared_ptr<LogFileWriter> writer = gate->wait())
            writer->close();
        if (outputEnded)
            outputEnded();
    };
    if (!lateOutputCopier().isEmpty()) {
        handlers.lateOutput
            = [gate, program = lateOutputCopier(), passOutput = hooks.lateOutput.value_or(-1),
                  passError = hooks.lateError.value_or(-1)](int standardOutput, int standardError) {
                  const std::shared_ptr<LogFileWriter> writer = gate->wait();
                  const UniqueFd log(writer ? writer->duplicate() : -1);
                  return LateOutputCopier::start(
                      program, { standardOutput, standardError, log.get(), passOutput, passError });
              };
    }
    ProcessSetup setup = processSetup(file, arguments, modifiers);
    setup.foregroundTerminal = hooks.foregroundTerminal.value_or(-1);
    FileExecutor::execute(run->process, std::move(setup), std::move(handlers));
    setRunningProcess(run->process);
    // The record keeps the arguments for the prompt to offer again, unless the script keeps its
    // argument secret: then no file of the log may hold them (whatever runs it, list or prompt).
    const bool secret = file.metadata.argument && file.metadata.argument->secret;
    run->logRun = m_logStore.startRun(
        displayName, file.standardizedPath(), secret ? QStringList() : arguments);
    gate->open(run->logRun->writer());
}

// Runs when the process has ended and its output with it (or the grace time has passed), and
// also when the coordinator is gone: the outcome is logged either way.
void ScriptExecutionCoordinator::complete(
    const std::shared_ptr<Run> &run, const FileExecutor::ExecutionResult &result)
{
    RunResult outcome;
    outcome.logRun = run->logRun;
    outcome.termination = result.termination;
    outcome.launchError = result.launchError;
    if (run->isForeground && result.termination) {
        // The reader no longer feeds the preview: its last line, and a line still waiting for
        // the main thread, reach the HUD before the outcome does.
        if (run->preview->hasPendingBytes())
            run->preview->finishLine();
        run->preview->dispatcher()->drain();
    }
    outcome.status = logStatusFor(outcome.termination, run->process->wasTerminated());
    run->logRun->finish(outcome.status, result.outputEnded);

    QString builtInSound; // empty: none
    QString setting;
    if (QPointer<ScriptExecutionCoordinator> coordinator = run->coordinator) {
        coordinator->clearRunningProcess(run->process);
        if (run->isForeground) {
            auto [event, sound] = foregroundOutcome(*run, result);
            builtInSound = sound;
            coordinator->sendEvent(event);
        }
    }
    // The HUD closes as a background run starts, and its coordinator usually goes with it: the
    // success sound is all the user hears of the run, so it plays either way.
    if (!run->isForeground && outcome.status == RunExitStatus::success)
        builtInSound = BuiltInSound::success;
    // The event's handler may have deleted the coordinator; the sound still plays, with the
    // setting as it is now.
    if (ConfigManager *config = run->configManager.data(); config && !builtInSound.isEmpty()) {
        if (!run->isForeground)
            setting = config->backgroundSuccessSound();
        else if (builtInSound == BuiltInSound::failure)
            setting = config->failureSound();
        else
            setting = config->successSound();
        playSoundForSetting(*run->services, setting, builtInSound);
    }
    if (run->finished)
        run->finished(outcome);
}

std::pair<ScriptExecutionCoordinator::Event, QString> ScriptExecutionCoordinator::foregroundOutcome(
    const Run &run, const FileExecutor::ExecutionResult &result)
{
    if (!result.termination)
        return { Event::failed(result.launchError), BuiltInSound::failure };
    if (result.termination->signalled || run.process->wasTerminated())
        return { Event::cancelled(), {} };
    if (result.termination->code != 0)
        return { Event::failed(run.displayName + QStringLiteral(" exited with code ")
                     + QString::number(result.termination->code)),
            BuiltInSound::failure };
    const std::optional<QByteArray> lastLine = run.lastLine->lastLineData();
    std::optional<std::vector<ListEntry>> entries;
    if (lastLine && !lastLine->isEmpty())
        entries = decodeListEntries(
            std::string_view(lastLine->constData(), std::size_t(lastLine->size())));
    if (entries)
        return { Event::showingList(run.displayName, std::move(*entries)), {} };
    return { Event::succeeded(), BuiltInSound::success };
}

bool ScriptExecutionCoordinator::cancelRunningProcess()
{
    const std::shared_ptr<ChildProcess> process = m_runningProcess;
    if (!process || !process->terminate())
        return false;
    // A script that ignores SIGTERM must not hold the HUD: its group is killed after the grace
    // time. The timer keeps the process object (not the coordinator, which may go first); a
    // process reaped by then takes no signal.
    QTimer::singleShot(ChildProcess::terminateGraceMs, QCoreApplication::instance(),
        [process] { process->killAfterGrace(); });
    return true;
}

void ScriptExecutionCoordinator::sendEvent(const Event &event)
{
    // A copy: the handler may replace itself or delete the coordinator.
    const EventHandler handler = m_onEvent;
    handler(event);
}

void ScriptExecutionCoordinator::setRunningProcess(std::shared_ptr<ChildProcess> process)
{
    if (m_runningProcess == process)
        return;
    m_runningProcess = std::move(process);
    Q_EMIT runningProcessChanged();
}

void ScriptExecutionCoordinator::clearRunningProcess(const std::shared_ptr<ChildProcess> &process)
{
    if (m_runningProcess == process)
        setRunningProcess(nullptr);
}

} // namespace runel
