#include "RunChoice.h"

#include <algorithm>

namespace runel {

bool runsInForeground(const FileItem &file)
{
    return file.metadata.output == OutputMode::foreground;
}

const FileItem *scriptOfEntry(const std::vector<FileItem> &files, const ListEntry &entry)
{
    const auto found = std::find_if(files.begin(), files.end(),
        [&entry](const FileItem &file) { return file.relativePath == entry.script; });
    return found == files.end() ? nullptr : &*found;
}

QString scriptNotFoundMessage(const QString &script)
{
    return QStringLiteral("Script not found: ") + script;
}

} // namespace runel
