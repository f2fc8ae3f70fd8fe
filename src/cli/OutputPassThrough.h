#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <mutex>

namespace runel::cli {

// Copies a script's output stream to one of runel's own, as it arrives. Standard output's copy
// holds back a line that may be the list the script ends with (it starts with "["), until more
// output shows that it was not the last line or the run's end says what to do with it: a list
// is shown numbered instead of as the raw line.
//
// A write that fails (a closed pipe, a full disk) stops the copy, never the script: its output
// still reaches the log. Threads: write on the stream's reader thread, the rest on any.
class OutputPassThrough {
public:
    OutputPassThrough(int fd, bool holdsListLine);

    void write(const char *data, std::size_t size);
    // Writes the held line, or drops it when listShown.
    void endOfRun(bool listShown);
    // Why the copy stopped; empty while it works.
    QString failure() const;

private:
    void emit(const QByteArray &bytes); // with m_mutex held

    enum class LineState { atStart, passing, holding };

    const int m_fd;
    const bool m_holdsListLine;
    mutable std::mutex m_mutex;
    LineState m_state = LineState::atStart; // guarded by m_mutex, as are the members below
    QByteArray m_held; // leading white space, or a whole line starting with "["
    bool m_heldIsComplete = false; // m_held ends in a newline
    int m_error = 0;
};

} // namespace runel::cli
