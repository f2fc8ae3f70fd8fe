#pragma once

#include "core/Uuid.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>
#include <string>
#include <string_view>

namespace runel {

// The outcome of one run. The raw value ("success", ...) is what a record file stores.
enum class RunExitStatus {
    success, // the process exited with status 0
    failure, // non-zero exit status, or the launch failed
    cancelled, // the process ended through a signal
    interrupted, // read back from a record without a status whose run is not going on here
};

QString rawValue(RunExitStatus status);
// Empty for anything but the four raw values (exact, case-sensitive).
std::optional<RunExitStatus> runExitStatusFromRawValue(std::string_view raw);

// The persisted form of one run: a plain value, safe to copy and to pass between threads.
struct LogRecord {
    QUuid id;
    QString scriptName;
    QDateTime date; // UTC, whole seconds
    QString logFileName; // the output file's name inside the log directory, not a path
    std::optional<RunExitStatus> exitStatus; // empty while the run goes on
    // The script's absolute path: what tells runs of two scripts with one display name apart.
    // Empty in records written before it was kept. (This and the next are initialised so that
    // a record brace-initialised with the fields above is complete.)
    QString scriptPath {};
    // What the script was given after the modifier text. Never filled for a script whose
    // argument is secret: the record file would keep the secret.
    QStringList arguments {};

    // One JSON object, keys in field order, no pretty printing; "exitStatus" is left out while
    // empty, "scriptPath" and "arguments" while empty. The id is upper-case without braces, the
    // date "yyyy-MM-ddTHH:mm:ssZ".
    std::string toJson() const;
    // Empty when the text is not such an object: malformed JSON, a missing or mistyped key, an
    // id that is not a UUID, a date that is not UTC in that form, an unknown status, or a file
    // name that is not a plain name (it could otherwise point outside the log directory).
    // "scriptPath" and "arguments" may be missing (older records); a mistyped one is dropped
    // rather than the record, so the run stays listed. Other keys are ignored.
    static std::optional<LogRecord> fromJson(std::string_view json);

    // "<id>.log" and ".<id>.json".
    static QString logFileNameFor(const QUuid &id);
    static QString recordFileNameFor(const QUuid &id);

    bool operator==(const LogRecord &) const = default;
};

// The date as records write it, and its reading; a null date for anything else.
QString dateString(const QDateTime &date);
QDateTime dateFromString(std::string_view text);

} // namespace runel
