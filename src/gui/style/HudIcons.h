#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

namespace runel::gui {

// Draws the core's symbol names ("doc.fill", "pin.fill", "folder.fill", an icon annotation's
// value as written) as icons. One table maps each symbol to a freedesktop icon name and, for
// the symbols Runel itself uses, a bundled SVG. Bundled symbols are drawn in the given colour,
// so they follow dark and light themes (the theme's symbolic icons are not recoloured by Qt);
// any other name is looked up in the icon theme, through the table or as written, and an
// unknown name draws the script symbol.
namespace HudIcons {

// The freedesktop icon name for a symbol, or empty when the table has none.
QString themeName(const QString &symbol);

// The icon at a logical size for a device pixel ratio: sharp on HiDPI screens.
// background fills the cut-outs of filled symbols (the tick in a filled circle).
QPixmap pixmap(const QString &symbol, int logicalSize, qreal devicePixelRatio, const QColor &color,
    const QColor &background);

} // namespace HudIcons

} // namespace runel::gui
