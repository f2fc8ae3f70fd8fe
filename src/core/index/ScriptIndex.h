#pragma once

#include "FileIndex.h"
#include "ScriptFinding.h"
#include "ScriptHealth.h"
#include "SearchIndex.h"
#include "SequenceIndex.h"

#include <QString>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace runel {

// The result of one index build: the scanned files and three views of them. Immutable once
// built, and not copyable because its views point into its own file list; share it through
// std::shared_ptr<const ScriptIndex>.
struct ScriptIndex {
    struct Configuration {
        bool enhanceLabels = true;
        FileIndex::Configuration fileIndex;
    };

    FileIndex file;
    SearchIndex search;
    SequenceIndex sequence;
    std::vector<ScriptHealthItem> health;
    // Sorted by path, then line; filled only by the builds that ask for it (see ScriptCheck.h).
    std::vector<ScriptFinding> findings;

    // The findings about one file, by its path as the scan listed it.
    std::span<const ScriptFinding> findingsFor(const QString &path) const;

    ScriptIndex() = default;
    ScriptIndex(const ScriptIndex &) = delete;
    ScriptIndex &operator=(const ScriptIndex &) = delete;

    static std::unique_ptr<ScriptIndex> build(FileIndex files, const Configuration &configuration);

    // Scan and build in one go, on the calling thread; fails when the scripts folder cannot be
    // listed.
    static Expected<std::unique_ptr<ScriptIndex>> scanAndBuild(
        const QString &root, const Configuration &configuration);

    // The index before anything was loaded; shared, built once per process.
    static std::shared_ptr<const ScriptIndex> empty();
};

} // namespace runel
