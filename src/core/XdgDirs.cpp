#include "XdgDirs.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace runel {
namespace {

QString absoluteVariable(const char *name)
{
    const QString value = qEnvironmentVariable(name);
    return !value.isEmpty() && QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QString();
}

QString userDatabaseHome()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry {};
    passwd *found = nullptr;
    while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (!found || !found->pw_dir)
        return {};
    const QString folder = QFile::decodeName(found->pw_dir);
    return QDir::isAbsolutePath(folder) ? QDir::cleanPath(folder) : QString();
}

} // namespace

QString XdgDirs::home()
{
    QString folder = absoluteVariable("HOME");
    if (folder.isEmpty())
        folder = userDatabaseHome();
    return folder.isEmpty() ? QDir::rootPath() : folder;
}

QString XdgDirs::configHome()
{
    const QString folder = absoluteVariable("XDG_CONFIG_HOME");
    return folder.isEmpty() ? QDir::cleanPath(home() + QStringLiteral("/.config")) : folder;
}

QString XdgDirs::dataHome()
{
    const QString folder = absoluteVariable("XDG_DATA_HOME");
    return folder.isEmpty() ? QDir::cleanPath(home() + QStringLiteral("/.local/share")) : folder;
}

QString XdgDirs::runtimeDir()
{
    return absoluteVariable("XDG_RUNTIME_DIR");
}

QString XdgDirs::autostartDir()
{
    return configHome() + QStringLiteral("/autostart");
}

} // namespace runel
