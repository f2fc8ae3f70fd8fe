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

QString annotationPrefix(ScriptType type)
{
    return type == ScriptType::shell ? QStringLiteral("# @runel.") : QStringLiteral("-- @runel.");
}

} // namespace runel
