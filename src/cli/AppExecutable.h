#pragma once

#include "Console.h"
#include "core/instance/InstanceCommand.h"

#include <QString>
#include <optional>

namespace runel::cli {

// Replaces this process with the app (same PID, same environment), which then performs
// command (showKeys with keys). Returns only when that is impossible, with the exit status
// after saying why.
int execApp(std::optional<InstanceCommand> command, const QString &keys, Console &console);

// Where runel-app is: beside this executable (the build tree), else where it is installed,
// found by its path relative to the installed runel (../libexec/runel/runel-app by default).
QString appExecutablePath();

} // namespace runel::cli
