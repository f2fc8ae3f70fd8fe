#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

namespace runel::gui {

class AppDelegate;

// The tray icon and its menu. Without a tray host the app still runs: this says once on
// standard error how to reach it. Nothing polls for the tray: on X11 the icon is kept shown,
// and Qt docks it when a tray manager announces itself.
class StatusItem : public QObject {
    Q_OBJECT
public:
    explicit StatusItem(AppDelegate &delegate, QObject *parent = nullptr);

    QMenu &menu() { return m_menu; }
    QSystemTrayIcon &trayIcon() { return m_trayIcon; }
    // The app's icon; the monochrome variant when RUNEL_TRAY_ICON=symbolic.
    static QIcon icon();

private:
    QMenu m_menu;
    QSystemTrayIcon m_trayIcon;
};

} // namespace runel::gui
