#pragma once

#include "Console.h"
#include "core/index/IndexStatus.h"
#include "core/index/Keys.h"
#include "core/index/ScriptHealth.h"

#include <QString>
#include <string>
#include <vector>

namespace runel::cli {

// The names the command line prints for index values. The JSON names are the case names of
// the index types and are part of the output format: scripts depend on them.
std::string statusName(const IndexStatus &status); // "valid", "ignored", "invalidKey", ...
std::string availabilityName(ScriptAvailability availability); // "sequenceAndSearch", ...
std::string severityName(HealthSeverity severity); // "green", "gray", "yellow", "red"

// What `runel list` says of a row (table and JSON). An "ignored" annotation is no problem of
// the script: the availability already says which modes it is offered in, so the row reads as
// that availability unless something else is wrong. ok for a script offered in some mode, off
// for one ignored in both; warning and error as the index has them.
struct ListedHealth {
    QString message;
    HealthSeverity severity;
};
ListedHealth listedHealth(const ScriptHealthItem &row);

// Short forms for the plain table.
QString availabilityLabel(ScriptAvailability availability);
QString severityLabel(HealthSeverity severity);
Style severityStyle(HealthSeverity severity);

// Key groups for a terminal: groups separated by a space, the space key shown as "␣" and
// control characters escaped, so that "g i t d" reads as four groups of one key.
QString displayKeys(const std::vector<KeyGroup> &groups);
QString displayKeys(const SequenceItem &item);

inline std::string utf8(const QString &text)
{
    return text.toStdString();
}

} // namespace runel::cli
