#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string_view>
#include <vector>

namespace runel {

// One entry of a list that a foreground script prints as its last output line: what the HUD
// shows, and the script (relative to the scripts folder) that choosing the entry runs.
struct ListEntry {
    std::optional<QString> icon; // a symbol name, as written
    QString title;
    std::optional<QString> subtitle;
    QString script;
    std::optional<QStringList> arguments;

    bool operator==(const ListEntry &) const = default;
};

// Decodes a printed line (UTF-8) as a list of entries. The line must hold one JSON array whose
// elements are all objects with the string members "title" and "script"; "icon" and "subtitle"
// may be strings and "arguments" an array of strings, and like other members they may be
// missing or null (read as absent). Unknown members are ignored. Anything else, including one
// bad element, gives nothing: the output is then not a list. An empty array is an empty list.
std::optional<std::vector<ListEntry>> decodeListEntries(std::string_view utf8);

} // namespace runel
