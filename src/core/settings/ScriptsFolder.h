#pragma once

#include <QString>

namespace runel {

// The scripts folder's first-use work: it exists, and a folder Runel created or found empty gets
// the example scripts. A folder that holds anything at all (a note, a hidden file, a link that
// leads nowhere) is the user's: nothing is ever written into it.
//
// Every function here waits on the file system, which may be a slow or hung mount: a process
// with a window calls them off the main thread.
struct ScriptsFolder {
    // Creates folder with its parents, then seeds it. Failures are silent: the scan of the
    // folder reports what is wrong where the user sees it.
    static void prepare(const QString &folder, const QString &examplesDir);
    // True when folder can be listed and holds no entry, hidden ones included. Reads at most
    // one entry, however large the folder.
    static bool isEmpty(const QString &folder);
    // Copies the examples into folder when it is empty. Never replaces an entry that exists (the
    // user may fill the folder while the copy goes on), and goes on past one that cannot be
    // copied.
    static void seedExamples(const QString &folder, const QString &examplesDir);
};

} // namespace runel
