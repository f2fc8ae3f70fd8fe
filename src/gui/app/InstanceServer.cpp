#include "InstanceServer.h"

#include "InstanceConnection.h"

#include "core/SystemError.h"
#include "core/instance/InstanceClient.h"
#include "core/instance/InstanceSocket.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

Q_LOGGING_CATEGORY(lcInstance, "runel.instance")

// A request is a few short lines; anything longer is not a client of ours.
constexpr qsizetype maximumRequestSize = 16 * 1024;
// How long a starting app waits for a running one that is on its way out to let go.
constexpr std::chrono::milliseconds otherAppWait { 2000 };
// After an accept failed for want of descriptors or memory.
constexpr int acceptRetryMs = 250;

} // namespace

InstanceServer::InstanceServer(QObject *parent)
    : QObject(parent)
    , m_acceptRetry(new QTimer(this))
{
    m_acceptRetry->setSingleShot(true);
    m_acceptRetry->setInterval(acceptRetryMs);
    connect(m_acceptRetry, &QTimer::timeout, this, &InstanceServer::acceptConnections);
}

InstanceServer::~InstanceServer()
{
    // The socket file goes before the lock, so the next app never finds this one's file.
    stopListening();
}

InstanceServer::Start InstanceServer::listen(const InstanceRequest &request)
{
    const InstanceFolder folder = instanceFolder(true);
    if (!folder.isUsable())
        return { Outcome::failed, folder.error };
    m_socketPath = folder.socketPath();
    if (const QString problem = socketFileProblem(m_socketPath); !problem.isEmpty())
        return { Outcome::failed, problem };

    // Probing, clearing and claiming the socket is one step among starting apps: only the
    // holder of the start lock takes it. The app lock is held for the app's life, so whoever
    // holds the start lock and finds the app lock taken knows that an app listens (or has just
    // stopped listening on its way out).
    const QString startLockPath = folder.path + u"/start.lock"_s;
    const QString appLockPath = folder.path + u"/app.lock"_s;
    const auto deadline = std::chrono::steady_clock::now() + otherAppWait;
    for (;;) {
        InstanceLock starting;
        if (starting.take(startLockPath, InstanceLock::Wait::untilFree)
            == InstanceLock::Take::failed)
            return { Outcome::failed, starting.error() };
        switch (m_appLock.take(appLockPath, InstanceLock::Wait::no)) {
        case InstanceLock::Take::held:
            return claimSocket(request);
        case InstanceLock::Take::failed:
            return { Outcome::failed, m_appLock.error() };
        case InstanceLock::Take::busy:
            break;
        }
        starting.release();
        const InstanceReply reply = sendToInstance(request);
        if (reply.status == InstanceReply::Status::delivered)
            return { Outcome::otherInstance, {} };
        if (reply.status == InstanceReply::Status::failed)
            return { Outcome::failed, reply.error };
        if (std::chrono::steady_clock::now() >= deadline) {
            return { Outcome::failed,
                u"another Runel app is running (it holds %1) but takes no commands; it may be "
                u"quitting or stuck. Try again in a moment; if this goes on, stop it "
                u"(pkill -x runel-app)."_s.arg(appLockPath) };
        }
        // That app has closed its socket and is ending: its lock goes with its process.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Called holding both locks.
InstanceServer::Start InstanceServer::claimSocket(const InstanceRequest &request)
{
    // Only an app of a Runel that takes no lock can still answer here.
    const InstanceReply probe = sendToInstance(request);
    if (probe.status == InstanceReply::Status::delivered) {
        m_appLock.release();
        return { Outcome::otherInstance, {} };
    }

    const QByteArray native = QFile::encodeName(m_socketPath);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (size_t(native.size()) >= sizeof(address.sun_path)) {
        m_appLock.release();
        return { Outcome::failed,
            u"the socket path %1 is too long; set XDG_RUNTIME_DIR to a shorter folder"_s.arg(
                m_socketPath) };
    }
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));

    // What is left there belongs to an app that ended.
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const bool listening = fd >= 0 && (unlink(native.constData()) == 0 || errno == ENOENT)
        && bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
        && chmod(native.constData(), 0600) == 0 && ::listen(fd, SOMAXCONN) == 0;
    if (!listening) {
        const QString error = systemErrorText(errno);
        if (fd >= 0)
            close(fd);
        m_appLock.release();
        return { Outcome::failed,
            u"cannot listen on %1: %2. Check that the folder is yours and writable."_s.arg(
                m_socketPath, error) };
    }
    m_listener = fd;
    m_listenerNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(
        m_listenerNotifier, &QSocketNotifier::activated, this, &InstanceServer::acceptConnections);
    return { Outcome::listening, {} };
}

void InstanceServer::stopListening()
{
    if (m_listener < 0)
        return;
    delete m_listenerNotifier;
    m_listenerNotifier = nullptr;
    m_acceptRetry->stop();
    close(m_listener);
    m_listener = -1;
    // Ours: no other app listens on this path while this one holds the app lock.
    unlink(QFile::encodeName(m_socketPath).constData());
}

void InstanceServer::acceptConnections()
{
    if (m_listener < 0)
        return;
    while (m_connections.size() < maximumConnections) {
        const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                m_acceptFailureLogged = false; // the backlog is drained: that trouble is over
                break;
            }
            // Out of descriptors or memory: the client stays in the backlog. The listener
            // stays readable, so it is left unwatched for a moment rather than spun on.
            if (!m_acceptFailureLogged) {
                qCWarning(lcInstance).noquote()
                    << u"cannot accept a connection on %1: %2. Runel keeps listening and tries "
                       u"again; if this goes on, raise the limit of open files (ulimit -n) or "
                       u"stop the programs that hold connections to it."_s.arg(
                           m_socketPath, systemErrorText(errno));
                m_acceptFailureLogged = true;
            }
            m_listenerNotifier->setEnabled(false);
            m_acceptRetry->start();
            return;
        }
        auto *connection = new InstanceConnection(fd, maximumRequestSize, this);
        m_connections.insert(connection);
        // Closed when it has not sent a whole request in time, so idle clients cannot hold the
        // places of those that wait.
        QTimer::singleShot(
            requestTimeoutMs, connection, [this, connection] { closeConnection(connection); });
        connect(connection, &InstanceConnection::ended, this,
            [this, connection] { closeConnection(connection); });
        connect(connection, &InstanceConnection::receivedMore, this,
            [this, connection] { readRequest(connection); });
    }
    // At the limit the listener is left unwatched: closing a connection watches it again.
    m_listenerNotifier->setEnabled(m_connections.size() < maximumConnections);
}

void InstanceServer::readRequest(InstanceConnection *connection)
{
    // The request is gathered until it is whole.
    if (connection->received().size() > maximumRequestSize) {
        closeConnection(connection);
        return;
    }
    if (!connection->received().endsWith("\n\n"))
        return;
    const std::optional<InstanceRequest> request = InstanceRequest::decode(connection->received());
    // Written and closed now: "quit" ends the event loop before anything later would go out.
    connection->send(request ? "ok\n" : "this app does not know that command\n");
    closeConnection(connection);
    if (request)
        Q_EMIT requestReceived(*request);
}

void InstanceServer::closeConnection(InstanceConnection *connection)
{
    if (!m_connections.remove(connection))
        return;
    connection->disconnect(this);
    connection->close();
    connection->deleteLater();
    if (m_listenerNotifier && !m_acceptRetry->isActive())
        m_listenerNotifier->setEnabled(true);
}

} // namespace runel::gui
