#pragma once

#include "Console.h"

#include <QStringList>

namespace runel::cli {

// Runs "runel" with its arguments (without the program name) and returns the exit status:
// 0 on success, 1 when the command failed, 2 for a usage error. Without arguments it starts
// the app in this process (or toggles the HUD of the app that runs), so it may not return.
int run(const QStringList &arguments, Console &console);

} // namespace runel::cli
