#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <csignal>
#include <memory>
#include <mutex>
#include <sys/types.h>
#include <utility>

namespace runel {

// How a process ended.
struct Termination {
    bool signalled = false; // ended through an uncaught signal
    int code = 0; // the exit code, or the number of that signal

    // As a shell reports it: the exit code, or 128 plus the signal number.
    int shellStatus() const { return signalled ? 128 + code : code; }
    bool operator==(const Termination &) const = default;
};

// What to start: an executable by absolute path (PATH is not searched), the arguments after
// argv[0] (which is the executable), the folder to start it in, and its environment.
struct ProcessSetup {
    QString executable;
    QStringList arguments;
    QString workingDirectory;
    // "NAME=value" entries; absent: the application's environment at the moment of the start.
    std::optional<std::vector<QByteArray>> environment;
    // A terminal (file descriptor) whose foreground the process's group takes while it runs,
    // so that it reads and is interrupted from the terminal as when started from a shell; the
    // caller's group takes it back once the process has been reaped. -1: none.
    int foregroundTerminal = -1;
};

// The application's environment now, as ProcessSetup takes it: a launch on a worker thread
// then neither reads the environment while the main thread changes it nor sees later changes.
std::vector<QByteArray> currentEnvironment();

// A file descriptor with one owner; closed with it.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : m_fd(fd)
    { }
    UniqueFd(UniqueFd &&other) noexcept
        : m_fd(other.release())
    { }
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// One child process, started in a process group of its own so that a signal reaches whatever
// the script started. Made before it is started, so that whoever may cancel it (the
// coordinator's runningProcess) can hold it from the moment the run is asked for; shared with
// the worker thread that starts it and waits for it.
//
// Threads: start and waitForExit belong to the run's launching thread; signalGroup may be
// called on any thread. They share one mutex, so a signal asked for while the process is being
// started is sent as soon as it has started, and no signal is ever sent once it has been
// reaped: from then on its id (and its group's) may name an unrelated process.
class ChildProcess {
public:
    struct Launch {
        UniqueFd standardOutput; // read ends of the child's standard output and error
        UniqueFd standardError;
        QString error; // empty on success; else why the launch failed, in the system's words
    };

    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts the process with posix_spawn (once): standard output and standard error each go to
    // a new pipe, standard input and the environment are inherited, the signal mask is emptied
    // and every signal has its default action. Fails (with the system's description) when the
    // executable or the working folder cannot be used.
    Launch start(const ProcessSetup &setup);
    // A new process, started.
    static std::pair<std::shared_ptr<ChildProcess>, Launch> launch(const ProcessSetup &setup);

    // 0 until started.
    pid_t pid() const;
    // Sends signal to the process's group, or keeps it for the moment the process has started;
    // false when the process has already been reaped or could not be started.
    bool signalGroup(int signal);
    // Blocks until the started process has ended, reaps it and says how it ended. Call once.
    Termination waitForExit();
    bool isReaped() const;

    // Asks the process's group to end: SIGTERM now (or as soon as it has started), and from
    // then on the run counts as cancelled however it ends. killAfterGrace then sends SIGKILL
    // to a group that ignored it. False when there is nothing left to ask.
    bool terminate();
    void killAfterGrace() { signalGroup(SIGKILL); }
    bool wasTerminated() const;
    // How long a group has to end after SIGTERM before it is killed.
    static constexpr int terminateGraceMs = 2000;

private:
    enum class State { notStarted, starting, running, reaped, failed };

    mutable std::mutex m_mutex;
    State m_state = State::notStarted; // the three below are guarded by m_mutex
    pid_t m_pid = 0;
    int m_pendingSignal = 0; // asked for while starting
    int m_terminal = -1; // whose foreground the group holds while running
    bool m_terminated = false; // terminate() was asked for
};

} // namespace runel
