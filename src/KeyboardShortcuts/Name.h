#pragma once

#include "Shortcut.h"

#include <QString>
#include <optional>

namespace runel::KeyboardShortcuts {

// A bindable shortcut, known by its raw value ("toggleSearchWindow", "shortcut-<UUID>"). Its
// combination lives in the settings under "KeyboardShortcuts_" + rawValue. Service::addName
// stores initialShortcut the first time the name is seen.
struct Name {
    QString rawValue;
    std::optional<Shortcut> initialShortcut;

    // Two names are the same name when their raw values are equal.
    bool operator==(const Name &other) const { return rawValue == other.rawValue; }
    QString storageKey() const { return QStringLiteral("KeyboardShortcuts_") + rawValue; }
};

} // namespace runel::KeyboardShortcuts
