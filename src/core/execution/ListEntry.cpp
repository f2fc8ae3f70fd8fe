#include "ListEntry.h"

#include "core/Json.h"

namespace runel {

namespace {

using Json = nlohmann::json;

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A member that must be a string when present; null reads as absent. False when it is another
// type, which fails the entry.
bool readOptionalString(const Json &object, const char *key, std::optional<QString> &into)
{
    const auto found = object.find(key);
    if (found == object.end() || found->is_null())
        return true;
    if (!found->is_string())
        return false;
    into = fromUtf8(found->get_ref<const std::string &>());
    return true;
}

bool readRequiredString(const Json &object, const char *key, QString &into)
{
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string())
        return false;
    into = fromUtf8(found->get_ref<const std::string &>());
    return true;
}

bool readArguments(const Json &object, std::optional<QStringList> &into)
{
    const auto found = object.find("arguments");
    if (found == object.end() || found->is_null())
        return true;
    if (!found->is_array())
        return false;
    QStringList arguments;
    arguments.reserve(qsizetype(found->size()));
    for (const Json &argument : *found) {
        if (!argument.is_string())
            return false;
        arguments.append(fromUtf8(argument.get_ref<const std::string &>()));
    }
    into = std::move(arguments);
    return true;
}

std::optional<ListEntry> readEntry(const Json &element)
{
    if (!element.is_object())
        return std::nullopt;
    ListEntry entry;
    if (!readRequiredString(element, "title", entry.title)
        || !readRequiredString(element, "script", entry.script)
        || !readOptionalString(element, "icon", entry.icon)
        || !readOptionalString(element, "subtitle", entry.subtitle)
        || !readArguments(element, entry.arguments))
        return std::nullopt;
    return entry;
}

} // namespace

std::optional<std::vector<ListEntry>> decodeListEntries(std::string_view utf8)
{
    // Cheap refusal of the common case, a line of plain text.
    const size_t first = utf8.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || utf8[first] != '[')
        return std::nullopt;

    const Json parsed = parseJson(utf8).value_or({});
    if (!parsed.is_array())
        return std::nullopt;

    std::vector<ListEntry> entries;
    entries.reserve(parsed.size());
    for (const Json &element : parsed) {
        std::optional<ListEntry> entry = readEntry(element);
        if (!entry)
            return std::nullopt;
        entries.push_back(std::move(*entry));
    }
    return entries;
}

} // namespace runel
