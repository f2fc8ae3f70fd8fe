#pragma once

#include "InstanceCommand.h"

#include <QObject>

class QLocalServer;

namespace runel::gui {

// The running app's end of the instance socket: takes requests from "runel" clients, answers
// each with "ok" and hands it on. Main thread.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    enum class Outcome { listening, otherInstance, failed };
    struct Start {
        Outcome outcome = Outcome::failed;
        QString error; // for failed, in words for the user
    };

    explicit InstanceServer(QObject *parent = nullptr);
    ~InstanceServer() override;

    // Becomes the one instance of this user. When an app already answers on the socket, it is
    // handed request and the outcome is otherInstance; a socket left behind by an app that
    // ended is replaced.
    Start listen(const InstanceRequest &request);
    QString socketPath() const { return m_socketPath; }

Q_SIGNALS:
    void requestReceived(const runel::InstanceRequest &request);

private:
    void acceptConnections();

    QLocalServer *m_server = nullptr;
    QString m_socketPath;
};

} // namespace runel::gui
