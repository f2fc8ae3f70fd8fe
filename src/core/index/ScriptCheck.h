#pragma once

#include "Expected.h"
#include "ScriptIndex.h"

#include <QString>
#include <QStringView>
#include <string_view>
#include <vector>

namespace runel {

// Something in a script that does not do what its author likely meant: an annotation that does
// nothing or less than it seems to, or a reason the index leaves the script out. The parser and
// the index never fail on these; this is where an author learns of them.
struct ScriptFinding {
    QString path; // absolute
    int line = 0; // counted from 1 as editors do; 0 when about the whole file
    QString message; // one sentence: what is wrong, what it leads to, what to do
    bool operator==(const ScriptFinding &) const = default;
};

// The findings of one script's annotation lines, in line order, with their paths left empty.
// utf8 is the script's whole text (valid UTF-8); prefix is its language's annotation prefix.
std::vector<ScriptFinding> checkAnnotations(std::string_view utf8, QStringView prefix);

// Scans a scripts folder as the app does and gives every finding below it: each script's
// annotations, scripts that cannot be read, share their keys with another or have keys that
// cannot be typed, and scripts the scan's limits keep out. Sorted by path, then line. Fails
// when the folder cannot be listed.
Expected<std::vector<ScriptFinding>> checkScriptsFolder(
    const QString &root, const ScriptIndex::Configuration &configuration);

} // namespace runel
