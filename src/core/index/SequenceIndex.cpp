#include "SequenceIndex.h"

#include "IndexCandidate.h"
#include "Labels.h"
#include "SequencePathTree.h"

#include <QHash>
#include <algorithm>

namespace runel {

SequenceIndex SequenceIndex::build(const std::vector<FileItem> &files, bool enhanceLabels)
{
    return build(files, displayNames(files, enhanceLabels));
}

SequenceIndex SequenceIndex::build(
    const std::vector<FileItem> &files, const std::vector<QString> &names)
{
    const std::vector<IndexCandidate> candidates = indexCandidates(files, ScriptMode::sequence);
    const SequencePathTree tree(candidates);

    SequenceIndex index;
    index.entries.reserve(candidates.size());
    // How many valid scripts share each key sequence: two or more are all invalid.
    QHash<QString, int> sequenceCounts;
    std::vector<QString> sequences(candidates.size());
    for (size_t i = 0; i < candidates.size(); ++i) {
        const IndexCandidate &candidate = candidates[i];
        SequenceItem item;
        item.file = candidate.file;
        item.displayName = names[size_t(candidate.file - files.data())];
        item.keyGroups = tree.keyGroups(i);
        for (const KeyGroup &group : item.keyGroups)
            item.flatKeys.insert(item.flatKeys.end(), group.begin(), group.end());
        item.status = candidate.status;
        if (item.status.isValid()) {
            if (!std::all_of(item.flatKeys.begin(), item.flatKeys.end(),
                    [](const Key &key) { return isTypableKey(key); })) {
                item.status = IndexStatus::invalid(IndexInvalidReason::invalidKey);
            } else {
                sequences[i] = keySequenceString(item.flatKeys);
                ++sequenceCounts[sequences[i]];
            }
        }
        index.entries.push_back(std::move(item));
    }
    for (size_t i = 0; i < index.entries.size(); ++i) {
        SequenceItem &item = index.entries[i];
        if (item.status.isValid() && sequenceCounts.value(sequences[i]) > 1)
            item.status = IndexStatus::invalid(IndexInvalidReason::duplicateSequence);
        if (item.status.isValid())
            index.reachableItems.push_back(&item);
    }
    return index;
}

} // namespace runel
