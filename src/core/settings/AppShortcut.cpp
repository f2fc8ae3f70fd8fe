#include "AppShortcut.h"

#include "core/Uuid.h"

namespace runel {

nlohmann::json encodeShortcuts(const std::vector<AppShortcut> &shortcuts)
{
    nlohmann::json array = nlohmann::json::array();
    for (const AppShortcut &shortcut : shortcuts) {
        array.push_back({
            { "id", uuidString(shortcut.id).toStdString() },
            { "keySequence", shortcut.keySequence.toStdString() },
        });
    }
    return array;
}

std::optional<std::vector<AppShortcut>> decodeShortcuts(const nlohmann::json &value)
{
    if (!value.is_array())
        return std::nullopt;
    std::vector<AppShortcut> shortcuts;
    shortcuts.reserve(value.size());
    for (const nlohmann::json &element : value) {
        if (!element.is_object())
            return std::nullopt;
        const auto id = element.find("id");
        const auto keySequence = element.find("keySequence");
        if (id == element.end() || !id->is_string() || keySequence == element.end()
            || !keySequence->is_string())
            return std::nullopt;
        const std::optional<QUuid> uuid = uuidFromString(id->get_ref<const std::string &>());
        if (!uuid)
            return std::nullopt;
        shortcuts.push_back(
            { *uuid, QString::fromStdString(keySequence->get_ref<const std::string &>()) });
    }
    return shortcuts;
}

} // namespace runel
