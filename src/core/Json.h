#pragma once

#include <QString>
#include <nlohmann/json.hpp>
#include <string_view>

namespace runel {

// Every JSON document Runel reads from outside (settings.json, a list a script prints, log
// records, an annotation's argument) is parsed here: strictly (top-level scalars allowed), never
// throwing, and no deeper than maxJsonDepth, since freeing or writing back a document recurses
// once per level and a line of brackets must not cost a deep stack.
inline constexpr int maxJsonDepth = 256;

struct ParsedJson {
    nlohmann::json value; // discarded (is_discarded()) when the text was refused
    QString error; // why it was refused, for the user; empty when it was read
    bool ok() const { return error.isEmpty(); }
};

ParsedJson parseJson(std::string_view utf8);

} // namespace runel
