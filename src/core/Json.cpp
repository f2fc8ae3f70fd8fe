#include "Json.h"

namespace runel {
namespace {

// The deepest nesting of arrays and objects in text, counted outside strings; stops counting
// past limit. A pass over bytes costs less than the parser's per-value callback would.
int nestingDepth(std::string_view text, int limit)
{
    int depth = 0, deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size() && deepest <= limit; ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

} // namespace

Expected<nlohmann::json> parseJson(std::string_view utf8)
{
    if (nestingDepth(utf8, maxJsonDepth) > maxJsonDepth)
        return Failure { QStringLiteral("nested more than %1 levels deep").arg(maxJsonDepth) };
    try {
        return nlohmann::json::parse(utf8.begin(), utf8.end());
    } catch (const nlohmann::json::exception &error) {
        // Syntax errors and out-of-range numbers are reported by throwing; they stop here.
        return Failure { QString::fromUtf8(error.what()) };
    }
}

} // namespace runel
