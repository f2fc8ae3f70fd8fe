#include "LastStdoutLine.h"

#include <cstring>

namespace runel {

namespace {

const char *findLastNewline(const char *data, std::size_t size)
{
    return static_cast<const char *>(::memrchr(data, '\n', size));
}

} // namespace

void LastStdoutLine::consume(const char *data, std::size_t size)
{
    const char *end = data + size;
    const char *lastNewline = findLastNewline(data, size);
    if (!lastNewline) {
        appendToCurrent(data, size);
        return;
    }
    // Only the last line this chunk finishes can be the last line: it lies wholly in the chunk
    // when another newline comes before it, and ends the line being assembled otherwise.
    const char *lineStart = data;
    if (const char *previous = findLastNewline(data, std::size_t(lastNewline - data))) {
        m_currentLine.clear();
        m_currentOverlong = false;
        lineStart = previous + 1;
    }
    appendToCurrent(lineStart, std::size_t(lastNewline - lineStart));
    finishCurrent();
    appendToCurrent(lastNewline + 1, std::size_t(end - lastNewline - 1));
}

void LastStdoutLine::appendToCurrent(const char *data, std::size_t size)
{
    if (m_currentOverlong || size == 0)
        return;
    if (size > m_limit - m_currentLine.size()) {
        m_currentOverlong = true;
        m_currentLine.clear();
        m_currentLine.shrink_to_fit();
        return;
    }
    m_currentLine.append(data, size);
}

void LastStdoutLine::finishCurrent()
{
    m_lastLine.swap(m_currentLine);
    m_currentLine.clear();
    m_hasLastLine = true;
    m_lastOverlong = m_currentOverlong;
    m_currentOverlong = false;
}

std::optional<QByteArray> LastStdoutLine::lastLineData() const
{
    if (m_currentOverlong)
        return std::nullopt;
    if (!m_currentLine.empty())
        return QByteArray(m_currentLine.data(), qsizetype(m_currentLine.size()));
    if (!m_hasLastLine || m_lastOverlong)
        return std::nullopt;
    return QByteArray(m_lastLine.data(), qsizetype(m_lastLine.size()));
}

bool LastStdoutLine::isOverlong() const
{
    return m_currentOverlong || (m_currentLine.empty() && m_lastOverlong);
}

} // namespace runel
