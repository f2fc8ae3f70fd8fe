#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace runel {

enum class ScriptType { shell, appleScript };

// "sh" gives shell, "applescript" gives appleScript, in any letter case; anything else none.
std::optional<ScriptType> scriptTypeForExtension(QStringView extension);

// What a script is, by its name, for everything that looks for scripts (the scan, and seeding
// an empty scripts folder): a name that is not hidden (no leading dot) and ends in a script
// extension. None for any other name.
std::optional<ScriptType> scriptTypeForFileName(QStringView name);

// The comment prefix that starts an annotation line in a script of this type.
QString annotationPrefix(ScriptType type);

} // namespace runel
