#include "AtomicFile.h"

#include "SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace runel {

bool makePrivateDirectory(const std::string &path)
{
    struct stat info;
    if (path.empty())
        return false;
    if (::stat(path.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string prefix = path.substr(0, end);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (end == std::string::npos)
            break;
    }
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

int writeFileAtomically(
    const std::string &directory, const std::string &fileName, const std::string &contents)
{
    const std::string target = directory + '/' + fileName;
    // Hidden and with a suffix of its own: nothing that lists the folder takes a half-written
    // file for the real one.
    const std::string pattern
        = directory + (fileName.starts_with('.') ? "/" : "/.") + fileName + ".XXXXXX";
    std::string temporary = pattern;
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // 0600
    if (fd < 0 && errno == ENOENT && makePrivateDirectory(directory)) {
        temporary = pattern;
        fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    }
    if (fd < 0)
        return errno;
    struct stat previous;
    if (::stat(target.c_str(), &previous) == 0 && S_ISREG(previous.st_mode))
        ::fchmod(fd, previous.st_mode & 07777);
    int error = writeAll(fd, contents.data(), contents.size()) ? 0 : errno;
    // Some file systems report a full disk only when the data reaches it.
    if (error == 0 && ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    return error;
}

Expected<void> replaceFile(const QString &path, const QByteArray &contents)
{
    const QFileInfo info(path);
    const int error = writeFileAtomically(QFile::encodeName(info.absolutePath()).toStdString(),
        QFile::encodeName(info.fileName()).toStdString(), contents.toStdString());
    if (error == 0)
        return {};
    return Failure { QStringLiteral("cannot write %1: %2")
                         .arg(QDir::toNativeSeparators(path), systemErrorText(error)) };
}

} // namespace runel
