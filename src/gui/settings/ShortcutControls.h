#pragma once

#include "KeyboardShortcuts/Recorder/Recorder.h"
#include "core/settings/AppShortcut.h"
#include "gui/platform/DesktopKeyBinding.h"

#include <QObject>
#include <vector>

class QWidget;

namespace runel {
class ConfigManager;
}

namespace runel::gui {

// The settings window's controls for binding hot keys: the recorder of a name's combination or,
// where this desktop gives Runel no global keys, what to do instead; and the desktop binding
// under a user shortcut's row. Main thread; the collaborators must outlive it.
class ShortcutControls : public QObject {
    Q_OBJECT
public:
    // reserved: the app's own keys (Ctrl+, ...), which the recorder refuses.
    ShortcutControls(KeyboardShortcuts::Service &service, ConfigManager &configManager,
        std::vector<KeyboardShortcuts::Recorder::ReservedShortcut> reserved,
        QObject *parent = nullptr);

    QWidget *makeRecorder(const QString &name, QWidget *parent);
    // Under a user shortcut's row where Runel has no hot keys of its own (none on this desktop,
    // or the portal's refused): the desktop binding of its "runel show --keys KEYS", following
    // edits of its keys and combination. Null where Runel's hot keys work.
    QWidget *makeDesktopBinding(const QString &name, QWidget *parent);
    // Forgets a removed shortcut's combination, and takes its desktop binding out of the
    // desktop's settings.
    void resetShortcut(const QString &name);

private:
    DesktopKeyBinding desktopBindingFor(const AppShortcut &shortcut) const;
    DesktopKeyBinding toggleBinding() const;

    KeyboardShortcuts::Service &m_service;
    ConfigManager &m_configManager;
    std::vector<KeyboardShortcuts::Recorder::ReservedShortcut> m_reserved;
};

} // namespace runel::gui
