#include "InstanceConnection.h"

#include <QPointer>
#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace runel::gui {

InstanceConnection::InstanceConnection(int fd, qsizetype limit, QObject *parent)
    : QObject(parent)
    , m_fd(fd)
    , m_limit(limit)
    , m_notifier(fd, QSocketNotifier::Read)
{
    // What was sent before the accept is read on the next turn of the event loop.
    connect(&m_notifier, &QSocketNotifier::activated, this, &InstanceConnection::readAvailable);
}

InstanceConnection::~InstanceConnection()
{
    close();
}

void InstanceConnection::close()
{
    if (m_fd < 0)
        return;
    m_notifier.setEnabled(false);
    ::close(m_fd);
    m_fd = -1;
}

void InstanceConnection::send(QByteArrayView data)
{
    qsizetype sent = 0;
    while (m_fd >= 0 && sent < data.size()) {
        const ssize_t written
            = ::send(m_fd, data.data() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
        if (written > 0)
            sent += written;
        else if (written < 0 && errno != EINTR)
            return; // the client has gone, or would only take it later: it hears nothing
    }
}

void InstanceConnection::readAvailable()
{
    bool clientGone = false;
    const qsizetype before = m_received.size();
    char buffer[4096];
    while (m_fd >= 0 && m_received.size() <= m_limit) {
        const ssize_t count = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (count > 0) {
            m_received.append(buffer, qsizetype(count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // Nothing more for now; else the client closed its end, or the socket failed.
        clientGone = !(count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
        break;
    }
    m_received.truncate(std::min(m_received.size(), m_limit + 1));
    if (m_received.size() > m_limit)
        m_notifier.setEnabled(false); // the reader closes it: no use reading on
    // A receiver may close and delete this connection on either signal.
    QPointer<InstanceConnection> self(this);
    if (m_received.size() != before)
        Q_EMIT receivedMore();
    if (self && clientGone && m_fd >= 0)
        Q_EMIT ended();
}

} // namespace runel::gui
