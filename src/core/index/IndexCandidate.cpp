#include "IndexCandidate.h"

namespace runel {

std::vector<IndexCandidate> indexCandidates(const std::vector<FileItem> &files, ScriptMode mode)
{
    std::vector<IndexCandidate> candidates;
    candidates.reserve(files.size());
    for (const FileItem &file : files) {
        if (!file.status.isValid())
            continue;
        candidates.push_back({ &file,
            file.metadata.isIgnoredIn(mode) ? IndexStatus::invalid(IndexInvalidReason::ignored)
                                            : IndexStatus::valid() });
    }
    return candidates;
}

} // namespace runel
