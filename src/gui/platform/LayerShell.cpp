// The HUD's panels as layer-shell surfaces (zwlr_layer_shell_v1, through LayerShellQt): on the
// overlay layer above every window and full-screen view, anchored to the top of their output
// and centred on it, with no window rules needed.
#include "LayerShell.h"

#include <LayerShellQt/Window>

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cstring>
#include <functional>
#include <utility>
#include <wayland-client.h>

Q_LOGGING_CATEGORY(lcLayerShell, "runel.layershell")

namespace runel::gui::layershell {

namespace {

void registryGlobal(void *data, wl_registry *, uint32_t, const char *interface, uint32_t)
{
    if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0)
        *static_cast<bool *>(data) = true;
}

void registryGlobalRemove(void *, wl_registry *, uint32_t) { }

// Lists the compositor's globals through Qt's connection, on an event queue of this function's
// own: the round trip dispatches only this registry's events, never Qt's.
bool askCompositor()
{
    auto *wayland
        = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QWaylandApplication>() : nullptr;
    wl_display *display = wayland ? wayland->display() : nullptr;
    if (!display)
        return false;
    wl_event_queue *queue = wl_display_create_queue(display);
    if (!queue)
        return false;
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    bool offered = false;
    if (wrapper) {
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), queue);
        if (wl_registry *registry = wl_display_get_registry(wrapper)) {
            static const wl_registry_listener listener = { registryGlobal, registryGlobalRemove };
            wl_registry_add_listener(registry, &listener, &offered);
            if (wl_display_roundtrip_queue(display, queue) < 0)
                offered = false;
            wl_registry_destroy(registry);
        }
        wl_proxy_wrapper_destroy(wrapper);
    }
    wl_event_queue_destroy(queue);
    return offered;
}

// Clear and borderless: only its clicks matter. Qt clears a translucent widget's buffer before
// each paint, so it draws nothing of its own.
class OutsideClickCatcher final : public QWidget {
public:
    explicit OutsideClickCatcher(std::function<void()> onClick)
        : m_onClick(std::move(onClick))
    {
        setWindowFlags(Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
        setAttribute(Qt::WA_TranslucentBackground);
        setWindowTitle(QStringLiteral("Runel Outside"));
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        // The click is the HUD's to close, not the window's underneath: the user was in the
        // HUD and dismissed it.
        event->accept();
        if (m_onClick)
            m_onClick();
    }

private:
    std::function<void()> m_onClick;
};

class LayerShellPlacement final : public PanelPlacement {
public:
    PanelBackend backend() const override { return PanelBackend::layerShell; }

    void prepare(QWidget &panel, PanelRole role) override
    {
        // The platform window must exist, not yet shown, for LayerShellQt to give it its
        // shell integration; the surface itself is made when the panel is shown, and made
        // again at each later showing (a hidden results panel comes back the same way).
        panel.winId();
        auto *surface = LayerShellQt::Window::get(panel.windowHandle());
        if (!surface)
            return;
        const bool hud = role == PanelRole::hud;
        surface->setScope(hud ? QStringLiteral("runel-hud") : QStringLiteral("runel-results"));
        surface->setLayer(LayerShellQt::Window::LayerOverlay);
        // Anchored to the top edge alone: centred across the output, placed down it by the
        // top margin.
        surface->setAnchors(LayerShellQt::Window::Anchors(LayerShellQt::Window::AnchorTop));
        surface->setExclusiveZone(0);
        // The HUD has the keyboard to itself while shown: typing reaches it whatever window
        // had the focus. The results panel never takes it, so clicking a row leaves the
        // keyboard with the HUD.
        surface->setKeyboardInteractivity(hud ? LayerShellQt::Window::KeyboardInteractivityExclusive
                                              : LayerShellQt::Window::KeyboardInteractivityNone);
        // The HUD goes where the compositor puts new surfaces (the focused output); the
        // results panel follows the HUD's output, given in place().
        surface->setScreenConfiguration(hud ? LayerShellQt::Window::ScreenFromCompositor
                                            : LayerShellQt::Window::ScreenFromQWindow);
        // An output that goes away takes the surface with it; the panel is then hidden,
        // which the HUD's controller sees as a loss of focus.
        surface->setCloseOnDismissed(true);
    }

    QScreen *screenFor(QWidget &hud) const override
    {
        // The output the HUD entered (Qt follows the surface's enter events); before it has
        // one, Qt's first guess, corrected by a later screen change.
        QWindow *window = hud.windowHandle();
        QScreen *screen = window ? window->screen() : nullptr;
        return screen ? screen : QGuiApplication::primaryScreen();
    }

    void place(QWidget &panel, const QRect &geometry, QScreen &screen) override
    {
        auto *surface = LayerShellQt::Window::get(panel.windowHandle());
        if (!surface)
            return;
        if (!panel.isVisible() && panel.screen() != &screen)
            panel.setScreen(&screen);
        const int top = geometry.top() - screen.availableGeometry().top();
        surface->setMargins(QMargins(0, std::max(0, top), 0, 0));
        // Margins take effect with the surface's next commit.
        panel.update();
    }

    std::unique_ptr<QWidget> makeOutsideClickCatcher(std::function<void()> onClick) override
    {
        auto catcher = std::make_unique<OutsideClickCatcher>(std::move(onClick));
        catcher->winId();
        auto *surface = LayerShellQt::Window::get(catcher->windowHandle());
        if (!surface)
            return nullptr;
        surface->setScope(QStringLiteral("runel-outside"));
        // On the overlay layer too, under the panels (shown before them), so a click on a
        // full-screen window or a bar closes the HUD as well.
        surface->setLayer(LayerShellQt::Window::LayerOverlay);
        // Anchored to every edge: the compositor makes it as large as the output, and -1
        // lays it over other surfaces' exclusive zones (bars) instead of beside them.
        surface->setAnchors(LayerShellQt::Window::Anchors(LayerShellQt::Window::AnchorTop
            | LayerShellQt::Window::AnchorBottom | LayerShellQt::Window::AnchorLeft
            | LayerShellQt::Window::AnchorRight));
        surface->setExclusiveZone(-1);
        surface->setKeyboardInteractivity(LayerShellQt::Window::KeyboardInteractivityNone);
        // The output the compositor puts new surfaces on, as for the HUD.
        surface->setScreenConfiguration(LayerShellQt::Window::ScreenFromCompositor);
        surface->setCloseOnDismissed(true);
        return catcher;
    }
};

} // namespace

bool isBuilt()
{
    return true;
}

bool compositorOffers()
{
    static const bool offered = [] {
        const bool answer = askCompositor();
        qCInfo(lcLayerShell) << "compositor offers layer shell:" << answer;
        return answer;
    }();
    return offered;
}

std::unique_ptr<PanelPlacement> makePlacement()
{
    return std::make_unique<LayerShellPlacement>();
}

} // namespace runel::gui::layershell
