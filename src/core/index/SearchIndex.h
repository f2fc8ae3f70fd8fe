#pragma once

#include "FileItem.h"

#include <QString>
#include <vector>

namespace runel {

struct SearchItem {
    const FileItem *file = nullptr; // into the FileIndex of the same ScriptIndex
    QString displayName;
    IndexStatus status; // valid, or ignored in search mode
};

struct SearchIndex {
    std::vector<SearchItem> entries; // one per readable file, in scan order
    std::vector<const SearchItem *> searchableItems; // the valid entries, in order

    SearchIndex() = default;
    SearchIndex(const SearchIndex &) = delete; // searchableItems point into entries
    SearchIndex &operator=(const SearchIndex &) = delete;
    SearchIndex(SearchIndex &&) = default;
    SearchIndex &operator=(SearchIndex &&) = default;

    static SearchIndex build(const std::vector<FileItem> &files, bool enhanceLabels);
    // The same with the display name of every file already worked out, one per file.
    static SearchIndex build(const std::vector<FileItem> &files, const std::vector<QString> &names);
};

} // namespace runel
