#include "ScriptsFolder.h"

#include "core/Logging.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <dirent.h>
#include <string_view>

namespace runel {
namespace {

// Copies of the bundled examples must be editable; those that start with "#!" can also be run
// from a terminal. The resource files themselves are read-only.
void makeUserFile(const QString &path)
{
    QFile file(path);
    bool runnable = false;
    if (file.open(QIODevice::ReadOnly))
        runnable = file.read(2) == "#!";
    file.close();
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser
        | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
    if (runnable)
        permissions |= QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
    file.setPermissions(permissions);
}

} // namespace

void ScriptsFolder::prepare(const QString &folder, const QString &examplesDir)
{
    QDir().mkpath(folder);
    seedExamples(folder, examplesDir);
}

bool ScriptsFolder::isEmpty(const QString &folder)
{
    DIR *directory = opendir(QFile::encodeName(folder).constData());
    if (!directory)
        return false;
    bool empty = true;
    errno = 0;
    while (const dirent *entry = readdir(directory)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            empty = false;
            break;
        }
    }
    // A listing that failed part way may have hidden an entry.
    if (errno != 0)
        empty = false;
    closedir(directory);
    return empty;
}

void ScriptsFolder::seedExamples(const QString &folder, const QString &examplesDir)
{
    if (!isEmpty(folder) || !QFileInfo(examplesDir).isDir())
        return;
    const QString prefix = examplesDir + QLatin1Char('/');
    QDirIterator it(examplesDir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        if (!source.startsWith(prefix))
            continue;
        const QString destination = folder + QLatin1Char('/') + source.mid(prefix.size());
        if (it.fileInfo().isDir()) {
            QDir().mkpath(destination);
            continue;
        }
        // A dangling link counts as something the user put there.
        const QFileInfo existing(destination);
        if (existing.exists() || existing.isSymLink())
            continue;
        if (QFile::copy(source, destination))
            makeUserFile(destination);
        else
            qCDebug(lcSettings) << "could not copy example" << source << "to" << destination;
    }
}

} // namespace runel
