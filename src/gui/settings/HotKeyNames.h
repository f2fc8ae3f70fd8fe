#pragma once

#include "KeyboardShortcuts/Name.h"
#include "core/settings/AppShortcut.h"

#include <QCoreApplication>
#include <QUuid>
#include <vector>

namespace runel::gui {

// The names Runel's hot keys are kept under, and what they are called for people. Shared by the
// app, which installs their handlers, and the settings window, which records them.
class HotKeyNames {
    Q_DECLARE_TR_FUNCTIONS(HotKeyNames)
public:
    static const KeyboardShortcuts::Name toggleSearchWindow; // default Super+Shift+L
    static const KeyboardShortcuts::Name toggleSearchMode; // no default
    // "shortcut-" + the id's upper-case UUID: the name a user shortcut's combination is kept under.
    static KeyboardShortcuts::Name nameFor(const QUuid &id);
    // The user shortcut kept under name; null for the built-in names and unknown ones.
    static const AppShortcut *userShortcut(
        const QString &name, const std::vector<AppShortcut> &shortcuts);
    // "Show or hide the HUD", "Run “g d”"; the raw name when it is none of these.
    static QString titleFor(const QString &name, const std::vector<AppShortcut> &shortcuts);
};

} // namespace runel::gui
