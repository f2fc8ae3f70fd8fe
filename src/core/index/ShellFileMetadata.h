#pragma once

#include <QString>
#include <QStringView>
#include <functional>
#include <optional>
#include <string_view>

namespace runel {

enum class OutputMode { foreground, background };

// The two modes of the HUD: typing key sequences, and free-text search.
enum class ScriptMode { sequence, search };

// A set of ScriptMode values.
class ScriptModes {
public:
    ScriptModes() = default;
    static ScriptModes of(ScriptMode mode) { return ScriptModes(bit(mode)); }
    bool contains(ScriptMode mode) const { return m_bits & bit(mode); }
    bool isEmpty() const { return m_bits == 0; }
    bool operator==(const ScriptModes &) const = default;

private:
    explicit ScriptModes(unsigned bits)
        : m_bits(bits)
    { }
    static unsigned bit(ScriptMode mode) { return 1u << unsigned(mode); }
    unsigned m_bits = 0;
};

struct ScriptArgument {
    QString placeholder;
    QString value;
    // Typed as a password: masked in the HUD, never written anywhere by Runel.
    bool secret = false;
    bool operator==(const ScriptArgument &) const = default;
};

struct FallbackMode {
    enum class Kind { pattern, disabled, enabled };
    Kind kind = Kind::disabled;
    QString pattern; // the regular expression, for Kind::pattern only

    static FallbackMode disabled() { return {}; }
    static FallbackMode enabled() { return { Kind::enabled, {} }; }
    static FallbackMode matching(QString expression)
    {
        return { Kind::pattern, std::move(expression) };
    }
    bool operator==(const FallbackMode &) const = default;
};

// What a script says about itself in "@runel." comment lines.
struct ShellFileMetadata {
    std::optional<QString> label;
    std::optional<ScriptArgument> argument;
    OutputMode output = OutputMode::foreground;
    bool pinned = false;
    bool ignored = false;
    ScriptModes ignoredModes;
    std::optional<QString> icon;
    FallbackMode fallback;

    bool isIgnoredIn(ScriptMode mode) const { return ignored || ignoredModes.contains(mode); }
    bool operator==(const ShellFileMetadata &) const = default;

    // Reads every annotation line of a script's text; never fails. prefix is the comment
    // prefix of the script's language, "# @runel." or "-- @runel.".
    static ShellFileMetadata parse(QStringView text, QStringView prefix);

    // The same over UTF-8 bytes that are known to be valid: only lines that mention the
    // annotation marker are decoded, so a large script costs one pass over its bytes.
    static ShellFileMetadata parseUtf8(const char *data, size_t size, QStringView prefix);

    // Applies one annotation; value is absent when the line has no value.
    void apply(QStringView key, std::optional<QStringView> value);
};

// One annotation line taken apart: the key, and the value when the line has one (trimmed, never
// empty).
struct AnnotationLine {
    QStringView key;
    std::optional<QStringView> value;
};

// The annotation one line of a script holds, if any, by the rules parse() applies.
std::optional<AnnotationLine> annotationIn(QStringView line, QStringView prefix);

// Calls visit(start, end) with the byte range of every line of utf8 (known to be valid) that
// mentions the annotation marker, in file order: the only lines that can be annotations.
void forEachMarkedLine(std::string_view utf8, const std::function<void(size_t, size_t)> &visit);

} // namespace runel
