#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

namespace runel::gui {

// One client's connection to the running app: an accepted socket, read whenever it becomes
// readable, until it is closed. Owns its descriptor. Main thread.
class InstanceConnection : public QObject {
    Q_OBJECT
public:
    // Takes fd (non-blocking). Keeps at most limit + 1 bytes of what the client sends: one more
    // than a request may have, so that the reader can tell a client that sends too much.
    InstanceConnection(int fd, qsizetype limit, QObject *parent);
    ~InstanceConnection() override; // closes the socket if still open

    // What the client has sent so far.
    const QByteArray &received() const { return m_received; }
    // Writes what the socket takes now: an answer of a few bytes to a socket nothing has been
    // written to always fits its buffer.
    void send(QByteArrayView data);
    // Closes the socket; nothing is signalled afterwards. The client reads what was sent.
    void close();

Q_SIGNALS:
    void receivedMore();
    // The client closed its end (after anything it sent was signalled), or the socket failed.
    void ended();

private:
    void readAvailable();

    int m_fd;
    qsizetype m_limit;
    QSocketNotifier m_notifier;
    QByteArray m_received;
};

} // namespace runel::gui
