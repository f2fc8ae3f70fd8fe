#pragma once

#include <QString>
#include <nlohmann/json.hpp>

namespace runel {

// settings.json: one JSON object of setting keys. The whole object is kept in memory and
// rewritten atomically on every assignment, so keys this version does not know, and values of
// the wrong type, survive until they are assigned. A file that cannot be parsed is moved aside
// (settings.json.corrupt-<time>) with a warning and never overwritten in place.
class SettingsFile {
public:
    explicit SettingsFile(QString path);

    // $XDG_CONFIG_HOME/runel/settings.json, or ~/.config/runel/settings.json.
    static QString defaultPath();

    const QString &path() const { return m_path; }
    // The stored value, or null when the key is missing.
    const nlohmann::json &value(const std::string &key) const;
    // Stores value and rewrites the file; false (with lastError set) when it could not be written,
    // and the key then keeps what it held.
    bool setValue(const std::string &key, nlohmann::json value);
    // Removes the key and rewrites the file, as setValue does (a failure keeps the key); a
    // missing key changes nothing.
    bool removeValue(const std::string &key);

    // Reads the file again after another program (or the user's editor) changed it. True when it
    // now holds something other than what this process had. A file that is missing or empty
    // changes nothing (the next save writes it back); one that cannot be parsed (an edit half
    // done) changes nothing either, and is not saved over until it can be read again.
    bool reloadFromDisk();

    // What went wrong loading or saving, for the user: empty when nothing did.
    const QString &loadWarning() const { return m_loadWarning; }
    const QString &lastError() const { return m_lastError; }

private:
    void load();
    void moveAside(const QString &reason);
    bool save();

    QString m_path;
    nlohmann::json m_object = nlohmann::json::object();
    QString m_loadWarning;
    QString m_lastError;
    // Set when the file on disk holds something this process could not load (unreadable, or
    // unparsable and impossible to move aside): saving would destroy it, so saving is refused.
    bool m_keepExisting = false;
};

} // namespace runel
