#pragma once

#include <QByteArray>
#include <cstddef>
#include <optional>
#include <string>

namespace runel {

// Remembers the last line of one run's standard output in full, for the list a script may print
// as its last line. A line ends at a line feed only. A line longer than the limit is not kept:
// past the limit its bytes are dropped until its end, and it counts as a line that is no list.
//
// Threads: one thread at a time, no lock (the run's standard-output reader, then the run's
// completion once the reader has finished).
class LastStdoutLine {
public:
    static constexpr std::size_t defaultLimit = std::size_t(64) * 1024 * 1024;

    explicit LastStdoutLine(std::size_t limit = defaultLimit)
        : m_limit(limit)
    { }

    void consume(const char *data, std::size_t size);

    // The bytes after the last line feed when there are any, else the last complete line
    // (present but empty after an empty line). Absent when nothing was printed, and when that
    // line ran past the limit.
    std::optional<QByteArray> lastLineData() const;
    // The line lastLineData() speaks of ran past the limit.
    bool isOverlong() const;

private:
    // Appends to m_currentLine, or drops the line once it runs past the limit.
    void appendToCurrent(const char *data, std::size_t size);
    void finishCurrent();

    const std::size_t m_limit;
    std::string m_currentLine;
    bool m_currentOverlong = false;
    std::string m_lastLine;
    bool m_hasLastLine = false;
    bool m_lastOverlong = false;
};

} // namespace runel
