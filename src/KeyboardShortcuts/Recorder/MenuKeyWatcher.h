#pragma once

#include <QObject>
#include <QSet>

namespace runel::KeyboardShortcuts {

class HotKeyCenter;

// While one of the app's menus is open it has the keyboard, so the system's grabs cannot fire.
// Installed on the application, this tells the center when menus open and close, and offers
// the key events a menu receives to HotKeyCenter::matchKeyEvent; a matched key is taken from
// the menu.
class MenuKeyWatcher : public QObject {
    Q_OBJECT
public:
    // Installs itself as an event filter on the application. center must outlive the watcher.
    explicit MenuKeyWatcher(HotKeyCenter &center, QObject *parent = nullptr);
    ~MenuKeyWatcher() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setOpen(QObject *menu, bool open);

    HotKeyCenter &m_center;
    QSet<QObject *> m_openMenus;
};

} // namespace runel::KeyboardShortcuts
