#include "HudLinePreview.h"

#include "LineCut.h"

#include <algorithm>
#include <cstring>

namespace runel {

HudLinePreview::HudLinePreview(MainThreadLineDispatcher::Callback onLine)
    : m_dispatcher(MainThreadLineDispatcher::create(std::move(onLine)))
{ }

void HudLinePreview::consume(const char *data, std::size_t size)
{
    const LineCut cut = cutAtLastLine(data, size);
    if (cut.discardsCurrent)
        discardLine();
    append(cut.line.data(), cut.line.size());
    if (cut.endsLine) {
        finishLine();
        append(cut.rest.data(), cut.rest.size());
    }
}

void HudLinePreview::append(const char *data, std::size_t size)
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

void HudLinePreview::finishLine()
{
    QString text = QString::fromUtf8(m_preview.data(), qsizetype(m_length));
    if (m_isTruncated)
        text += QStringLiteral(" [output line truncated]");
    discardLine();
    m_dispatcher->deliver(std::move(text));
}

void HudLinePreview::discardLine()
{
    m_length = 0;
    m_hasPendingBytes = false;
    m_isTruncated = false;
}

} // namespace runel
