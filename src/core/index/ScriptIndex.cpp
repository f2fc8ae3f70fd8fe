#include "ScriptIndex.h"

#include "Labels.h"
#include "core/threading/WorkerThreads.h"

#include <algorithm>

namespace runel {

std::unique_ptr<ScriptIndex> ScriptIndex::build(FileIndex files, const Configuration &configuration)
{
    auto index = std::make_unique<ScriptIndex>();
    index->file = std::move(files);
    const std::vector<FileItem> &entries = index->file.entries;
    // The names and the search index take one core while the sequence index takes the other.
    std::vector<QString> names;
    WorkerThreads::runBeside(
        [&] {
            names = displayNames(entries, configuration.enhanceLabels);
            index->search = SearchIndex::build(entries, names);
        },
        [&] { index->sequence = SequenceIndex::buildUnnamed(entries); });
    index->sequence.nameEntries(entries, names);
    index->health = buildHealthList(entries, index->search, index->sequence, names);
    return index;
}

Expected<std::unique_ptr<ScriptIndex>> ScriptIndex::scanAndBuild(
    const QString &root, const Configuration &configuration)
{
    Expected<FileIndex> scanned = FileIndex::scan(root, configuration.fileIndex);
    if (!scanned)
        return Failure { scanned.error() };
    return build(std::move(scanned).value(), configuration);
}

std::span<const ScriptFinding> ScriptIndex::findingsFor(const QString &path) const
{
    const auto [first, last]
        = std::equal_range(findings.begin(), findings.end(), ScriptFinding { path, 0, {} },
            [](const ScriptFinding &a, const ScriptFinding &b) { return a.path < b.path; });
    return { first, last };
}

std::shared_ptr<const ScriptIndex> ScriptIndex::empty()
{
    static const std::shared_ptr<const ScriptIndex> index = build(FileIndex(), Configuration());
    return index;
}

} // namespace runel
