#pragma once

#include <QString>
#include <QUuid>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

namespace runel {

// A user shortcut: a global hot key (named after id) that plays keySequence into the HUD.
struct AppShortcut {
    QUuid id;
    QString keySequence;
    bool operator==(const AppShortcut &) const = default;
};

// The stored form: [{"id": "UPPER-CASE-UUID", "keySequence": "..."}]. Decoding is all or
// nothing: any malformed element gives no list.
nlohmann::json encodeShortcuts(const std::vector<AppShortcut> &shortcuts);
std::optional<std::vector<AppShortcut>> decodeShortcuts(const nlohmann::json &value);

} // namespace runel
