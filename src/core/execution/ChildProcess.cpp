#include "ChildProcess.h"

#include "core/SystemError.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace runel {

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

namespace {

// Keeps the pipe's ends clear of 0, 1 and 2: when the application runs with one of those
// closed, a pipe end could take its number, and duplicating it onto itself in the child would
// leave it marked close-on-exec.
bool makePipe(UniqueFd &readEnd, UniqueFd &writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    for (UniqueFd *end : { &readEnd, &writeEnd }) {
        if (end->get() > STDERR_FILENO)
            continue;
        const int moved = ::fcntl(end->get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        if (moved < 0)
            return false;
        end->reset(moved);
    }
    return true;
}

// Gives the terminal's foreground to group. SIGTTOU is blocked around it on this thread: a
// process outside the foreground group may then change it instead of being stopped.
bool giveTerminal(int terminal, pid_t group)
{
    sigset_t ttou;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &ttou, &previous);
    const bool given = ::tcsetpgrp(terminal, group) == 0;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return given;
}

// posix_spawn's attribute and file-action objects, destroyed with the scope.
struct SpawnObjects {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    SpawnObjects()
    {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnObjects()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnObjects(const SpawnObjects &) = delete;
    SpawnObjects &operator=(const SpawnObjects &) = delete;
};

// Spawns the process; its pid, or 0 with launch.error set. launch gets the pipes' read ends.
pid_t spawn(const ProcessSetup &setup, ChildProcess::Launch &launch)
{
    UniqueFd outWrite;
    UniqueFd errWrite;
    if (!makePipe(launch.standardOutput, outWrite) || !makePipe(launch.standardError, errWrite)) {
        launch.error = systemErrorText(errno);
        launch.standardOutput.reset();
        launch.standardError.reset();
        return 0;
    }

    const QByteArray executable = QFile::encodeName(setup.executable);
    const QByteArray directory = QFile::encodeName(setup.workingDirectory);
    std::vector<QByteArray> arguments { executable };
    for (const QString &argument : setup.arguments)
        arguments.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    SpawnObjects spawn;
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t allSignals;
    sigfillset(&allSignals);
    posix_spawnattr_setflags(
        &spawn.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&spawn.attributes, 0);
    posix_spawnattr_setsigmask(&spawn.attributes, &noSignals);
    posix_spawnattr_setsigdefault(&spawn.attributes, &allSignals);
    posix_spawn_file_actions_addchdir_np(&spawn.actions, directory.constData());
    posix_spawn_file_actions_adddup2(&spawn.actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&spawn.actions, errWrite.get(), STDERR_FILENO);

    std::vector<char *> envp;
    if (setup.environment) {
        for (const QByteArray &entry : *setup.environment)
            envp.push_back(const_cast<char *>(entry.constData()));
        envp.push_back(nullptr);
    }

    pid_t pid = 0;
    const int result = ::posix_spawn(&pid, executable.constData(), &spawn.actions,
        &spawn.attributes, argv.data(), setup.environment ? envp.data() : environ);
    if (result != 0) {
        launch.error = systemErrorText(result);
        launch.standardOutput.reset();
        launch.standardError.reset();
        return 0;
    }
    return pid;
}

} // namespace

std::vector<QByteArray> currentEnvironment()
{
    std::vector<QByteArray> entries;
    for (char **entry = environ; *entry; ++entry)
        entries.emplace_back(*entry);
    return entries;
}

std::pair<std::shared_ptr<ChildProcess>, ChildProcess::Launch> ChildProcess::launch(
    const ProcessSetup &setup)
{
    auto process = std::make_shared<ChildProcess>();
    Launch launch = process->start(setup);
    return { std::move(process), std::move(launch) };
}

ChildProcess::Launch ChildProcess::start(const ProcessSetup &setup)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_state != State::notStarted)
            return { {}, {}, systemErrorText(EALREADY) };
        m_state = State::starting;
    }
    Launch launch;
    const pid_t pid = spawn(setup, launch);

    std::lock_guard lock(m_mutex);
    if (pid <= 0) {
        m_state = State::failed;
        return launch;
    }
    m_pid = pid;
    m_state = State::running;
    if (setup.foregroundTerminal >= 0 && giveTerminal(setup.foregroundTerminal, pid)) {
        m_terminal = setup.foregroundTerminal;
        // The script may have read the terminal before it was its own, and stopped then.
        ::kill(-m_pid, SIGCONT);
    }
    if (m_pendingSignal != 0)
        ::kill(-m_pid, m_pendingSignal);
    return launch;
}

pid_t ChildProcess::pid() const
{
    std::lock_guard lock(m_mutex);
    return m_pid;
}

bool ChildProcess::signalGroup(int signal)
{
    std::lock_guard lock(m_mutex);
    switch (m_state) {
    case State::notStarted:
    case State::starting:
        if (signal != 0)
            m_pendingSignal = signal;
        return true;
    case State::running:
        // The process leads its own group, so the group's id is its id. Until it is reaped it
        // is at least a zombie, and neither id can be given to another process.
        return ::kill(-m_pid, signal) == 0;
    case State::reaped:
    case State::failed:
        return false;
    }
    return false;
}

Termination ChildProcess::waitForExit()
{
    const pid_t pid = this->pid();
    if (pid <= 0)
        return { false, -1 }; // never started
    // Wait without reaping, so that the lock is taken only around the reaping itself:
    // signalGroup never waits for the process to end.
    siginfo_t info;
    for (;;) {
        std::memset(&info, 0, sizeof info);
        if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) == 0 || errno != EINTR)
            break;
    }

    std::lock_guard lock(m_mutex);
    int status = 0;
    pid_t reaped;
    do
        reaped = ::waitpid(pid, &status, 0);
    while (reaped < 0 && errno == EINTR);
    m_state = State::reaped;
    if (m_terminal >= 0 && ::tcgetpgrp(m_terminal) == pid)
        giveTerminal(m_terminal, ::getpgrp());
    if (reaped < 0)
        return { false, -1 }; // reaped elsewhere (SIGCHLD ignored): the status is lost
    if (WIFSIGNALED(status))
        return { true, WTERMSIG(status) };
    return { false, WEXITSTATUS(status) };
}

bool ChildProcess::terminate()
{
    if (!signalGroup(SIGTERM))
        return false;
    std::lock_guard lock(m_mutex);
    m_terminated = true;
    return true;
}

bool ChildProcess::wasTerminated() const
{
    std::lock_guard lock(m_mutex);
    return m_terminated;
}

bool ChildProcess::isReaped() const
{
    std::lock_guard lock(m_mutex);
    return m_state == State::reaped;
}

} // namespace runel
