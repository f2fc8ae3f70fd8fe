#include "SequenceIndex.h"

#include "IndexCandidate.h"
#include "Labels.h"
#include "SequencePathTree.h"
#include "core/threading/WorkerThreads.h"

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
    SequenceIndex index = buildUnnamed(files);
    index.nameEntries(files, names);
    return index;
}

namespace {

// The item of one candidate, valid or not by its own keys; duplicates are found later.
SequenceItem unnamedItem(const IndexCandidate &candidate, const std::vector<KeyGroup> &keyGroups)
{
    SequenceItem item;
    item.file = candidate.file;
    size_t count = 0;
    for (const KeyGroup &group : keyGroups)
        count += group.size();
    item.flatKeys.reserve(count);
    for (const KeyGroup &group : keyGroups) {
        item.flatKeys.insert(item.flatKeys.end(), group.begin(), group.end());
        item.groupEnds.append(quint16(item.flatKeys.size()));
    }
    item.status = candidate.status;
    if (item.status.isValid()
        && !std::all_of(item.flatKeys.begin(), item.flatKeys.end(),
            [](const Key &key) { return isTypableKey(key); }))
        item.status = IndexStatus::invalid(IndexInvalidReason::invalidKey);
    return item;
}

// Marks every valid item whose key sequence another valid item has too: both are invalid.
// sequences and hashes hold each valid item's sequence and its hash. Sorted by hash, the items
// that may share a sequence stand together, and only those are compared.
void markSharedSequences(std::vector<SequenceItem> &items, const std::vector<QString> &sequences,
    const std::vector<size_t> &hashes)
{
    std::vector<std::pair<size_t, size_t>> byHash; // (hash, item)
    byHash.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].status.isValid())
            byHash.emplace_back(hashes[i], i);
    }
    std::sort(byHash.begin(), byHash.end());
    const IndexStatus shared = IndexStatus::invalid(IndexInvalidReason::duplicateSequence);
    for (size_t run = 0, end = 0; run < byHash.size(); run = end) {
        while (end < byHash.size() && byHash[end].first == byHash[run].first)
            ++end;
        for (size_t a = run; a < end; ++a) {
            for (size_t b = a + 1; b < end; ++b) {
                const size_t first = byHash[a].second, second = byHash[b].second;
                if (sequences[first] == sequences[second])
                    items[first].status = items[second].status = shared;
            }
        }
    }
}

} // namespace

SequenceIndex SequenceIndex::buildUnnamed(const std::vector<FileItem> &files)
{
    std::vector<IndexCandidate> candidates = indexCandidates(files, ScriptMode::sequence);
    auto tree = std::make_unique<const SequencePathTree>(candidates);

    SequenceIndex index;
    index.entries.resize(candidates.size());
    std::vector<QString> sequences(candidates.size());
    std::vector<size_t> sequenceHashes(candidates.size());
    // Each item depends on the shared, read-only tree only: the two halves are made at once.
    auto makeItems = [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            index.entries[i] = unnamedItem(candidates[i], tree->keyGroups(i));
            if (index.entries[i].status.isValid()) {
                sequences[i] = keySequenceString(index.entries[i].flatKeys);
                sequenceHashes[i] = qHash(sequences[i]);
            }
        }
    };
    const size_t half = candidates.size() / 2;
    WorkerThreads::runBeside(
        [&] { makeItems(half, candidates.size()); }, [&] { makeItems(0, half); });

    // Scripts that share a key sequence are looked for while the tree, a few thousand small
    // allocations, is freed on the other core.
    WorkerThreads::runBeside(
        [&] {
            tree.reset();
            candidates = {};
        },
        [&] { markSharedSequences(index.entries, sequences, sequenceHashes); });
    for (SequenceItem &item : index.entries) {
        if (item.status.isValid())
            index.reachableItems.push_back(&item);
    }
    return index;
}

void SequenceIndex::nameEntries(
    const std::vector<FileItem> &files, const std::vector<QString> &names)
{
    for (SequenceItem &item : entries)
        item.displayName = names[size_t(item.file - files.data())];
}

} // namespace runel
