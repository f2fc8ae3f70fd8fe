#include "HudIcons.h"

#include <QFile>
#include <QIcon>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <array>

namespace runel::gui::HudIcons {

namespace {

struct Symbol {
    const char *symbol;
    const char *themeName;
    bool bundled; // a drawing in :/icons/hud/<symbol>.svg
};

constexpr std::array symbols {
    Symbol { "doc.fill", "text-x-script", true },
    Symbol { "doc.text", "text-x-generic", true },
    Symbol { "folder.fill", "folder", true },
    Symbol { "pin.fill", "view-pin", true },
    Symbol { "applescript", "text-x-script", true },
    Symbol { "magnifyingglass", "edit-find", true },
    Symbol { "list.bullet", "view-list", true },
    Symbol { "checkmark.circle.fill", "emblem-ok", true },
    Symbol { "exclamationmark.circle.fill", "dialog-error", true },
    // The settings window's tabs, placeholders and buttons.
    Symbol { "gearshape", "preferences-system", true },
    Symbol { "command", "preferences-desktop-keyboard-shortcuts", true },
    Symbol { "doc.plaintext", "text-x-generic", true },
    Symbol { "scroll", "text-x-log", true },
    Symbol { "slider.horizontal.3", "preferences-other", true },
    Symbol { "info.circle", "help-about", true },
    Symbol { "arrow.triangle.2.circlepath", "view-refresh", true },
    Symbol { "exclamationmark.triangle", "dialog-warning", true },
    Symbol { "plus", "list-add", true },
    Symbol { "minus.circle.fill", "list-remove", true },
    Symbol { "folder", "folder", true },
    Symbol { "dot.square.fill", "runel", true },
    Symbol { "terminal", "utilities-terminal", false },
    Symbol { "gear", "preferences-system", false },
    Symbol { "globe", "web-browser", false },
    Symbol { "trash", "user-trash", true },
    Symbol { "envelope", "mail-message", false },
    Symbol { "music.note", "audio-x-generic", false },
    Symbol { "photo", "image-x-generic", false },
    Symbol { "star.fill", "starred", false },
    Symbol { "clock", "appointment-soon", false },
    Symbol { "calendar", "x-office-calendar", false },
    Symbol { "network", "network-workgroup", false },
    Symbol { "lock.fill", "system-lock-screen", false },
    Symbol { "power", "system-shutdown", false },
    Symbol { "arrow.clockwise", "view-refresh", false },
    Symbol { "doc.on.clipboard", "edit-paste", false },
    Symbol { "bolt.fill", "battery-full-charging", false },
};

const Symbol *find(const QString &symbol)
{
    for (const Symbol &entry : symbols) {
        if (symbol == QLatin1String(entry.symbol))
            return &entry;
    }
    return nullptr;
}

QPixmap bundled(
    const char *symbol, int logicalSize, qreal ratio, const QColor &color, const QColor &background)
{
    // A results row draws its icon at every paint: each look of a symbol is drawn from its SVG
    // once and kept in Qt's pixmap cache.
    const QString key = QStringLiteral("runel/hud-icon/%1/%2/%3/%4/%5")
                            .arg(QLatin1String(symbol))
                            .arg(logicalSize)
                            .arg(ratio)
                            .arg(color.name(QColor::HexArgb), background.name(QColor::HexArgb));
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;
    QFile file(QStringLiteral(":/icons/hud/%1.svg").arg(QLatin1String(symbol)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = file.readAll();
    svg.replace("#000", color.name(QColor::HexRgb).toLatin1());
    svg.replace("#fff", background.name(QColor::HexRgb).toLatin1());
    QSvgRenderer renderer(svg);
    const int pixels = qRound(logicalSize * ratio);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(color.alphaF());
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    painter.end();
    pixmap.setDevicePixelRatio(ratio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QPixmap themed(const QString &name, int logicalSize, qreal ratio)
{
    const QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull())
        return {};
    return icon.pixmap(QSize(logicalSize, logicalSize), ratio);
}

} // namespace

QString themeName(const QString &symbol)
{
    const Symbol *entry = find(symbol);
    return entry ? QString::fromLatin1(entry->themeName) : QString();
}

QPixmap pixmap(const QString &symbol, int logicalSize, qreal devicePixelRatio, const QColor &color,
    const QColor &background)
{
    const Symbol *entry = find(symbol);
    if (entry && entry->bundled)
        return bundled(entry->symbol, logicalSize, devicePixelRatio, color, background);
    QPixmap drawn;
    if (entry)
        drawn = themed(QString::fromLatin1(entry->themeName), logicalSize, devicePixelRatio);
    if (drawn.isNull() && !symbol.isEmpty())
        drawn = themed(symbol, logicalSize, devicePixelRatio);
    if (drawn.isNull())
        drawn = bundled("doc.fill", logicalSize, devicePixelRatio, color, background);
    return drawn;
}

} // namespace runel::gui::HudIcons
