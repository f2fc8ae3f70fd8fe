#pragma once

#include "Expected.h"
#include "FileItem.h"

#include <QString>
#include <optional>
#include <vector>

namespace runel {

// The script files below a scripts folder, in a fixed depth-first order.
struct FileIndex {
    struct Configuration {
        int maxFilesPerFolder = 64;
        int maxFolderDepth = 6;
    };

    std::vector<FileItem> entries;

    // Walks root. Fails as a whole (with what went wrong, for the user) when a folder cannot
    // be listed; a single file that cannot be read becomes an item with a read failure instead.
    static Expected<FileIndex> scan(const QString &root, Configuration configuration);
};

} // namespace runel
