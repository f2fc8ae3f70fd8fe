#pragma once

#include "core/threading/MainThreadLineDispatcher.h"

#include <array>
#include <cstddef>
#include <memory>

namespace runel {

// Cuts one run's standard output into the lines the HUD may show, each kept to its first 4096
// bytes, and hands every finished line to its dispatcher. A line ends at a line feed only.
//
// Threads: consume, append and finishLine belong to one thread at a time (the run's
// standard-output reader, then the run's completion once the reader has finished); they take no
// lock. Only the dispatcher crosses to the main thread.
class HudLinePreview {
public:
    static constexpr std::size_t lineLimit = 4096;

    explicit HudLinePreview(MainThreadLineDispatcher::Callback onLine);

    const std::shared_ptr<MainThreadLineDispatcher> &dispatcher() const { return m_dispatcher; }
    // Bytes have arrived since the last finished line.
    bool hasPendingBytes() const { return m_hasPendingBytes; }
    bool isTruncated() const { return m_isTruncated; }

    // Takes the next chunk of the stream. A chunk that finishes several lines delivers only the
    // last of them: the dispatcher would let it replace the others before the main thread could
    // see them anyway.
    void consume(const char *data, std::size_t size);
    // Adds bytes to the line being assembled, dropping those past the limit.
    void append(const char *data, std::size_t size);
    // Delivers the line being assembled as text (invalid UTF-8 replaced by U+FFFD, " [output
    // line truncated]" after a cut line), also when it is empty, and starts a new one.
    void finishLine();

private:
    void discardLine();

    std::shared_ptr<MainThreadLineDispatcher> m_dispatcher;
    std::array<char, lineLimit> m_preview;
    std::size_t m_length = 0;
    bool m_hasPendingBytes = false;
    bool m_isTruncated = false;
};

} // namespace runel
