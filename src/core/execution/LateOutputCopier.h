#pragma once

#include "ChildProcess.h"

#include <QString>

namespace runel {

// The output a script's jobs print after the run has its outcome. The process that ran the
// script must not wait for it (runel run returns with the script's status; the app may quit),
// and the jobs must not be cut off by a closed pipe. So the pipes' read ends go to a small
// copier process of their own (runel started with copierArgument), detached in a session of
// its own, which appends what still comes to the run's output file and to the pass-through
// streams until the last writer has closed the pipes, then ends.
namespace LateOutputCopier {

// The first argument that makes runel a copier; nothing else in its command line counts.
inline constexpr const char *copierArgument = "--copy-late-output";

// What the copier is handed; -1 for any that is not there. The descriptors stay the caller's.
struct Streams {
    int standardOutput = -1; // read ends of the script's pipes
    int standardError = -1;
    int logFile = -1; // the run's output file, opened for appending
    int passOutput = -1; // where late standard output is also written (runel run's own)
    int passError = -1;
};

// Starts program (runel) as the copier of streams and waits only for it to have detached
// (milliseconds). False, with nothing started, when it could not be: the caller reads on.
bool start(const QString &program, const Streams &streams);

// The copier's whole life, for runel's main when it is given copierArgument: detaches, copies
// until every pipe has ended, returns the exit status.
int run();

} // namespace LateOutputCopier

} // namespace runel
