#pragma once

#include "FileItem.h"

#include <vector>

namespace runel {

// A readable file together with its status in one mode. Points into the FileIndex it was made
// from, which must outlive it.
struct IndexCandidate {
    const FileItem *file = nullptr;
    IndexStatus status;
};

// The readable files, in order, each valid or ignored in mode.
std::vector<IndexCandidate> indexCandidates(const std::vector<FileItem> &files, ScriptMode mode);

} // namespace runel
