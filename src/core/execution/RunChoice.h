#pragma once

#include "ListEntry.h"
#include "core/index/FileItem.h"

#include <QString>
#include <vector>

namespace runel {

// How a chosen script runs, decided the same way for the HUD and the command line.

// Whether the script runs in the foreground (its output shown as it comes, waited for) rather
// than in the background.
bool runsInForeground(const FileItem &file);

// The script a chosen list entry names, by its path relative to the scripts folder, among the
// indexed files; null when none has that path (the message below then says so).
const FileItem *scriptOfEntry(const std::vector<FileItem> &files, const ListEntry &entry);
// What a run reports when scriptOfEntry() found nothing; the caller makes the name safe to
// show where it shows it.
QString scriptNotFoundMessage(const QString &script);

} // namespace runel
