#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace runel {

enum class ScriptType { shell, appleScript };

// "sh" gives shell, "applescript" gives appleScript, in any letter case; anything else none.
std::optional<ScriptType> scriptTypeForExtension(QStringView extension);

// The comment prefix that starts an annotation line in a script of this type.
QString annotationPrefix(ScriptType type);

} // namespace runel
