#pragma once

#include "core/instance/InstanceCommand.h"
#include "core/instance/InstanceSocket.h"

#include <QObject>
#include <QSet>

class QSocketNotifier;
class QTimer;

namespace runel::gui {

class InstanceConnection;

// The running app's end of the instance socket: takes requests from "runel" clients, answers
// each with "ok" and hands it on. Main thread.
//
// It holds the instance folder's app lock for its whole life, so one app of this user listens;
// an app started meanwhile hands its request over and ends. No client can stop the listening:
// at most maximumConnections are open at once (the others wait in the kernel's backlog), one
// that has not sent a whole request within requestTimeoutMs is closed, and an accept that fails
// (no descriptors left) is tried again a little later.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    static constexpr int maximumConnections = 64;
    static constexpr int requestTimeoutMs = 2000;

    enum class Outcome { listening, otherInstance, failed };
    struct Start {
        Outcome outcome = Outcome::failed;
        QString error; // for failed, in words for the user
    };

    explicit InstanceServer(QObject *parent = nullptr);
    ~InstanceServer() override;

    // Becomes the one instance of this user. When another app runs, it is handed request and
    // the outcome is otherInstance; a socket left behind by an app that ended is replaced.
    Start listen(const InstanceRequest &request);
    // Takes no more connections and removes the socket file, keeping the app lock: for the
    // app's way out, so that a "runel" started meanwhile waits for this app to end instead of
    // sending into a socket nobody reads.
    void stopListening();
    QString socketPath() const { return m_socketPath; }
    // Connections accepted and not yet closed.
    int openConnections() const { return int(m_connections.size()); }

Q_SIGNALS:
    void requestReceived(const runel::InstanceRequest &request);

private:
    Start claimSocket(const InstanceRequest &request);
    void acceptConnections();
    void readRequest(InstanceConnection *connection);
    void closeConnection(InstanceConnection *connection);

    InstanceLock m_appLock;
    int m_listener = -1; // owned; -1 when not listening
    QSocketNotifier *m_listenerNotifier = nullptr; // child, lives as long as m_listener
    QTimer *m_acceptRetry = nullptr; // child
    QSet<InstanceConnection *> m_connections; // children, open
    bool m_acceptFailureLogged = false;
    QString m_socketPath;
};

} // namespace runel::gui
