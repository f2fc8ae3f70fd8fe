#include "ScriptHealth.h"

#include <QHash>

namespace runel {

ScriptAvailability availabilityOf(const ShellFileMetadata &metadata)
{
    if (metadata.ignored)
        return ScriptAvailability::ignored;
    const bool sequence = metadata.ignoredModes.contains(ScriptMode::sequence);
    const bool search = metadata.ignoredModes.contains(ScriptMode::search);
    if (sequence && search)
        return ScriptAvailability::ignored;
    if (sequence)
        return ScriptAvailability::searchOnly;
    if (search)
        return ScriptAvailability::sequenceOnly;
    return ScriptAvailability::sequenceAndSearch;
}

QString availabilityMessage(ScriptAvailability availability)
{
    switch (availability) {
    case ScriptAvailability::sequenceAndSearch:
        return QStringLiteral("Available in key-sequence and search mode.");
    case ScriptAvailability::sequenceOnly:
        return QStringLiteral("Available in key-sequence mode only.");
    case ScriptAvailability::searchOnly:
        return QStringLiteral("Available in search mode only; no key sequence is assigned.");
    case ScriptAvailability::ignored:
        return QStringLiteral("Ignored in key-sequence and search mode.");
    }
    return {};
}

QString issueMessage(const HealthIssue &issue)
{
    if (issue.kind == HealthIssue::Kind::readFailure) {
        return issue.readError ? QStringLiteral("Read failure - ") + *issue.readError
                               : QStringLiteral("Read failure");
    }
    switch (issue.reason) {
    case IndexInvalidReason::ignored:
        return issue.mode == ScriptMode::sequence ? QStringLiteral("Ignored in key-sequence mode.")
                                                  : QStringLiteral("Ignored in search mode.");
    case IndexInvalidReason::readFailure:
        return QStringLiteral("Runel could not read this file.");
    case IndexInvalidReason::duplicateSequence:
        return QStringLiteral("Another script has the same key sequence.");
    case IndexInvalidReason::invalidKey:
        return QStringLiteral(
            "A folder or filename contains a character that cannot be typed as a key.");
    }
    return {};
}

std::optional<HealthIssue> ScriptHealthItem::issue() const
{
    if (script->status.is(IndexInvalidReason::readFailure))
        return HealthIssue { HealthIssue::Kind::readFailure, script->readError, {}, {} };
    if (sequenceItem && !sequenceItem->status.isValid())
        return HealthIssue { HealthIssue::Kind::invalid, std::nullopt,
            *sequenceItem->status.invalidReason, ScriptMode::sequence };
    if (searchItem && !searchItem->status.isValid())
        return HealthIssue { HealthIssue::Kind::invalid, std::nullopt,
            *searchItem->status.invalidReason, ScriptMode::search };
    return std::nullopt;
}

QString ScriptHealthItem::message() const
{
    const std::optional<HealthIssue> found = issue();
    return found ? issueMessage(*found) : availabilityMessage(availability);
}

HealthSeverity ScriptHealthItem::severity() const
{
    const std::optional<HealthIssue> found = issue();
    if (!found) {
        const bool reachable = availability == ScriptAvailability::sequenceAndSearch
            || availability == ScriptAvailability::sequenceOnly;
        return reachable ? HealthSeverity::green : HealthSeverity::gray;
    }
    if (found->kind == HealthIssue::Kind::invalid) {
        if (found->reason == IndexInvalidReason::ignored)
            return HealthSeverity::gray;
        if (found->reason == IndexInvalidReason::invalidKey)
            return HealthSeverity::yellow;
    }
    return HealthSeverity::red;
}

std::vector<ScriptHealthItem> buildHealthList(const std::vector<FileItem> &files,
    const SearchIndex &search, const SequenceIndex &sequence, const std::vector<QString> &names)
{
    // Both indexes hold a subset of files in the same order, so one cursor each finds the entry
    // of a file, if any, without a lookup table.
    std::vector<ScriptHealthItem> health;
    health.reserve(files.size());
    size_t searchCursor = 0;
    size_t sequenceCursor = 0;
    for (const FileItem &file : files) {
        ScriptHealthItem item;
        item.script = &file;
        if (searchCursor < search.entries.size() && search.entries[searchCursor].file == &file)
            item.searchItem = &search.entries[searchCursor++];
        if (sequenceCursor < sequence.entries.size()
            && sequence.entries[sequenceCursor].file == &file)
            item.sequenceItem = &sequence.entries[sequenceCursor++];
        item.displayName = names[health.size()];
        item.availability = availabilityOf(file.metadata);
        health.push_back(std::move(item));
    }
    return health;
}

} // namespace runel
