#pragma once

#include "FileItem.h"
#include "Keys.h"

#include <QString>
#include <vector>

namespace runel {

struct SequenceItem {
    const FileItem *file = nullptr; // into the FileIndex of the same ScriptIndex
    QString displayName;
    IndexStatus status; // valid, ignored, invalidKey or duplicateSequence
    std::vector<KeyGroup> keyGroups; // one group per path component
    KeyGroup flatKeys; // the groups concatenated
};

struct SequenceIndex {
    std::vector<SequenceItem> entries; // one per readable file, in scan order
    std::vector<const SequenceItem *> reachableItems; // the valid entries, in order

    SequenceIndex() = default;
    SequenceIndex(const SequenceIndex &) = delete; // reachableItems point into entries
    SequenceIndex &operator=(const SequenceIndex &) = delete;
    SequenceIndex(SequenceIndex &&) = default;
    SequenceIndex &operator=(SequenceIndex &&) = default;

    static SequenceIndex build(const std::vector<FileItem> &files, bool enhanceLabels);
    // The same with the display name of every file already worked out, one per file.
    static SequenceIndex build(
        const std::vector<FileItem> &files, const std::vector<QString> &names);

    // build in two steps, for working out the display names on another thread meanwhile:
    // the entries without their names, then the names, one per file.
    static SequenceIndex buildUnnamed(const std::vector<FileItem> &files);
    void nameEntries(const std::vector<FileItem> &files, const std::vector<QString> &names);
};

} // namespace runel
