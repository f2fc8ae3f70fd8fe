#include "LateOutputCopier.h"

#include "core/AtomicFile.h"

#include <QFile>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace runel::LateOutputCopier {

namespace {

// Where the copier finds what it is handed.
enum Slot : int { outSlot = 3, errSlot, logSlot, passOutSlot, passErrSlot, slotEnd };

} // namespace

bool start(const QString &program, const Streams &streams)
{
    const std::array<int, 5> given { streams.standardOutput, streams.standardError, streams.logFile,
        streams.passOutput, streams.passError };
    // Copies above every slot number first: a given descriptor may itself be 3 to 7, and one
    // slot's dup2 must not overwrite another's source. Closed again when this returns.
    std::array<UniqueFd, 5> sources;
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i] >= 0)
            sources[i].reset(::fcntl(given[i], F_DUPFD_CLOEXEC, int(slotEnd) + 10));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].isValid())
            posix_spawn_file_actions_adddup2(&actions, sources[i].get(), int(outSlot + i));
    }
    // Standard input and output of its own: it must hold no terminal or pipe of the caller's
    // except the ones it copies to.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t allSignals;
    sigfillset(&allSignals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &allSignals);

    QByteArray path = QFile::encodeName(program);
    QByteArray argument(copierArgument);
    std::array<char *, 3> argv { path.data(), argument.data(), nullptr };
    pid_t pid = 0;
    const int result
        = ::posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0)
        return false;
    // The copier forks at once and this first process exits: reaped here, so the copier is
    // nobody's child to wait for.
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int run()
{
    // Detached: the first process exits for the one that started it, the second copies in a
    // session of its own, so no terminal's hang-up or Control-C reaches it.
    const pid_t child = ::fork();
    if (child < 0)
        return 1;
    if (child > 0)
        return 0;
    ::setsid();
    std::signal(SIGPIPE, SIG_IGN); // a closed pass-through gives EPIPE, and is given up
    std::signal(SIGHUP, SIG_IGN);
    // Nothing but the slots: a descriptor inherited by mistake (a lock, a socket) must not be
    // held for as long as the jobs live.
    ::syscall(SYS_close_range, unsigned(slotEnd), ~0U, 0U);

    bool logOpen = ::fcntl(logSlot, F_GETFD) >= 0;
    std::array<bool, 2> passOpen { ::fcntl(passOutSlot, F_GETFD) >= 0,
        ::fcntl(passErrSlot, F_GETFD) >= 0 };
    std::array<pollfd, 2> pipes { pollfd { outSlot, POLLIN, 0 }, pollfd { errSlot, POLLIN, 0 } };
    for (pollfd &pipe : pipes) {
        if (::fcntl(pipe.fd, F_GETFD) < 0)
            pipe.fd = -1;
    }
    static char buffer[64 * 1024];
    while (pipes[0].fd >= 0 || pipes[1].fd >= 0) {
        if (::poll(pipes.data(), pipes.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        for (std::size_t i = 0; i < pipes.size(); ++i) {
            if (pipes[i].fd < 0 || pipes[i].revents == 0)
                continue;
            const ssize_t count = ::read(pipes[i].fd, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0) {
                ::close(pipes[i].fd);
                pipes[i].fd = -1;
                continue;
            }
            if (logOpen)
                logOpen = writeAll(logSlot, buffer, std::size_t(count));
            const int pass = i == 0 ? passOutSlot : passErrSlot;
            if (passOpen[i])
                passOpen[i] = writeAll(pass, buffer, std::size_t(count));
        }
    }
    return 0;
}

} // namespace runel::LateOutputCopier
