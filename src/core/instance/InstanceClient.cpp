#include "InstanceClient.h"

#include "InstanceSocket.h"
#include "core/SystemError.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace runel {

namespace {

// How long the app may take to acknowledge a command, from the connect on, before the client
// gives up on it: an app busy with other connections leaves the client in its backlog.
constexpr std::chrono::milliseconds replyTimeout { 2000 };

QString systemError()
{
    return systemErrorText(errno);
}

InstanceReply noAnswer()
{
    return { InstanceReply::Status::failed,
        u"the app did not answer within %1 seconds: it may be stuck, or busy with many "
        u"connections. Try again; if it still does not answer, stop it (pkill -x runel-app) "
        u"and start it again with 'runel'."_s.arg(
            std::chrono::duration_cast<std::chrono::seconds>(replyTimeout).count()) };
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    { }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool writeAll(int fd, const QByteArray &data)
{
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t count
            = send(fd, data.constData() + written, size_t(data.size() - written), MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += count;
    }
    return true;
}

} // namespace

InstanceReply sendToInstance(const InstanceRequest &request)
{
    const InstanceFolder folder = instanceFolder(false);
    if (!folder.isUsable()) {
        // A folder that is merely missing means no app has run; a foreign one is a problem.
        // Asked of the one look at it: an app starting meanwhile may make it just after.
        if (folder.missing)
            return { InstanceReply::Status::notRunning, {} };
        return { InstanceReply::Status::failed, folder.error };
    }
    const QString path = folder.socketPath();
    if (const QString problem = socketFileProblem(path); !problem.isEmpty())
        return { InstanceReply::Status::failed, problem };

    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (size_t(native.size()) >= sizeof(address.sun_path)) {
        return { InstanceReply::Status::failed,
            u"the socket path %1 is too long; set XDG_RUNTIME_DIR to a shorter folder"_s.arg(
                path) };
    }
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));

    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0)
        return { InstanceReply::Status::failed, u"cannot make a socket: "_s + systemError() };
    // A blocking connect to a listener whose backlog is full waits for room, and a write for
    // buffer space; the send timeout bounds both (both then fail with EAGAIN).
    const auto deadline = std::chrono::steady_clock::now() + replyTimeout;
    const timeval sendTimeout {
        std::chrono::duration_cast<std::chrono::seconds>(replyTimeout).count(), 0
    };
    setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    if (connect(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        // No socket, or one left behind by an app that ended: nobody is listening.
        if (errno == ENOENT || errno == ECONNREFUSED)
            return { InstanceReply::Status::notRunning, {} };
        if (errno == EAGAIN || errno == EINPROGRESS)
            return noAnswer();
        return { InstanceReply::Status::failed,
            u"cannot reach the app at %1: %2"_s.arg(path, systemError()) };
    }
    if (!writeAll(socket.get(), request.encoded())) {
        if (errno == EAGAIN)
            return noAnswer();
        return { InstanceReply::Status::failed,
            u"the app at %1 closed the connection: %2"_s.arg(path, systemError()) };
    }

    QByteArray reply;
    pollfd waiting { socket.get(), POLLIN, 0 };
    while (!reply.contains('\n')) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int ready = left.count() > 0 ? poll(&waiting, 1, int(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return noAnswer();
        char buffer[256];
        const ssize_t count = ready > 0 ? read(socket.get(), buffer, sizeof buffer) : -1;
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        reply.append(buffer, count);
    }
    if (reply.startsWith("ok\n"))
        return { InstanceReply::Status::delivered, {} };
    const QString said = QString::fromUtf8(reply).trimmed();
    // What an app answers to a command it does not know: one older than this client.
    if (said == u"this app does not know that command"_s) {
        return { InstanceReply::Status::failed,
            u"the running app does not know the command '%1': it is older than this runel. "
            u"Quit it (runel quit) and start it again (runel)."_s.arg(
                instanceCommandName(request.command)) };
    }
    return { InstanceReply::Status::failed,
        said.isEmpty() ? u"the app ended before it answered"_s : said };
}

} // namespace runel
