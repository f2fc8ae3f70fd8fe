#pragma once

#include <QString>
#include <QStringView>
#include <vector>

namespace runel {

struct FileItem;

// Cleans up a file or folder name for display: "-" and "_" become spaces, words get a capital,
// known acronyms and brand names their usual spelling; a word with a capital is left alone.
QString enhanceLabel(QStringView name);

// The name the user sees for a script: its "label" annotation, or its file name without
// extension, enhanced when enhanceLabels is on.
QString displayName(const FileItem &file, bool enhanceLabels);

// The display names of files, in order.
std::vector<QString> displayNames(const std::vector<FileItem> &files, bool enhanceLabels);

// A folder or file name as the HUD shows it for a path component.
QString componentLabel(QStringView name, bool enhanceLabels);

} // namespace runel
