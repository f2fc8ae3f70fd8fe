#include "ChooseHotKeyBackend.h"

#include "NoHotKeyBackend.h"
#include "PortalHotKeyBackend.h"
#ifdef RUNEL_HAVE_X11_HOTKEYS
#include "X11HotKeyBackend.h"
#endif

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcHotKeyChoice, "runel.hotkeys")

namespace runel::KeyboardShortcuts {

std::unique_ptr<HotKeyBackend> chooseHotKeyBackend(
    const QString &appId, const QString &platformName)
{
    const QByteArray forced = qgetenv("RUNEL_HOTKEYS");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || platformName == QLatin1String("wayland");
    if (forced.isEmpty() || forced == "portal") {
        if (forced == "portal" || wayland) {
            if (std::unique_ptr<HotKeyBackend> portal = PortalHotKeyBackend::create(appId)) {
                qCInfo(lcHotKeyChoice, "Global shortcuts through the desktop portal");
                return portal;
            }
        }
    }
#ifdef RUNEL_HAVE_X11_HOTKEYS
    if (forced.isEmpty() || forced == "x11") {
        // An X11 grab on XWayland only sees keys typed into X11 windows: no use as a global key.
        if (forced == "x11" || (platformName == QLatin1String("xcb") && !wayland)) {
            if (std::unique_ptr<HotKeyBackend> x11 = X11HotKeyBackend::connect()) {
                qCInfo(lcHotKeyChoice, "Global shortcuts through X11 key grabs");
                return x11;
            }
        }
    }
#endif
    qCInfo(lcHotKeyChoice,
        "No global shortcuts on this desktop: bind 'runel toggle' in its keyboard settings");
    return std::make_unique<NoHotKeyBackend>();
}

} // namespace runel::KeyboardShortcuts
