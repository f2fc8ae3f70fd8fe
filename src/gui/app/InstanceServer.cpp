#include "InstanceServer.h"

#include "InstanceSocket.h"
#include "cli/InstanceClient.h"

#include <QLocalServer>
#include <QLocalSocket>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

// A request is a few short lines; anything longer is not a client of ours.
constexpr qsizetype maximumRequestSize = 16 * 1024;

} // namespace

InstanceServer::InstanceServer(QObject *parent)
    : QObject(parent)
{ }

InstanceServer::~InstanceServer()
{
    // Removes the socket file, so the next client sees at once that no app runs.
    if (m_server)
        m_server->close();
}

InstanceServer::Start InstanceServer::listen(const InstanceRequest &request)
{
    const InstanceFolder folder = instanceFolder(true);
    if (!folder.isUsable())
        return { Outcome::failed, folder.error };
    m_socketPath = folder.socketPath();
    if (const QString problem = socketFileProblem(m_socketPath); !problem.isEmpty())
        return { Outcome::failed, problem };

    const cli::InstanceReply probe = cli::sendToInstance(request);
    if (probe.status == cli::InstanceReply::Status::delivered)
        return { Outcome::otherInstance, {} };
    QLocalServer::removeServer(m_socketPath);

    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        if (m_server->serverError() == QAbstractSocket::AddressInUseError)
            return { Outcome::otherInstance, {} };
        return { Outcome::failed,
            u"cannot listen on %1: %2"_s.arg(m_socketPath, m_server->errorString()) };
    }
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::acceptConnections);
    return { Outcome::listening, {} };
}

void InstanceServer::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // The request stays in the socket's buffer until it is whole.
            if (socket->bytesAvailable() > maximumRequestSize) {
                socket->abort();
                return;
            }
            if (!socket->peek(maximumRequestSize).endsWith("\n\n"))
                return;
            const std::optional<InstanceRequest> request
                = InstanceRequest::decode(socket->readAll());
            socket->write(request ? "ok\n" : "this app does not know that command\n");
            // Written now: "quit" ends the event loop before a buffered answer would go out.
            socket->flush();
            socket->disconnectFromServer();
            if (request)
                Q_EMIT requestReceived(*request);
        });
    }
}

} // namespace runel::gui
