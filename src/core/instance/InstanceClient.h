#pragma once

#include "InstanceCommand.h"

#include <QString>

namespace runel {

// The client side of the instance socket, for the command line and for an app that starts while
// another runs. Plain POSIX sockets: the client must start fast and never load Qt's network or
// GUI libraries.
struct InstanceReply {
    enum class Status { delivered, notRunning, failed };
    Status status = Status::notRunning;
    QString error; // for failed: what happened, in words for the user
};

// Sends request to the running app and waits for its acknowledgement.
InstanceReply sendToInstance(const InstanceRequest &request);

} // namespace runel
