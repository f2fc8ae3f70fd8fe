#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace runel::gui {

// Colours, fonts and motion of the HUD, all taken from the desktop: the palette (so dark and
// light themes both read well), the system font, and the desktop's animation setting. Sizes
// are logical pixels; Qt scales them on HiDPI screens.
namespace HudStyle {

constexpr int panelWidth = 420;
constexpr int cornerRadius = 24;

QColor primary(const QPalette &palette);
QColor secondary(const QPalette &palette);
QColor accent(const QPalette &palette);
// The panels' background: the window colour, slightly see-through where a compositor
// blends it.
QColor panelBackground(const QPalette &palette, bool translucent);
QColor panelBorder(const QPalette &palette);
// primary at the given opacity.
QColor tint(const QPalette &palette, double opacity);

// The system font at a pixel size and weight.
QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont monospaceFont(int pixelSize, QFont::Weight weight = QFont::Medium);

// True when the desktop asks for no animations: RUNEL_REDUCE_MOTION=1, GNOME's
// enable-animations off, or KDE's animation speed 0. Read once per process.
bool reduceMotion();

// Whether a compositor blends translucent windows; without one the panels use a window
// mask so their corners stay round.
bool hasCompositor();

} // namespace HudStyle

} // namespace runel::gui
