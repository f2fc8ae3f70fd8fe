// The last line a script prints, read as a list of entries. A line that decodes must say exactly
// what it holds: writing the entries back as JSON and decoding that gives the same entries, and
// the list has one entry per element of the array.
#include "FuzzSupport.h"

#include "core/execution/ListEntry.h"

#include <nlohmann/json.hpp>

using namespace runel;

namespace {

std::string utf8(const QString &text)
{
    return text.toStdString();
}

std::string encode(const std::vector<ListEntry> &entries)
{
    nlohmann::json array = nlohmann::json::array();
    for (const ListEntry &entry : entries) {
        nlohmann::json object
            = { { "title", utf8(entry.title) }, { "script", utf8(entry.script) } };
        if (entry.icon)
            object["icon"] = utf8(*entry.icon);
        if (entry.subtitle)
            object["subtitle"] = utf8(*entry.subtitle);
        if (entry.arguments) {
            nlohmann::json arguments = nlohmann::json::array();
            for (const QString &argument : *entry.arguments)
                arguments.push_back(utf8(argument));
            object["arguments"] = std::move(arguments);
        }
        array.push_back(std::move(object));
    }
    return array.dump();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view line = fuzz::bytesOf(data, size);
    const std::optional<std::vector<ListEntry>> entries = decodeListEntries(line);
    if (!entries)
        return 0;
    const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    FUZZ_CHECK(parsed.is_array() && parsed.size() == entries->size());
    FUZZ_CHECK(decodeListEntries(encode(*entries)) == entries);
    return 0;
}
