#pragma once

#include "TestEnvironment.h"
#include "core/log/LogRecord.h"

#include <QUuid>
#include <csignal>
#include <sys/stat.h>

// What the run and log tests share: files read back, a run's files as another process leaves
// them, and the processes a script leaves behind.

// The permission bits, 0 when the path does not exist.
inline mode_t fileMode(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// A run's record and (empty) output file in directory, as a runel process leaves them; returns
// the run's id. date is ISO 8601.
inline QString writeLoggedRun(const QString &directory, const QString &name, const QString &date,
    std::optional<runel::RunExitStatus> status, const QUuid &id = QUuid::createUuid())
{
    using runel::LogRecord;
    const LogRecord record { id, name, QDateTime::fromString(date, Qt::ISODate),
        LogRecord::logFileNameFor(id), status };
    writeFile(directory + u'/' + record.logFileName, QByteArray());
    writeFile(directory + u'/' + LogRecord::recordFileNameFor(id),
        QByteArray::fromStdString(record.toJson()));
    return runel::uuidString(id);
}

// Whether pid is a process that has not ended (a zombie has).
inline bool isAlive(pid_t pid)
{
    const QByteArray stat = fileBytes(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype afterName = stat.lastIndexOf(')');
    return afterName > 0 && stat.size() > afterName + 2 && stat.at(afterName + 2) != 'Z';
}

// Ends a process a script left behind when the test is over, passed or not.
struct LeftChild {
    pid_t pid = 0;
    ~LeftChild()
    {
        if (pid > 0)
            ::kill(pid, SIGKILL);
    }
};
