#include "IndexNames.h"

#include "Console.h"

#include "core/index/CommandResolver.h"

using namespace Qt::StringLiterals;

namespace runel::cli {

std::string statusName(const IndexStatus &status)
{
    if (!status.invalidReason)
        return "valid";
    switch (*status.invalidReason) {
    case IndexInvalidReason::ignored:
        return "ignored";
    case IndexInvalidReason::readFailure:
        return "readFailure";
    case IndexInvalidReason::duplicateSequence:
        return "duplicateSequence";
    case IndexInvalidReason::invalidKey:
        return "invalidKey";
    }
    return "valid";
}

std::string availabilityName(ScriptAvailability availability)
{
    switch (availability) {
    case ScriptAvailability::sequenceAndSearch:
        return "sequenceAndSearch";
    case ScriptAvailability::sequenceOnly:
        return "sequenceOnly";
    case ScriptAvailability::searchOnly:
        return "searchOnly";
    case ScriptAvailability::ignored:
        return "ignored";
    }
    return "sequenceAndSearch";
}

std::string severityName(HealthSeverity severity)
{
    switch (severity) {
    case HealthSeverity::green:
        return "green";
    case HealthSeverity::gray:
        return "gray";
    case HealthSeverity::yellow:
        return "yellow";
    case HealthSeverity::red:
        return "red";
    }
    return "red";
}

namespace {

// The first problem of a row that an "ignored" annotation does not explain.
std::optional<HealthIssue> listedIssue(const ScriptHealthItem &row)
{
    if (row.script->status.is(IndexInvalidReason::readFailure))
        return row.issue();
    const auto problem = [](const IndexStatus &status, ScriptMode mode) {
        return status.isValid() || status.is(IndexInvalidReason::ignored)
            ? std::nullopt
            : std::optional<HealthIssue>(HealthIssue {
                HealthIssue::Kind::invalid, std::nullopt, *status.invalidReason, mode });
    };
    std::optional<HealthIssue> found;
    if (row.sequenceItem)
        found = problem(row.sequenceItem->status, ScriptMode::sequence);
    if (!found && row.searchItem)
        found = problem(row.searchItem->status, ScriptMode::search);
    return found;
}

} // namespace

ListedHealth listedHealth(const ScriptHealthItem &row)
{
    const std::optional<HealthIssue> issue = listedIssue(row);
    if (!issue) {
        return { availabilityMessage(row.availability),
            row.availability == ScriptAvailability::ignored ? HealthSeverity::gray
                                                            : HealthSeverity::green };
    }
    const bool warning = issue->kind == HealthIssue::Kind::invalid
        && issue->reason == IndexInvalidReason::invalidKey;
    return { issueMessage(*issue), warning ? HealthSeverity::yellow : HealthSeverity::red };
}

QString availabilityLabel(ScriptAvailability availability)
{
    switch (availability) {
    case ScriptAvailability::sequenceAndSearch:
        return u"keys+search"_s;
    case ScriptAvailability::sequenceOnly:
        return u"keys"_s;
    case ScriptAvailability::searchOnly:
        return u"search"_s;
    case ScriptAvailability::ignored:
        return u"ignored"_s;
    }
    return {};
}

QString severityLabel(HealthSeverity severity)
{
    switch (severity) {
    case HealthSeverity::green:
        return u"ok"_s;
    case HealthSeverity::gray:
        return u"off"_s;
    case HealthSeverity::yellow:
        return u"warning"_s;
    case HealthSeverity::red:
        return u"error"_s;
    }
    return {};
}

Style severityStyle(HealthSeverity severity)
{
    switch (severity) {
    case HealthSeverity::green:
        return Style::green;
    case HealthSeverity::gray:
        return Style::gray;
    case HealthSeverity::yellow:
        return Style::yellow;
    case HealthSeverity::red:
        return Style::red;
    }
    return Style::none;
}

QString displayKeys(const std::vector<KeyGroup> &groups)
{
    QString result;
    for (const KeyGroup &group : groups) {
        if (!result.isEmpty())
            result.append(u' ');
        for (const Key &key : group)
            result.append(key == u" " ? u"␣"_s : printable(key));
    }
    return result;
}

QString displayKeys(const SequenceItem &item)
{
    return displayKeys(CommandResolver::groupKeys(item.flatKeys, item.groupEnds));
}

} // namespace runel::cli
