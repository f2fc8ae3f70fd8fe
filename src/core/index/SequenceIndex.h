#pragma once

#include "FileItem.h"
#include "Keys.h"

#include <QString>
#include <QVarLengthArray>
#include <span>
#include <vector>

namespace runel {

struct SequenceItem {
    const FileItem *file = nullptr; // into the FileIndex of the same ScriptIndex
    QString displayName;
    IndexStatus status; // valid, ignored, invalidKey or duplicateSequence
    KeyGroup flatKeys; // the keys of every path component, one component after the other
    // Where each component's group of keys ends in flatKeys. Kept as positions rather than as
    // a list of groups: at thousands of scripts a second copy of every key was a quarter of
    // the index. A path has at most 4,096 bytes, so its keys fit 16 bits.
    QVarLengthArray<quint16, 6> groupEnds;

    size_t groupCount() const { return size_t(groupEnds.size()); }
    // The keys of path component i (the last one is the file's).
    std::span<const Key> keyGroup(size_t i) const
    {
        const size_t start = i == 0 ? 0 : groupEnds[qsizetype(i) - 1];
        return std::span(flatKeys).subspan(start, groupEnds[qsizetype(i)] - start);
    }
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
