#include "settings/AppShortcut.h"

namespace runel {

namespace {

// The standard string form only: 8-4-4-4-12 hex digits, either case, no braces. QUuid alone
// would also take braces and would not tell the nil UUID from garbage.
std::optional<QUuid> parseUuid(const std::string &text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex)
            return std::nullopt;
    }
    return QUuid::fromString(QLatin1String(text.data(), qsizetype(text.size())));
}

} // namespace

nlohmann::json encodeShortcuts(const std::vector<AppShortcut> &shortcuts)
{
    nlohmann::json array = nlohmann::json::array();
    for (const AppShortcut &shortcut : shortcuts) {
        array.push_back({
            { "id", shortcut.id.toString(QUuid::WithoutBraces).toUpper().toStdString() },
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
        const std::optional<QUuid> uuid = parseUuid(id->get_ref<const std::string &>());
        if (!uuid)
            return std::nullopt;
        shortcuts.push_back(
            { *uuid, QString::fromStdString(keySequence->get_ref<const std::string &>()) });
    }
    return shortcuts;
}

} // namespace runel
