#pragma once

#include "FileItem.h"
#include "core/Expected.h"

#include <QString>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace runel {

// The script files below a scripts folder, in a fixed depth-first order.
struct FileIndex {
    struct Configuration {
        int maxFilesPerFolder = 64;
        int maxFolderDepth = 6;
        // When set, called with every script read whole and valid UTF-8, before its item is
        // kept: on the scan's reader threads, for several files at once.
        std::function<void(const FileItem &item, std::string_view text)> inspect;
    };

    // A file or folder the limits above kept out of the scan.
    struct Skipped {
        enum class Reason { pastFileLimit, tooDeep };
        QString path; // absolute, as the items' paths
        Reason reason = Reason::pastFileLimit;
    };

    std::vector<FileItem> entries;
    std::vector<Skipped> skipped; // in walk order

    // Walks root. Fails as a whole (with what went wrong, for the user) when a folder cannot
    // be listed; a single file that cannot be read becomes an item with a read failure instead.
    static Expected<FileIndex> scan(const QString &root, Configuration configuration);
};

} // namespace runel
