#include "PanelPlacement.h"

#include "LayerShell.h"
#include "MapExposeFilter.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace runel::gui {

namespace {

bool isWayland(QStringView platformName)
{
    return platformName == u"wayland" || platformName.startsWith(u"wayland-");
}

// Top-level windows: moved by Runel on X11, placed by the compositor on Wayland (which ignores
// a client's move).
class WindowPlacement final : public PanelPlacement {
public:
    WindowPlacement()
    {
        if (isX11())
            QCoreApplication::instance()->installNativeEventFilter(&m_mapExposeFilter);
    }
    ~WindowPlacement() override
    {
        if (isX11())
            QCoreApplication::instance()->removeNativeEventFilter(&m_mapExposeFilter);
    }
    PanelBackend backend() const override { return PanelBackend::window; }
    void prepare(QWidget &panel, PanelRole role) override
    {
        // On X11 the results panel goes past the window manager (override-redirect): it never
        // takes the focus and Runel places it itself, so the manager has nothing to add but a
        // round trip (reparenting, configuring, exposing) before its first frame. Placing the
        // HUD and taking the focus stay the manager's.
        if (role != PanelRole::results)
            return;
        if (isX11()) {
            panel.setWindowFlag(Qt::BypassWindowManagerHint);
            m_mapExposeFilter.watch(panel);
        }
        // The results panel's platform window is made now, while nothing waits for it.
        panel.winId();
    }
    QScreen *screenFor(QWidget &hud) const override
    {
        // Once shown, the HUD stays on its screen when it resizes, wherever the pointer went.
        if (hud.isVisible())
            return hud.screen();
        QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
        return screen ? screen : QGuiApplication::primaryScreen();
    }
    void place(QWidget &panel, const QRect &geometry, QScreen &) override
    {
        // Placing both panels whenever either changes size must not send the X server (and a
        // window manager) a move of a window that stays where it is.
        if (panel.pos() != geometry.topLeft())
            panel.move(geometry.topLeft());
    }

private:
    static bool isX11() { return QGuiApplication::platformName() == u"xcb"; }

    // The results panel is drawn once when it is mapped, not again for the map's own Expose.
    // (Not the HUD: Qt holds back its paint for a map until the window manager's configure
    // arrives, and the map's Expose may be what draws it first.)
    MapExposeFilter m_mapExposeFilter;
};

} // namespace

std::unique_ptr<QWidget> PanelPlacement::makeOutsideClickCatcher(std::function<void()>)
{
    return nullptr;
}

PanelBackend choosePanelBackend(
    QStringView platformName, bool layerShellBuilt, bool compositorOffersLayerShell, bool disabled)
{
    const bool layerShell
        = isWayland(platformName) && layerShellBuilt && compositorOffersLayerShell && !disabled;
    return layerShell ? PanelBackend::layerShell : PanelBackend::window;
}

PanelGeometry layoutPanels(
    const QRect &area, const QSize &hud, const QSize &results, int aboveCentre, int gap)
{
    // QRect's centre rounds down on an even width; +1 centres the panel's pixels.
    const int left = area.center().x() + 1 - hud.width() / 2;
    const int top
        = std::max(area.top(), area.top() + area.height() / 2 - aboveCentre - hud.height());
    const QRect hudRect(QPoint(left, top), hud);
    return { hudRect, QRect(QPoint(left, hudRect.bottom() + 1 + gap), results) };
}

std::unique_ptr<PanelPlacement> makePanelPlacement()
{
    const QString platform = QGuiApplication::platformName();
    const bool disabled = qEnvironmentVariable("RUNEL_LAYER_SHELL") == u"0";
    // The compositor is asked only where the answer matters.
    const bool built = layershell::isBuilt();
    const bool offered
        = built && isWayland(platform) && !disabled && layershell::compositorOffers();
    if (choosePanelBackend(platform, built, offered, disabled) == PanelBackend::layerShell) {
        if (auto placement = layershell::makePlacement())
            return placement;
    }
    return std::make_unique<WindowPlacement>();
}

} // namespace runel::gui
