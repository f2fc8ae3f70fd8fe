#pragma once

#include "core/execution/ListEntry.h"
#include "core/index/CommandResolver.h"
#include "core/index/FileItem.h"
#include "core/index/Keys.h"
#include "core/index/SequenceIndex.h"

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

namespace runel {

// A folder row of the sequence-mode list: a folder on the way to one or more scripts.
struct FolderRow {
    QString displayName; // the name shown
    QString rawName; // the folder's name on disk
    KeyGroup keys; // the keys of the folder's label still to be typed
    qint64 matchedKeyCount = 0; // the keys of that label already typed
    bool operator==(const FolderRow &) const = default;
};

// One row of the sequence-mode list: a script the typed keys reach or may reach, or a folder.
// A script row points into the SequenceIndex it was resolved against; keep that index alive
// while the row is in use.
class ListItem {
public:
    static ListItem file(const SequenceItem *item) { return ListItem(item, {}); }
    static ListItem folder(FolderRow row) { return ListItem(nullptr, std::move(row)); }

    bool isFile() const { return m_file != nullptr; }
    bool isFolder() const { return m_file == nullptr; }
    const SequenceItem *sequenceItem() const { return m_file; } // null for a folder row
    const FolderRow &folderRow() const { return m_folder; } // empty for a script row

    bool operator==(const ListItem &) const = default;

private:
    ListItem(const SequenceItem *file, FolderRow folder)
        : m_file(file)
        , m_folder(std::move(folder))
    { }
    const SequenceItem *m_file = nullptr;
    FolderRow m_folder;
};

// What one row of the results list shows. Offsets and counts are in characters (extended
// grapheme clusters); a count of 0 means no highlight.
struct ResultDisplayItem {
    QString icon; // a symbol name ("doc.fill", "folder.fill", an icon annotation as written)
    QString title;
    qint64 titleHighlightCount = 0;
    qint64 titleHighlightOffset = 0;
    std::optional<QString> subtitle;
    std::optional<QString> keyHint; // keys still to type, shown as a badge
    qint64 subtitleHighlightCount = 0;
    qint64 subtitleHighlightOffset = 0;
    // Characters of the file name without its extension when the subtitle is a file name (the
    // view draws the rest of it differently), else 0.
    qint64 subtitleStemCount = 0;
    bool operator==(const ResultDisplayItem &) const = default;
};

// The icon of a script: "pin.fill" when pinned, else its non-empty icon annotation, else
// "applescript" or "doc.fill" by script type.
QString scriptIcon(const ShellFileMetadata &metadata, ScriptType scriptType);

// The sequence-mode rows for the typed keys and what they resolve to: pinned scripts, then one
// folder row per folder being typed through, then the other scripts, each group in resolver
// order. Folder names are enhanced when enhanceLabels is on. No keys give no rows.
std::vector<ListItem> resultItems(
    const KeyGroup &keys, const CommandResolver::ResolveResult &resolved, bool enhanceLabels);

// What a sequence-mode row shows after typedKeyCount keys: key hint and typed-key highlight.
ResultDisplayItem displayItem(const ListItem &row, qsizetype typedKeyCount);
std::vector<ResultDisplayItem> displayItems(
    const std::vector<ListItem> &rows, qsizetype typedKeyCount);

// What the rows of a filtered script-produced list show, highlighting filterText.
std::vector<ResultDisplayItem> displayItems(
    const std::vector<ListEntry> &filteredEntries, QStringView filterText);

} // namespace runel
