#include "StatusItem.h"

#include "AppDelegate.h"

#include <QGuiApplication>
#include <QKeySequence>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace runel::gui {

StatusItem::StatusItem(AppDelegate &delegate, QObject *parent)
    : QObject(parent)
{
    // The shortcuts are shown for reference; the key monitor performs them.
    m_menu.addAction(u"Open Runel"_s, &delegate, &AppDelegate::toggleSearchWindow);
    m_menu.addSeparator();
    m_menu.addAction(u"Scripts\u2026"_s, &delegate, &AppDelegate::openScriptsFolder)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Comma));
    m_menu.addAction(u"Reload Scripts"_s, &delegate, &AppDelegate::reloadScripts)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_menu.addSeparator();
    m_menu.addAction(u"Settings\u2026"_s, &delegate, &AppDelegate::openSettings)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_menu.addSeparator();
    m_menu.addAction(u"Quit Runel"_s, &delegate, &AppDelegate::quitApp)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (QAction *action : m_menu.actions())
        action->setShortcutContext(Qt::WidgetShortcut);

    m_trayIcon.setIcon(icon());
    m_trayIcon.setToolTip(u"Runel"_s);
    m_trayIcon.setContextMenu(&m_menu);
    connect(&m_trayIcon, &QSystemTrayIcon::activated, &delegate,
        [&delegate](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                delegate.toggleSearchWindow();
        });

    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    // On X11 a shown icon without a tray waits for the tray manager's announcement on the root
    // window (Qt listens for it): a tray started later takes the icon with no timer running.
    const bool x11 = QGuiApplication::platformName() == u"xcb";
    if (available || x11)
        m_trayIcon.show();
    if (available)
        return;
    // Qt decides once per process whether a D-Bus tray host exists, so off X11 a tray started
    // later cannot take the icon; only X11 docks it when a tray announces itself.
    std::fprintf(stderr,
        "runel: there is no tray on this desktop, so Runel shows no icon; it runs all the "
        "same.\nReach it with 'runel toggle' (bind it to a key in your desktop's keyboard "
        "settings),\n'runel settings' and 'runel quit'. %s\n",
        x11 ? "The icon appears when a tray does."
            : "To see the icon, start a tray, then Runel again.");
}

QIcon StatusItem::icon()
{
    const bool symbolic = qEnvironmentVariable("RUNEL_TRAY_ICON") == u"symbolic";
    QIcon icon(symbolic ? u":/icons/runel-symbolic.svg"_s : u":/icons/runel.svg"_s);
    icon.setIsMask(symbolic);
    return icon;
}

} // namespace runel::gui
