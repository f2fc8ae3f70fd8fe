#include "LogRecord.h"

#include "core/Json.h"

#include <QTimeZone>

#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;

namespace runel {

namespace {

constexpr std::string_view rawValues[] = { "success", "failure", "cancelled", "interrupted" };

// Digits at text[at, at + count) as a number; -1 when any of them is not a digit.
int digits(std::string_view text, std::size_t at, std::size_t count)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/')
        && !name.contains(QChar(0));
}

} // namespace

QString rawValue(RunExitStatus status)
{
    const std::string_view raw = rawValues[static_cast<int>(status)];
    return QString::fromLatin1(raw.data(), qsizetype(raw.size()));
}

std::optional<RunExitStatus> runExitStatusFromRawValue(std::string_view raw)
{
    for (std::size_t i = 0; i < std::size(rawValues); ++i) {
        if (rawValues[i] == raw)
            return static_cast<RunExitStatus>(i);
    }
    return std::nullopt;
}

QString dateString(const QDateTime &date)
{
    return date.toUTC().toString(u"yyyy-MM-ddTHH:mm:ss'Z'"_s);
}

QDateTime dateFromString(std::string_view text)
{
    // "yyyy-MM-ddTHH:mm:ssZ", or an explicit offset "+HH:MM" / "-HH:MM" in place of the "Z".
    if (text.size() != 20 && text.size() != 25)
        return {};
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return {};
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    int offset = 0;
    if (text.size() == 20) {
        if (text[19] != 'Z')
            return {};
    } else {
        const int sign = text[19] == '+' ? 1 : text[19] == '-' ? -1 : 0;
        const int offsetHours = digits(text, 20, 2), offsetMinutes = digits(text, 23, 2);
        if (sign == 0 || text[22] != ':' || offsetHours < 0 || offsetHours > 23 || offsetMinutes < 0
            || offsetMinutes > 59)
            return {};
        offset = sign * (offsetHours * 3600 + offsetMinutes * 60);
    }
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || !date.isValid()
        || !time.isValid())
        return {};
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    const QDateTime utc = QDateTime(date, time, QTimeZone::UTC).addSecs(-offset);
#else
    const QDateTime utc = QDateTime(date, time, Qt::UTC).addSecs(-offset);
#endif
    // Records write four-digit years: a date that its offset moves past them (9999-12-31T23:00
    // at -01:00) could not be written back in a form this reads.
    if (utc.date().year() < 1 || utc.date().year() > 9999)
        return {};
    return utc;
}

QString LogRecord::logFileNameFor(const QUuid &id)
{
    return uuidString(id) + u".log"_s;
}

QString LogRecord::recordFileNameFor(const QUuid &id)
{
    return u"."_s + uuidString(id) + u".json"_s;
}

std::string LogRecord::toJson() const
{
    nlohmann::ordered_json object;
    object["id"] = uuidString(id).toStdString();
    object["scriptName"] = scriptName.toStdString();
    object["date"] = dateString(date).toStdString();
    object["logFileName"] = logFileName.toStdString();
    if (exitStatus)
        object["exitStatus"] = rawValue(*exitStatus).toStdString();
    if (!scriptPath.isEmpty())
        object["scriptPath"] = scriptPath.toStdString();
    if (!arguments.isEmpty()) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const QString &argument : arguments)
            list.push_back(argument.toStdString());
        object["arguments"] = std::move(list);
    }
    // A name is always valid UTF-8 coming from a QString, but the log must never throw.
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<LogRecord> LogRecord::fromJson(std::string_view json)
{
    const nlohmann::json object = parseJson(json).value_or({});
    if (!object.is_object())
        return std::nullopt;
    const auto member = [&object](const char *key) -> const std::string * {
        const auto found = object.find(key);
        return found != object.end() && found->is_string() ? found->get_ptr<const std::string *>()
                                                           : nullptr;
    };
    const std::string *id = member("id");
    const std::string *scriptName = member("scriptName");
    const std::string *date = member("date");
    const std::string *logFileName = member("logFileName");
    if (!id || !scriptName || !date || !logFileName)
        return std::nullopt;

    LogRecord record;
    const std::optional<QUuid> uuid = uuidFromString(*id);
    record.date = dateFromString(*date);
    if (!uuid || !record.date.isValid())
        return std::nullopt;
    record.id = *uuid;
    record.scriptName = QString::fromStdString(*scriptName);
    record.logFileName = QString::fromStdString(*logFileName);
    if (!isPlainFileName(record.logFileName))
        return std::nullopt;
    // null reads as no status; another type is as undecodable as an unknown raw value.
    if (const auto status = object.find("exitStatus");
        status != object.end() && !status->is_null()) {
        if (!status->is_string())
            return std::nullopt;
        record.exitStatus = runExitStatusFromRawValue(status->get_ref<const std::string &>());
        if (!record.exitStatus)
            return std::nullopt;
    }
    if (const std::string *path = member("scriptPath"))
        record.scriptPath = QString::fromStdString(*path);
    if (const auto list = object.find("arguments"); list != object.end() && list->is_array()) {
        QStringList arguments;
        for (const nlohmann::json &argument : *list) {
            if (!argument.is_string())
                return record; // all or nothing: a partial list would be recalled as a whole
            arguments.append(QString::fromStdString(argument.get_ref<const std::string &>()));
        }
        record.arguments = std::move(arguments);
    }
    return record;
}

} // namespace runel
