#include "SearchIndex.h"

#include "IndexCandidate.h"
#include "Labels.h"

namespace runel {

SearchIndex SearchIndex::build(const std::vector<FileItem> &files, bool enhanceLabels)
{
    return build(files, displayNames(files, enhanceLabels));
}

SearchIndex SearchIndex::build(
    const std::vector<FileItem> &files, const std::vector<QString> &names)
{
    SearchIndex index;
    const std::vector<IndexCandidate> candidates = indexCandidates(files, ScriptMode::search);
    index.entries.reserve(candidates.size());
    for (const IndexCandidate &candidate : candidates)
        index.entries.push_back(
            { candidate.file, names[size_t(candidate.file - files.data())], candidate.status });
    for (const SearchItem &item : index.entries) {
        if (item.status.isValid())
            index.searchableItems.push_back(&item);
    }
    return index;
}

} // namespace runel
