#include "LogFileWriter.h"

#include "LogWriteQueue.h"
#include "core/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace runel {

LogFileWriter::LogFileWriter(QString path)
    : m_path(std::move(path))
    , m_nativePath(QFile::encodeName(m_path))
{ }

LogFileWriter::~LogFileWriter()
{
    close();
}

bool LogFileWriter::open()
{
    std::lock_guard lock(m_mutex);
    return !m_isClosed && openLocked();
}

bool LogFileWriter::openLocked()
{
    if (m_fd >= 0)
        return true;
    // Not following a link: nobody else can place one in the private log folder, and the output
    // must not end up in a file the link chose.
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW;
    m_fd = ::open(m_nativePath.constData(), flags, 0600);
    if (m_fd < 0 && errno == ENOENT) {
        const QByteArray folder = QFile::encodeName(QFileInfo(m_path).absolutePath());
        if (makePrivateDirectory(folder.toStdString()))
            m_fd = ::open(m_nativePath.constData(), flags, 0600);
    }
    if (m_fd < 0)
        return false;
    ::flock(m_fd, LOCK_EX | LOCK_NB); // only a marker: writing never depends on it
    return true;
}

int LogFileWriter::duplicate()
{
    std::lock_guard lock(m_mutex);
    if (m_isClosed || !openLocked())
        return -1;
    return ::fcntl(m_fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
}

void LogFileWriter::write(const char *data, std::size_t size)
{
    if (size == 0)
        return;
    std::lock_guard lock(m_mutex);
    if (m_isClosed || !openLocked())
        return;
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written <= 0) {
            if (written < 0 && errno == EINTR)
                continue;
            // The rest of the chunk is lost; the next chunk starts with a fresh open, which
            // recreates a file deleted meanwhile.
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        data += written;
        size -= std::size_t(written);
    }
}

void LogFileWriter::close()
{
    std::lock_guard lock(m_mutex);
    if (m_isClosed)
        return;
    m_isClosed = true;
    openLocked();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool LogFileWriter::isClosed() const
{
    std::lock_guard lock(m_mutex);
    return m_isClosed;
}

bool LogFileWriter::isBeingWritten(const std::string &nativePath)
{
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

} // namespace runel
