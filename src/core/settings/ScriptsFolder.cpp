#include "settings/ScriptsFolder.h"

#include "Logging.h"
#include "ScriptType.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

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

bool ScriptsFolder::holdsScript(const QString &folder)
{
    // Without QDir::Hidden, hidden files are not listed and hidden folders not entered, as in
    // the scan; QDir::Files takes links to files and leaves out links that lead nowhere.
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext()) {
        it.next();
        if (scriptTypeForFileName(it.fileName()))
            return true;
    }
    return false;
}

void ScriptsFolder::seedExamples(const QString &folder, const QString &examplesDir)
{
    // Nothing could be copied into a folder that does not exist.
    if (!QFileInfo(folder).isDir() || holdsScript(folder) || !QFileInfo(examplesDir).isDir())
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
