#pragma once

#include "HotKeyBackend.h"

#include <QString>
#include <memory>

namespace runel::KeyboardShortcuts {

// The back end this desktop offers, chosen at start-up: on a Wayland session the desktop's
// GlobalShortcuts portal where it has one; on X11 (and an X11 client on XWayland without the
// portal) key grabs on the X server; otherwise none. appId is the desktop file id the portal
// knows the app by; platformName is the running Qt platform ("xcb", "wayland", "offscreen").
// RUNEL_HOTKEYS=x11|portal|none forces a choice (for tests and for working around a desktop).
std::unique_ptr<HotKeyBackend> chooseHotKeyBackend(
    const QString &appId, const QString &platformName);

} // namespace runel::KeyboardShortcuts
