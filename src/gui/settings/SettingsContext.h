#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace runel {
class ConfigManager;
class LaunchAtLogin;
class LogStore;
class ScriptStore;
class SystemServices;
} // namespace runel

namespace runel::gui {

// What the settings window works on. The references must outlive the window.
struct SettingsContext {
    ConfigManager &config;
    ScriptStore &scriptStore;
    LogStore &logStore;
    SystemServices &services;
    LaunchAtLogin &launchAtLogin;
    // The hot key recorder for a shortcut name ("toggleSearchWindow", "toggleSearchMode",
    // "shortcut-" + upper-case UUID), made as a child of parent.
    std::function<QWidget *(const QString &shortcutName, QWidget *parent)> recorder;
    // Removes the stored key combination of a shortcut name and unregisters it.
    std::function<void(const QString &shortcutName)> resetShortcut;
    // Called after every write to the settings, so the window can show a failed save. Set by
    // the window.
    std::function<void()> written = {};
    // Under a user shortcut's row, where Runel has no hot keys of its own: the desktop binding
    // of "runel show --keys KEYS", made as a child of parent. Null (or unset) where the hot
    // keys work.
    std::function<QWidget *(const QString &shortcutName, QWidget *parent)> desktopBinding = {};
};

} // namespace runel::gui
