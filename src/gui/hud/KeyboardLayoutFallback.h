#pragma once

#include <QString>
#include <QtGlobal>

namespace runel::gui {

// Key sequences are ASCII, but many users type on Cyrillic, Greek, Hebrew or Arabic layouts.
// For such a key press this gives the character the same physical key types in the first
// Latin layout the user has configured, else in the US layout: on X11 from the server's
// keymap through xkbcommon, elsewhere (or when that fails) from a fixed US table. Keys are
// named by their native scan code, which on X11 and Wayland is the XKB key code (evdev + 8).
namespace KeyboardLayoutFallback {

// The character, or empty when the key types nothing there.
QString latinCharacter(quint32 nativeScanCode, bool shift);

// The character of the fixed US table (the last resort), or empty.
QString usCharacter(quint32 nativeScanCode, bool shift);

} // namespace KeyboardLayoutFallback

} // namespace runel::gui
