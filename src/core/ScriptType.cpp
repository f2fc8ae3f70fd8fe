#include "ScriptType.h"

namespace runel {

std::optional<ScriptType> scriptTypeForExtension(QStringView extension)
{
    if (extension.compare(u"sh", Qt::CaseInsensitive) == 0)
        return ScriptType::shell;
    if (extension.compare(u"applescript", Qt::CaseInsensitive) == 0)
        return ScriptType::appleScript;
    return std::nullopt;
}

std::optional<ScriptType> scriptTypeForFileName(QStringView name)
{
    if (name.startsWith(u'.'))
        return std::nullopt;
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? scriptTypeForExtension(name.sliced(dot + 1)) : std::nullopt;
}

QString annotationPrefix(ScriptType type)
{
    return type == ScriptType::shell ? QStringLiteral("# @runel.") : QStringLiteral("-- @runel.");
}

} // namespace runel
