#pragma once

#include <QString>
#include <nlohmann/json.hpp>

namespace runel::KeyboardShortcuts {

// Where the combinations are kept: the app's settings file, a map in tests. One value per key:
// the shortcut's object, false (cleared although the name has a default), or none (unbound).
class ShortcutStorage {
public:
    virtual ~ShortcutStorage() = default;
    // The stored value, or null when the key is absent.
    virtual nlohmann::json value(const QString &key) const = 0;
    // Stores value, or removes the key when value is null. False when it could not be saved.
    virtual bool setValue(const QString &key, const nlohmann::json &value) = 0;
};

} // namespace runel::KeyboardShortcuts
