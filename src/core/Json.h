#pragma once

#include "Expected.h"

#include <nlohmann/json.hpp>
#include <string_view>

namespace runel {

// Every JSON document Runel reads from outside (settings.json, a list a script prints, log
// records, an annotation's argument) is parsed here: strictly (top-level scalars allowed), never
// throwing, and no deeper than maxJsonDepth, since freeing or writing back a document recurses
// once per level and a line of brackets must not cost a deep stack.
inline constexpr int maxJsonDepth = 256;

Expected<nlohmann::json> parseJson(std::string_view utf8);

} // namespace runel
