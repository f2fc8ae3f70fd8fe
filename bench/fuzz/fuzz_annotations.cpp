// Annotation lines of a script's text. Both readers must agree on every valid UTF-8 text: the
// scan uses the byte reader, which decodes only the lines around the marker, and its result must
// be what reading the whole decoded text gives.
#include "FuzzSupport.h"

#include "core/ScriptType.h"
#include "core/index/ShellFileMetadata.h"
#include "core/text/Text.h"

using namespace runel;

namespace {

// A value that an annotation line gave: nothing around it that the parser trims, no newline.
bool isTrimmedLineValue(const std::optional<QString> &value)
{
    if (!value)
        return true;
    if (value->isEmpty())
        return false;
    for (const QChar c : *value) {
        if (text::isNewline(c.unicode()))
            return false;
    }
    return text::trimmedWhitespace(*value).size() == value->size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes = fuzz::bytesOf(data, size);
    const QString decoded = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    const bool valid = fuzz::isValidUtf8(bytes);
    for (const ScriptType type : { ScriptType::shell, ScriptType::appleScript }) {
        const QString prefix = annotationPrefix(type);
        const ShellFileMetadata whole = ShellFileMetadata::parse(decoded, prefix);
        FUZZ_CHECK(isTrimmedLineValue(whole.label));
        FUZZ_CHECK(isTrimmedLineValue(whole.icon));
        FUZZ_CHECK(whole.fallback.kind != FallbackMode::Kind::pattern
            || isTrimmedLineValue(whole.fallback.pattern));
        // The byte reader's contract is valid UTF-8 only: the scan refuses anything else.
        if (valid)
            FUZZ_CHECK(ShellFileMetadata::parseUtf8(bytes.data(), bytes.size(), prefix) == whole);
    }
    return 0;
}
