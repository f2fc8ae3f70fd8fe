#pragma once

#include "KeyboardShortcuts/Name.h"
#include "core/settings/AppShortcut.h"
#include "gui/platform/DesktopKeyBinding.h"

#include <QObject>
#include <QSet>
#include <QUuid>

class QWidget;

namespace KeyboardShortcuts {
class Service;
}

namespace runel {
class ConfigManager;
}

namespace runel::gui {

class AppDelegate;

// The app's global hot keys: the two built-in ones (show or hide the HUD, open it in search
// mode) and the user's shortcuts, each playing its key sequence into the HUD. Keeps the
// installed handlers in line with the shortcuts setting. Main thread.
class GlobalShortcuts : public QObject {
    Q_OBJECT
public:
    static const KeyboardShortcuts::Name toggleSearchWindow; // default Super+Shift+L
    static const KeyboardShortcuts::Name toggleSearchMode; // no default
    // "shortcut-" + the id's upper-case UUID: the name a user shortcut's combination is kept under.
    static KeyboardShortcuts::Name nameFor(const QUuid &id);

    // Registers the built-in names and the handlers of the current shortcuts, and again after
    // every change of the shortcuts setting. The collaborators must outlive this object.
    GlobalShortcuts(KeyboardShortcuts::Service &service, ConfigManager &configManager,
        AppDelegate &delegate, QObject *parent = nullptr);

    void registerShortcuts();
    // Opens the HUD when it is closed, then plays the shortcut's keys into it (none: it waits).
    void runShortcut(const AppShortcut &shortcut);
    // What a user shortcut with these keys does when its hot key fires ("runel show --keys").
    void playKeys(const QString &keys);

    // Keys typed from now until the HUD has the focus wait for it instead of reaching the window
    // the user was in. For a show request from a hot key or a command; does nothing when the HUD
    // does not open, or when one of Runel's windows has the keyboard already.
    void holdKeysForHud();

    const QSet<QUuid> &registeredShortcutIDs() const { return m_registeredShortcutIDs; }

    // For the settings window: the control that binds a name's combination (the recorder, or
    // where this desktop has no global keys, what to do instead), and forgetting a removed
    // shortcut's combination.
    QWidget *makeRecorder(const QString &name, QWidget *parent);
    // Under a user shortcut's row where Runel has no hot keys of its own (none on this desktop,
    // or the portal's refused): the desktop binding of its "runel show --keys KEYS", following
    // edits of its keys and combination. Null where Runel's hot keys work.
    QWidget *makeDesktopBinding(const QString &name, QWidget *parent);
    // Also takes a removed user shortcut's desktop binding out of the desktop's settings.
    void resetShortcut(const QString &name);
    // What a name is called for people: "Show or hide the HUD", "Run “g d”".
    QString titleFor(const QString &name) const;

private:
    void releaseKeysOnceHudIsActive();
    const AppShortcut *userShortcut(const QString &name) const;
    DesktopKeyBinding desktopBindingFor(const AppShortcut &shortcut) const;
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
