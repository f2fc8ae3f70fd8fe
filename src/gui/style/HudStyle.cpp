#include "HudStyle.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#ifdef RUNEL_HAVE_XKBCOMMON
#include <xcb/xcb.h>
#endif

namespace runel::gui::HudStyle {

namespace {

QColor withAlpha(QColor color, double opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

bool gnomeAnimationsOff()
{
    if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QStringLiteral("GNOME")))
        return false;
    const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
    if (gsettings.isEmpty())
        return false;
    QProcess process;
    process.start(gsettings,
        { QStringLiteral("get"), QStringLiteral("org.gnome.desktop.interface"),
            QStringLiteral("enable-animations") });
    // A hung settings daemon must not hold up the HUD: no answer counts as animations on.
    if (!process.waitForFinished(300)) {
        process.kill();
        process.waitForFinished(100);
        return false;
    }
    return process.readAllStandardOutput().trimmed() == "false";
}

bool kdeAnimationsOff()
{
    const QString path = QStandardPaths::locate(
        QStandardPaths::GenericConfigLocation, QStringLiteral("kdeglobals"));
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&file);
    bool inKdeGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inKdeGroup = line == QStringLiteral("[KDE]");
        else if (inKdeGroup && line.startsWith(QStringLiteral("AnimationDurationFactor=")))
            return line.section(QLatin1Char('='), 1).toDouble() == 0.0;
    }
    return false;
}

} // namespace

QColor primary(const QPalette &palette)
{
    return palette.color(QPalette::WindowText);
}

QColor secondary(const QPalette &palette)
{
    return withAlpha(primary(palette), isDark(palette) ? 0.62 : 0.58);
}

QColor accent(const QPalette &palette)
{
    QColor accent = palette.color(QPalette::Highlight);
    // A highlight meant as a selection background can be too pale (light themes) or too dark
    // (dark themes) for text: move it towards readable contrast with the window.
    const int windowLightness = palette.color(QPalette::Window).lightness();
    if (windowLightness < 128 && accent.lightness() < 140)
        accent = accent.lighter(150);
    else if (windowLightness >= 128 && accent.lightness() > 170)
        accent = accent.darker(150);
    return accent;
}

QColor panelBackground(const QPalette &palette, bool translucent)
{
    return withAlpha(palette.color(QPalette::Window), translucent ? 0.96 : 1.0);
}

QColor panelBorder(const QPalette &palette)
{
    return withAlpha(primary(palette), 0.14);
}

QColor tint(const QPalette &palette, double opacity)
{
    return withAlpha(primary(palette), opacity);
}

QFont systemFont(int pixelSize, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont monospaceFont(int pixelSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

bool reduceMotion()
{
    static const bool reduce = [] {
        const QByteArray forced = qgetenv("RUNEL_REDUCE_MOTION");
        if (!forced.isEmpty())
            return forced == "1";
        return kdeAnimationsOff() || gnomeAnimationsOff();
    }();
    return reduce;
}

bool hasCompositor()
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        return true; // Wayland always composites; offscreen keeps alpha
#ifdef RUNEL_HAVE_XKBCOMMON
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return false;
    xcb_connection_t *connection = x11->connection();
    const QByteArray name = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(connection,
        xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool composited = owner && owner->owner != XCB_NONE;
    free(owner);
    free(atom);
    return composited;
#else
    return false;
#endif
}

} // namespace runel::gui::HudStyle
