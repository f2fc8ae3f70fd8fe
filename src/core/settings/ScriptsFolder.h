#pragma once

#include <QString>

namespace runel {

// The scripts folder's first-use work: it exists, and a folder with no script gets the example
// scripts. "Script" means what the scan lists by name (scriptTypeForFileName), so a folder that
// shows scripts is never seeded and one that shows none always is.
struct ScriptsFolder {
    // Creates folder with its parents, then seeds it. Failures are silent: the scan of the
    // folder reports what is wrong where the user sees it.
    static void prepare(const QString &folder, const QString &examplesDir);
    // True when a file below folder, at any depth, through linked folders but not hidden ones,
    // is named as a script. A folder that cannot be listed holds none.
    static bool holdsScript(const QString &folder);
    // Copies the examples into folder when it holds no script; never replaces an entry that
    // exists, and goes on past one that cannot be copied.
    static void seedExamples(const QString &folder, const QString &examplesDir);
};

} // namespace runel
