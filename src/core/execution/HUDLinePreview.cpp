#include "HUDLinePreview.h"

#include <algorithm>
#include <cstring>

namespace runel {

namespace {

const char *findLastNewline(const char *data, std::size_t size)
{
    return static_cast<const char *>(::memrchr(data, '\n', size));
}

} // namespace

HUDLinePreview::HUDLinePreview(MainThreadLineDispatcher::Callback onLine)
    : m_dispatcher(MainThreadLineDispatcher::create(std::move(onLine)))
{ }

void HUDLinePreview::consume(const char *data, std::size_t size)
{
    const char *end = data + size;
    const char *lastNewline = findLastNewline(data, size);
    if (!lastNewline) {
        append(data, size);
        return;
    }
    // Only the last line this chunk finishes is delivered; it starts after the newline before
    // it, or continues the line being assembled when there is none in the chunk.
    const char *lineStart = data;
    if (const char *previous = findLastNewline(data, std::size_t(lastNewline - data))) {
        discardLine();
        lineStart = previous + 1;
    }
    append(lineStart, std::size_t(lastNewline - lineStart));
    finishLine();
    append(lastNewline + 1, std::size_t(end - lastNewline - 1));
}

void HUDLinePreview::append(const char *data, std::size_t size)
{
    if (size == 0)
        return;
    m_hasPendingBytes = true;
    const std::size_t room = lineLimit - m_length;
    const std::size_t taken = std::min(room, size);
    std::memcpy(m_preview.data() + m_length, data, taken);
    m_length += taken;
    if (taken < size)
        m_isTruncated = true;
}

void HUDLinePreview::finishLine()
{
    QString text = QString::fromUtf8(m_preview.data(), qsizetype(m_length));
    if (m_isTruncated)
        text += QStringLiteral(" [output line truncated]");
    discardLine();
    m_dispatcher->deliver(std::move(text));
}

void HUDLinePreview::discardLine()
{
    m_length = 0;
    m_hasPendingBytes = false;
    m_isTruncated = false;
}

} // namespace runel
