#pragma once

#include <QString>
#include <QUuid>
#include <optional>
#include <string_view>

namespace runel {

// The one written form of an id (shortcuts, run records, log file names): upper-case, with
// hyphens, without braces.
QString uuidString(const QUuid &id);

// Reads that form in either letter case, and nothing else: no braces, no other lengths (QUuid
// alone would take braces, and gives the nil id for garbage).
std::optional<QUuid> uuidFromString(std::string_view text);

} // namespace runel
