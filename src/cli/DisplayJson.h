#pragma once

#include "IndexNames.h"

#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

namespace runel::cli {

// The display fields of a HUD row as `search --json` and `resolve --json` write them.

// A highlight as [offset, count] in characters, or null when there is none.
inline nlohmann::ordered_json highlightJson(qint64 offset, qint64 count)
{
    if (count == 0)
        return nullptr;
    return nlohmann::ordered_json::array({ offset, count });
}

// A text, or null when there is none.
inline nlohmann::ordered_json optionalJson(const std::optional<QString> &text)
{
    return text ? nlohmann::ordered_json(utf8(*text)) : nlohmann::ordered_json(nullptr);
}

} // namespace runel::cli
