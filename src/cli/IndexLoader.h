#pragma once

#include "Console.h"
#include "core/index/ScriptIndex.h"

#include <QString>
#include <memory>
#include <optional>

namespace runel::cli {

struct LoadedIndex {
    std::unique_ptr<ScriptIndex> index;
    QString root; // the folder that was scanned, absolute
    bool enhanceLabels = true;
};

// The folder a command scans and how, with what to tell the user when it cannot be listed.
struct ScriptsFolderChoice {
    QString root; // absolute
    ScriptIndex::Configuration configuration;
    QString hint; // what to check when the folder cannot be listed
};

// The folder given, or else the configured one (created and seeded on first use, as the app
// does), as loadIndex() below chooses it.
ScriptsFolderChoice chooseScriptsFolder(Console &console, const std::optional<QString> &folder);

// Builds the script index the way the app does, on the calling thread. Settings come from the
// user's settings.json; its load warning goes to standard error without failing. Without
// folder, the configured scripts folder is used, created and seeded on first use as the app
// would. With folder, that folder is scanned as it is: nothing is created, seeded or written
// (the configured folder is not even looked at). Returns nothing after telling the user why
// when the folder cannot be listed.
std::optional<LoadedIndex> loadIndex(Console &console, const std::optional<QString> &folder);

// For a command about to end the process: the index is never freed, since the system takes a
// process's memory back at once where freeing it would visit every string of every script. It
// stays reachable, so leak checkers do not count it.
void keepUntilExit(std::unique_ptr<ScriptIndex> index);

} // namespace runel::cli
