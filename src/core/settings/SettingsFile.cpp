#include "SettingsFile.h"

#include "core/AtomicFile.h"
#include "core/Json.h"
#include "core/Logging.h"
#include "core/XdgDirs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>
#include <utility>

namespace runel {

namespace {

bool isBlank(const QByteArray &bytes)
{
    for (char c : bytes) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
    }
    return true;
}

} // namespace

SettingsFile::SettingsFile(QString path)
    : m_path(std::move(path))
{
    load();
}

QString SettingsFile::defaultPath()
{
    return XdgDirs::configHome() + QStringLiteral("/runel/settings.json");
}

const nlohmann::json &SettingsFile::value(const std::string &key) const
{
    static const nlohmann::json missing;
    const auto found = m_object.find(key);
    return found == m_object.end() ? missing : *found;
}

bool SettingsFile::setValue(const std::string &key, nlohmann::json value)
{
    const auto found = m_object.find(key);
    std::optional<nlohmann::json> previous;
    if (found != m_object.end())
        previous = std::exchange(*found, std::move(value));
    else
        m_object[key] = std::move(value);
    if (save())
        return true;
    // What is kept stays what the file holds: a later save must not store this value after all.
    if (previous)
        m_object[key] = std::move(*previous);
    else
        m_object.erase(key);
    return false;
}

bool SettingsFile::removeValue(const std::string &key)
{
    const auto found = m_object.find(key);
    if (found == m_object.end())
        return true;
    nlohmann::json previous = std::move(*found);
    m_object.erase(found);
    if (save())
        return true;
    m_object[key] = std::move(previous);
    return false;
}

void SettingsFile::load()
{
    QFile file(m_path);
    if (!file.exists())
        return;
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        m_keepExisting = true;
        m_loadWarning = QStringLiteral("Cannot read the settings file %1 (%2). Runel uses default "
                                       "settings and will not save over that file.")
                            .arg(QDir::toNativeSeparators(m_path), file.errorString());
        qCWarning(lcSettings).noquote() << m_loadWarning;
        return;
    }
    file.close();
    // An empty file holds nothing worth keeping aside.
    if (isBlank(bytes))
        return;

    Expected<nlohmann::json> parsed
        = parseJson(std::string_view(bytes.constData(), size_t(bytes.size())));
    if (!parsed || !parsed->is_object()) {
        moveAside(parsed ? QStringLiteral("it does not hold a JSON object") : parsed.error());
        return;
    }
    m_object = std::move(parsed).value();
}

bool SettingsFile::reloadFromDisk()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (isBlank(bytes))
        return false;
    Expected<nlohmann::json> parsed
        = parseJson(std::string_view(bytes.constData(), size_t(bytes.size())));
    if (!parsed || !parsed->is_object()) {
        m_keepExisting = true;
        m_lastError
            = QStringLiteral("The settings file %1 was changed and cannot be read (%2). "
                             "Runel keeps the settings it had and saves nothing until "
                             "the file is fixed.")
                  .arg(QDir::toNativeSeparators(m_path),
                      parsed ? QStringLiteral("it does not hold a JSON object") : parsed.error());
        qCWarning(lcSettings).noquote() << m_lastError;
        return false;
    }
    m_keepExisting = false;
    m_lastError.clear();
    if (*parsed == m_object)
        return false; // our own save, or an edit that changed nothing
    m_object = std::move(parsed).value();
    return true;
}

void SettingsFile::moveAside(const QString &reason)
{
    const QString stamp
        = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = m_path + QStringLiteral(".corrupt-") + stamp;
    // Two bad files within one second must not replace each other.
    for (int n = 1; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target
            = m_path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);

    const QString where = QDir::toNativeSeparators(m_path);
    if (QFile::rename(m_path, target)) {
        m_loadWarning
            = QStringLiteral("The settings file %1 could not be read (%2). It was moved to "
                             "%3 and Runel starts with default settings.")
                  .arg(where, reason, QDir::toNativeSeparators(target));
    } else {
        m_keepExisting = true;
        m_loadWarning
            = QStringLiteral("The settings file %1 could not be read (%2) and could not be "
                             "moved aside. Runel uses default settings and will not save "
                             "over that file.")
                  .arg(where, reason);
    }
    qCWarning(lcSettings).noquote() << m_loadWarning;
}

bool SettingsFile::save()
{
    if (m_keepExisting) {
        if (m_lastError.isEmpty())
            m_lastError = QStringLiteral("Settings not saved: %1 could not be read and is left "
                                         "as it is. Fix it or move it away.")
                              .arg(QDir::toNativeSeparators(m_path));
        qCWarning(lcSettings).noquote() << m_lastError;
        return false;
    }

    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (QDir().mkpath(folder))
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // replace: a string that is not valid UTF-8 must not abort the write; none should get here,
    // since every value was either parsed from valid JSON or made from a QString.
    const std::string text
        = m_object.dump(4, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
    const Expected<void> written = replaceFile(m_path, QByteArray::fromStdString(text));
    if (!written) {
        m_lastError = QStringLiteral("Settings not saved: %1. The file is left as it was; free "
                                     "some space or fix its folder, then change the setting again.")
                          .arg(written.error());
        qCWarning(lcSettings).noquote() << m_lastError;
        return false;
    }
    m_lastError.clear();
    return true;
}

} // namespace runel
