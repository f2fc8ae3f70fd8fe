#pragma once

#include "FileItem.h"
#include "SearchIndex.h"
#include "SequenceIndex.h"

#include <QString>
#include <optional>
#include <vector>

namespace runel {

// What a script's annotations allow, whatever else is wrong with it.
enum class ScriptAvailability { sequenceAndSearch, sequenceOnly, searchOnly, ignored };

enum class HealthSeverity { green, gray, yellow, red };

// The first problem of a file: a read failure, or a reason from one of the two indexes.
struct HealthIssue {
    enum class Kind { readFailure, invalid };
    Kind kind = Kind::readFailure;
    std::optional<QString> readError; // readFailure only
    IndexInvalidReason reason = IndexInvalidReason::readFailure; // invalid only
    ScriptMode mode = ScriptMode::sequence; // invalid only
};

// One row of the health list: every scanned file, readable or not.
struct ScriptHealthItem {
    const FileItem *script = nullptr;
    const SearchItem *searchItem = nullptr; // null when the file is not in the search index
    const SequenceItem *sequenceItem = nullptr; // null when not in the sequence index
    QString displayName;
    ScriptAvailability availability = ScriptAvailability::sequenceAndSearch;

    std::optional<HealthIssue> issue() const;
    QString message() const;
    HealthSeverity severity() const;
};

ScriptAvailability availabilityOf(const ShellFileMetadata &metadata);
QString availabilityMessage(ScriptAvailability availability);
QString issueMessage(const HealthIssue &issue);

// One row per file, in scan order, with names[i] the display name of files[i]. The indexes
// must have been built from files; the rows point into files and both indexes.
std::vector<ScriptHealthItem> buildHealthList(const std::vector<FileItem> &files,
    const SearchIndex &search, const SequenceIndex &sequence, const std::vector<QString> &names);

} // namespace runel
