#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class QDBusServiceWatcher;

namespace runel::gui {

class AppDelegate;

// The tray icon and its menu. Without a tray host the app still runs: this says once on
// standard error how to reach it and shows the icon as soon as a tray appears. Nothing polls
// for the tray: on X11 the icon is kept shown, and Qt docks it when a tray manager announces
// itself; elsewhere a tray registering on D-Bus is what makes the icon try again.
class StatusItem : public QObject {
    Q_OBJECT
public:
    explicit StatusItem(AppDelegate &delegate, QObject *parent = nullptr);

    QMenu &menu() { return m_menu; }
    QSystemTrayIcon &trayIcon() { return m_trayIcon; }
    // The app's icon; the monochrome variant when RUNEL_TRAY_ICON=symbolic.
    static QIcon icon();

private:
    void showWhenTrayAppears();

    QMenu m_menu;
    QSystemTrayIcon m_trayIcon;
    QDBusServiceWatcher *m_trayWatch = nullptr; // child; off X11 and while there is no tray
};

} // namespace runel::gui
