#pragma once

#include "KeyboardShortcuts/ShortcutStorage.h"
#include "core/settings/SettingsFile.h"

namespace runel::gui {

// The hot keys' combinations in settings.json, beside the other settings. Give it the settings
// store's own SettingsFile: two objects on one file would overwrite each other's keys.
class SettingsShortcutStorage : public KeyboardShortcuts::ShortcutStorage {
public:
    explicit SettingsShortcutStorage(SettingsFile &file)
        : m_file(file)
    { }

    nlohmann::json value(const QString &key) const override
    {
        return m_file.value(key.toStdString());
    }
    bool setValue(const QString &key, const nlohmann::json &value) override
    {
        return value.is_null() ? m_file.removeValue(key.toStdString())
                               : m_file.setValue(key.toStdString(), value);
    }

private:
    SettingsFile &m_file;
};

} // namespace runel::gui
