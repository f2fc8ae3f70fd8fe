#pragma once

#include "Console.h"
#include "core/InstanceCommand.h"

#include <QString>
#include <optional>

namespace runel::cli {

// The command line's side of the instance socket. Plain POSIX sockets: the client must start
// fast and never load Qt's network or GUI libraries.
struct InstanceReply {
    enum class Status { delivered, notRunning, failed };
    Status status = Status::notRunning;
    QString error; // for failed: what happened, in words for the user
};

// Sends request to the running app and waits for its acknowledgement.
InstanceReply sendToInstance(const InstanceRequest &request);

// Replaces this process with the app (same PID, same environment), which then performs
// command (showKeys with keys). Returns only when that is impossible, with the exit status
// after saying why.
int execApp(std::optional<InstanceCommand> command, const QString &keys, Console &console);

// Where runel-app is: beside this executable (the build tree), else where it is installed,
// found by its path relative to the installed runel (../libexec/runel/runel-app by default).
QString appExecutablePath();

} // namespace runel::cli
