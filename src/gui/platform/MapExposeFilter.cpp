#include "MapExposeFilter.h"

#include <algorithm>
#include <cstring>

namespace runel::gui {

namespace {

// The two X events read here, as the X protocol lays them out (the same as xcb's structures,
// which this file does without so that it builds where xcb's headers are missing). libxcb
// adds the full 32-bit sequence number after the 32 bytes of every event.
constexpr std::uint8_t exposeType = 12;
constexpr std::uint8_t mapNotifyType = 19;
constexpr std::size_t exposeWindowOffset = 4; // the exposed window
constexpr std::size_t mapWindowOffset = 8; // the mapped window (the first is the one told)
constexpr std::size_t fullSequenceOffset = 32;

std::uint32_t field(const void *event, std::size_t offset)
{
    std::uint32_t value;
    std::memcpy(&value, static_cast<const char *>(event) + offset, sizeof value);
    return value;
}

} // namespace

void MapExposeFilter::watch(QWidget &panel)
{
    std::erase_if(m_watched, [](const Watched &watched) { return watched.panel.isNull(); });
    if (std::none_of(m_watched.begin(), m_watched.end(),
            [&](const Watched &watched) { return watched.panel == &panel; }))
        m_watched.push_back({ &panel, std::nullopt });
}

MapExposeFilter::Watched *MapExposeFilter::find(std::uint32_t window)
{
    for (Watched &watched : m_watched) {
        if (watched.panel && watched.panel->internalWinId() == window)
            return &watched;
    }
    return nullptr;
}

bool MapExposeFilter::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    const std::uint8_t type = *static_cast<const std::uint8_t *>(message) & 0x7f;
    if (type == mapNotifyType) {
        if (Watched *watched = find(field(message, mapWindowOffset)))
            watched->mapSequence = field(message, fullSequenceOffset);
        return false;
    }
    if (type != exposeType)
        return false;
    // A sequence number only grows: one from a window this panel had before never matches.
    const Watched *watched = find(field(message, exposeWindowOffset));
    return watched && watched->mapSequence == field(message, fullSequenceOffset);
}

} // namespace runel::gui
