#pragma once

#include <QString>

namespace runel::gui {

// The id desktops know the app by: the desktop file's name without ".desktop", the Wayland app
// id, the AppStream id, what the desktop portal registers. Reverse-DNS, as portals require. (The
// X11 class stays "runel", which window rules written for earlier versions match.)
QString applicationId();

// Whether the desktop file named after applicationId is installed where desktops look for it
// (applications/ under $XDG_DATA_HOME and $XDG_DATA_DIRS). A build run from its folder has
// none, and a desktop whose portal looks the app up by its id then refuses its hot keys.
bool isDesktopFileInstalled();

} // namespace runel::gui
