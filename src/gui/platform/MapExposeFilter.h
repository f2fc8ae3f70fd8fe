#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

namespace runel::gui {

// On X11, Qt draws a window in full when it hears that the window was mapped, and draws it again
// for the Expose events that the same map made: a second frame of the same pixels, one round trip
// later, and for the results panel the last frame of the key that shows it. This filter drops
// those Expose events for the windows it watches, and no others. Only for a window that Qt
// draws when it hears of the map: one that bypasses the window manager (Qt holds back the
// paint of a managed window until the manager's configure arrives).
// How it tells them apart: every X event carries the number of the last of our requests the
// server had handled when it made the event. An Expose whose number is that of its window's
// MapNotify was made before anything of the full paint the MapNotify starts reached the server,
// so that paint covers it. An Expose made later (something uncovered the window after it was
// drawn) has a larger number and goes to Qt as before.
// Install it with QCoreApplication::installNativeEventFilter; the panels may be deleted while
// watched.
class MapExposeFilter final : public QAbstractNativeEventFilter {
public:
    void watch(QWidget &panel);
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    struct Watched {
        QPointer<QWidget> panel;
        std::optional<std::uint32_t> mapSequence; // of its last MapNotify
    };
    Watched *find(std::uint32_t window);

    std::vector<Watched> m_watched;
};

} // namespace runel::gui
