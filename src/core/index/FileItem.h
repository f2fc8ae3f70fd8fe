#pragma once

#include "IndexStatus.h"
#include "ShellFileMetadata.h"
#include "core/ScriptType.h"

#include <QString>
#include <optional>

namespace runel {

// One script file found by the scan. A plain value: safe to copy and to pass between threads.
struct FileItem {
    QString path; // absolute path as listed below the scripts folder (links not resolved)
    QString relativePath; // path below the scripts folder, components joined with "/"
    ShellFileMetadata metadata;
    ScriptType scriptType = ScriptType::shell;
    IndexStatus status;
    std::optional<QString> readError;

    // The identity of a script everywhere: path with "." and ".." resolved.
    QString standardizedPath() const;
    // The file name with its last extension removed ("deploy.prod.sh" gives "deploy.prod").
    QString nameWithoutExtension() const;
    bool operator==(const FileItem &) const = default;
};

} // namespace runel
