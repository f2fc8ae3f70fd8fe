#include "InstanceSocket.h"

#include "core/SystemError.h"
#include "core/XdgDirs.h"

#include <QDir>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace runel {

namespace {

QString ownerProblem(const QString &what, const QString &path, const struct stat &info)
{
    if (info.st_uid != getuid()) {
        return u"the %1 %2 belongs to another user (uid %3), so Runel will not use it. Remove "
               u"it, or point XDG_RUNTIME_DIR at a folder of your own."_s.arg(
                   what, path, QString::number(info.st_uid));
    }
    if (info.st_mode & (S_IWGRP | S_IWOTH)) {
        return u"the %1 %2 can be written by other users, so Runel will not use it. Remove it "
               u"(Runel makes a private one), or run: chmod go-w '%2'"_s.arg(what, path);
    }
    return {};
}

} // namespace

InstanceFolder instanceFolder(bool create)
{
    const QString runtime = XdgDirs::runtimeDir();
    InstanceFolder folder;
    folder.path = !runtime.isEmpty()
        ? runtime + u"/runel"_s
        : QDir::cleanPath(QDir::tempPath()) + u"/runel-%1"_s.arg(getuid());
    const QByteArray native = QFile::encodeName(folder.path);

    struct stat info { };
    if (lstat(native.constData(), &info) != 0) {
        if (errno != ENOENT) {
            folder.error
                = u"cannot look at the folder %1: %2"_s.arg(folder.path, systemErrorText(errno));
            return folder;
        }
        if (!create) {
            folder.missing = true;
            folder.error = u"the folder %1 does not exist"_s.arg(folder.path);
            return folder;
        }
        // The parent is the user's runtime folder; it may not exist when the variable is stale.
        // Another runel starting at the same moment may make the folder first: that is as good
        // (the checks below apply to it all the same).
        if ((mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            || lstat(native.constData(), &info) != 0) {
            folder.error = u"cannot create the folder %1: %2. Check XDG_RUNTIME_DIR."_s.arg(
                folder.path, systemErrorText(errno));
            return folder;
        }
    }
    if (!S_ISDIR(info.st_mode)) {
        folder.error = u"%1 is not a folder (a link or a file), so Runel will not use it. "
                       u"Remove it and try again."_s.arg(folder.path);
        return folder;
    }
    folder.error = ownerProblem(u"folder"_s, folder.path, info);
    if (folder.error.isEmpty() && create && (info.st_mode & 077) != 0)
        chmod(native.constData(), 0700);
    return folder;
}

QString socketFileProblem(const QString &path)
{
    struct stat info { };
    if (lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    if (!S_ISSOCK(info.st_mode)) {
        return u"%1 is not a socket, so Runel will not use it. Remove it and try again."_s.arg(
            path);
    }
    return ownerProblem(u"socket"_s, path, info);
}

InstanceLock::Take InstanceLock::take(const QString &path, Wait wait)
{
    release();
    m_error.clear();
    // O_NOFOLLOW: the folder is private, but a link planted in it must still not be followed.
    const int fd = open(
        QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_error = u"cannot open the lock file %1: %2. Remove it and try again."_s.arg(
            path, systemErrorText(errno));
        return Take::failed;
    }
    const int operation = LOCK_EX | (wait == Wait::no ? LOCK_NB : 0);
    int result = 0;
    while ((result = flock(fd, operation)) != 0 && errno == EINTR) { }
    if (result != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK)
            return Take::busy;
        m_error = u"cannot lock the file %1: %2"_s.arg(path, systemErrorText(error));
        return Take::failed;
    }
    m_fd = fd;
    return Take::held;
}

void InstanceLock::release()
{
    if (m_fd < 0)
        return;
    close(m_fd); // the last descriptor of that open: the lock goes with it
    m_fd = -1;
}

} // namespace runel
