#pragma once

#include "ScriptFinding.h"
#include "ScriptIndex.h"
#include "core/Expected.h"

#include <QString>
#include <QStringView>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

namespace runel {

// The findings of one script's annotation lines, in line order, with their paths left empty.
// utf8 is the script's whole text (valid UTF-8); prefix is its language's annotation prefix.
std::vector<ScriptFinding> checkAnnotations(std::string_view utf8, QStringView prefix);

// Gathers the findings of one index build: each script's annotations while the scan reads it
// (its inspector() goes into FileIndex::Configuration::inspect), then what the built index
// knows: scripts that cannot be read, share their keys with another or have keys that cannot
// be typed, and scripts the scan's limits kept out.
class FindingsCollector {
public:
    // For the scan; calls into this collector, which must outlive the scan.
    std::function<void(const FileItem &, std::string_view)> inspector();
    // All findings, sorted by path, then line (as ScriptIndex::findings keeps them).
    std::vector<ScriptFinding> finish(
        const ScriptIndex &index, const FileIndex::Configuration &limits);

private:
    std::mutex m_mutex;
    std::vector<ScriptFinding> m_found; // guarded by m_mutex while the scan reads
};

// Scans a scripts folder as the app does and builds its index with the findings. Fails when
// the folder cannot be listed.
Expected<std::unique_ptr<ScriptIndex>> scanAndCheck(
    const QString &root, const ScriptIndex::Configuration &configuration);

} // namespace runel
