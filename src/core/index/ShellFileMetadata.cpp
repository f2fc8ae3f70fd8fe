#include "ShellFileMetadata.h"

#include "core/Json.h"
#include "core/text/Text.h"

#include <cstring>
#include <string_view>

namespace runel {
namespace {

std::optional<ScriptArgument> parseArgument(QStringView value)
{
    const QByteArray utf8 = value.toUtf8();
    const nlohmann::json json
        = parseJson(std::string_view(utf8.constData(), size_t(utf8.size()))).value_or({});
    if (!json.is_object())
        return std::nullopt;
    auto member = [&json](const char *name) {
        const auto found = json.find(name);
        if (found == json.end() || !found->is_string())
            return QString();
        return QString::fromStdString(found->get<std::string>());
    };
    const auto secret = json.find("secret");
    return ScriptArgument { member("placeholder"), member("value"),
        secret != json.end() && secret->is_boolean() && secret->get<bool>() };
}

void parseLine(ShellFileMetadata &metadata, QStringView line, QStringView prefix)
{
    if (const std::optional<AnnotationLine> annotation = annotationIn(line, prefix))
        metadata.apply(annotation->key, annotation->value);
}

// The length of the newline that starts at data[i], or 0. Valid UTF-8 is assumed.
size_t newlineLength(const char *data, size_t size, size_t i)
{
    const auto byte = static_cast<unsigned char>(data[i]);
    if (byte >= 0x0A && byte <= 0x0D)
        return 1;
    if (byte == 0xC2 && i + 1 < size && static_cast<unsigned char>(data[i + 1]) == 0x85)
        return 2;
    if (byte == 0xE2 && i + 2 < size && static_cast<unsigned char>(data[i + 1]) == 0x80) {
        const auto third = static_cast<unsigned char>(data[i + 2]);
        if (third == 0xA8 || third == 0xA9)
            return 3;
    }
    return 0;
}

} // namespace

void ShellFileMetadata::apply(QStringView key, std::optional<QStringView> value)
{
    if (key == u"label") {
        label = value ? std::optional(value->toString()) : std::nullopt;
    } else if (key == u"argument") {
        argument = value ? parseArgument(*value) : std::nullopt;
    } else if (key == u"output") {
        output = value && *value == u"background" ? OutputMode::background : OutputMode::foreground;
    } else if (key == u"pinned") {
        pinned = !value || *value == u"true";
    } else if (key == u"ignore") {
        ignored = !value || *value == u"true";
        ignoredModes = {};
        if (value && *value == u"sequence")
            ignoredModes = ScriptModes::of(ScriptMode::sequence);
        else if (value && *value == u"search")
            ignoredModes = ScriptModes::of(ScriptMode::search);
    } else if (key == u"icon") {
        icon = value ? std::optional(value->toString()) : std::nullopt;
    } else if (key == u"fallback") {
        if (!value || *value == u"true")
            fallback = FallbackMode::enabled();
        else if (*value == u"false")
            fallback = FallbackMode::disabled();
        else
            fallback = FallbackMode::matching(value->toString());
    }
}

ShellFileMetadata ShellFileMetadata::parse(QStringView text, QStringView prefix)
{
    ShellFileMetadata metadata;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text::isNewline(text[i].unicode())) {
            parseLine(metadata, text.sliced(start, i - start), prefix);
            start = i + 1;
        }
    }
    return metadata;
}

ShellFileMetadata ShellFileMetadata::parseUtf8(const char *data, size_t size, QStringView prefix)
{
    ShellFileMetadata metadata;
    forEachMarkedLine({ data, size }, [&](size_t start, size_t end) {
        parseLine(metadata, QString::fromUtf8(data + start, qsizetype(end - start)), prefix);
    });
    return metadata;
}

std::optional<AnnotationLine> annotationIn(QStringView line, QStringView prefix)
{
    const QStringView trimmed = text::trimmedWhitespace(line);
    if (!trimmed.startsWith(prefix))
        return std::nullopt;
    QStringView rest = trimmed.sliced(prefix.size());
    while (rest.startsWith(u' '))
        rest = rest.sliced(1);
    if (rest.isEmpty())
        return std::nullopt;
    const qsizetype space = rest.indexOf(u' ');
    if (space < 0)
        return AnnotationLine { rest, std::nullopt };
    // After the line was trimmed, something other than whitespace follows the spaces.
    return AnnotationLine { rest.first(space), text::trimmedWhitespace(rest.sliced(space)) };
}

void forEachMarkedLine(std::string_view utf8, const std::function<void(size_t, size_t)> &visit)
{
    // Every annotation line contains the marker, so only the lines around its occurrences are
    // looked at, in file order.
    static constexpr std::string_view marker = "@runel.";
    const char *data = utf8.data();
    const size_t size = utf8.size();
    size_t searchFrom = 0;
    while (searchFrom < size) {
        const size_t found = utf8.find(marker, searchFrom);
        if (found == std::string_view::npos)
            break;
        size_t lineStart = found;
        while (lineStart > 0) {
            // A newline ends at lineStart - 1; look back up to three bytes for its start.
            bool atNewline = false;
            for (size_t length = 1; length <= 3 && length <= lineStart; ++length) {
                if (newlineLength(data, size, lineStart - length) == length) {
                    atNewline = true;
                    break;
                }
            }
            if (atNewline)
                break;
            --lineStart;
        }
        size_t lineEnd = found;
        while (lineEnd < size && newlineLength(data, size, lineEnd) == 0)
            ++lineEnd;
        visit(lineStart, lineEnd);
        searchFrom = lineEnd;
    }
}

} // namespace runel
