#pragma once

#include "core/settings/AppShortcut.h"

#include <QObject>
#include <QSet>
#include <QUuid>

namespace runel::KeyboardShortcuts {
class Service;
}

namespace runel {
class ConfigManager;
}

namespace runel::gui {

class AppDelegate;

// Ties the hot key service to the app: the two built-in hot keys (show or hide the HUD, open it
// in search mode) and the user's shortcuts, each playing its key sequence into the HUD. Keeps the
// installed handlers in line with the shortcuts setting and sees that the keys typed right after
// a hot key reach the HUD. Main thread.
class GlobalShortcuts : public QObject {
    Q_OBJECT
public:
    // Registers the built-in names and the handlers of the current shortcuts, and again after
    // every change of the shortcuts setting. The collaborators must outlive this object.
    GlobalShortcuts(KeyboardShortcuts::Service &service, ConfigManager &configManager,
        AppDelegate &delegate, QObject *parent = nullptr);

    void registerShortcuts();
    // What a user shortcut with these keys does when its hot key fires ("runel show --keys"):
    // opens the HUD when it is closed, holding what is typed next for it, then plays the keys.
    void playKeys(const QString &keys);

    // Keys typed from now until the HUD has the focus wait for it instead of reaching the window
    // the user was in. For a show request from another process (a hot key's handlers hold them
    // from the press on); does nothing when one of Runel's windows has the keyboard already.
    void holdKeysForHud();

    const QSet<QUuid> &registeredShortcutIDs() const { return m_registeredShortcutIDs; }

private:
    // After a hot key whose press held the keys: lets them go once the HUD has the focus, or at
    // once when the HUD stayed closed or one of Runel's windows had the keyboard.
    void handOverKeys(bool ownWindowHadFocus);
    void watchHudFocus();
    void releaseKeysOnceHudIsActive();
    void describeNames();
    // Says on standard error, once per name and combination, which keys another program holds.
    void reportTakenKeys();

    KeyboardShortcuts::Service &m_service;
    ConfigManager &m_configManager;
    AppDelegate &m_delegate;
    QSet<QUuid> m_registeredShortcutIDs;
    QSet<QString> m_reportedTaken; // "name combination" already said
    QMetaObject::Connection m_focusWatch;
};

} // namespace runel::gui
