#pragma once

#include <QRect>
#include <QStringView>

#include <functional>
#include <memory>

class QScreen;
class QWidget;

namespace runel::gui {

// The HUD's two floating panels: the key HUD, which takes the keyboard, and the results panel
// below it, which never does.
enum class PanelRole { hud, results };

// How the panels get on screen.
//   window: ordinary top-level windows. On X11 Runel moves them itself; a Wayland compositor
//           places them as it likes (window rules float them on tiling compositors).
//   layerShell: overlay surfaces of the compositor's layer shell, above every window, placed by
//           their margins from the top of the output, the HUD with the keyboard to itself.
enum class PanelBackend { window, layerShell };

// Layer shell only where all hold: a native Wayland client ("wayland", "wayland-egl"), a build
// with LayerShellQt, a compositor that offers the protocol, and the user did not turn it off.
PanelBackend choosePanelBackend(
    QStringView platformName, bool layerShellBuilt, bool compositorOffersLayerShell, bool disabled);

// Where both panels go in a screen's available area: the HUD centred, its bottom edge
// aboveCentre above the area's middle, the results panel gap below it with the left edges in
// line. A HUD too tall for the top half starts at the area's top instead of above it.
struct PanelGeometry {
    QRect hud;
    QRect results;
};
PanelGeometry layoutPanels(
    const QRect &area, const QSize &hud, const QSize &results, int aboveCentre, int gap);

// What the HUD's window controller asks of the platform. One object per controller, made by
// makePanelPlacement(); it owns nothing of the panels.
class PanelPlacement {
public:
    virtual ~PanelPlacement() = default;
    virtual PanelBackend backend() const = 0;
    // Called once per panel, when it is made: the kind of surface it becomes is fixed when its
    // platform window is made, which this does (ahead of the panel's first showing).
    virtual void prepare(QWidget &panel, PanelRole role) = 0;
    // The screen whose available area the panels are laid out in (null without a screen).
    virtual QScreen *screenFor(QWidget &hud) const = 0;
    // Puts a panel at `geometry` (global coordinates inside `screen`'s area).
    virtual void place(QWidget &panel, const QRect &geometry, QScreen &screen) = 0;
    // A transparent surface under the panels, covering the HUD's output, that calls onClick on
    // a click anywhere else. Made where a click elsewhere cannot take the focus from the HUD
    // (a layer-shell HUD holds the keyboard to itself), so that such a click closes the HUD as
    // a loss of focus does elsewhere; null where the focus tells (windows). Show it before the
    // HUD: surfaces shown later stack above it.
    virtual std::unique_ptr<QWidget> makeOutsideClickCatcher(std::function<void()> onClick);
};

// The backend for this process: layer shell where choosePanelBackend says so (the environment
// variable RUNEL_LAYER_SHELL=0 turns it off), else windows.
std::unique_ptr<PanelPlacement> makePanelPlacement();

} // namespace runel::gui
