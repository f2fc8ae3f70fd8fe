#include "LastStdoutLine.h"

#include "LineCut.h"

#include <cstring>

namespace runel {

void LastStdoutLine::consume(const char *data, std::size_t size)
{
    const LineCut cut = cutAtLastLine(data, size);
    if (cut.discardsCurrent) {
        m_currentLine.clear();
        m_currentOverlong = false;
    }
    appendToCurrent(cut.line.data(), cut.line.size());
    if (cut.endsLine) {
        finishCurrent();
        appendToCurrent(cut.rest.data(), cut.rest.size());
    }
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
