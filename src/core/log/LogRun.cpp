#include "LogRun.h"

#include "LogFileWriter.h"
#include "LogWriteQueue.h"
#include "core/AtomicFile.h"
#include "core/SystemError.h"
#include "core/threading/MainThreadQueue.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace runel {

LogRun::LogRun(const LogRecord &record, QString logPath, std::shared_ptr<LogFileWriter> writer,
    std::shared_ptr<LogWriteQueue> writeQueue, QString logDirectory)
    : m_id(record.id)
    , m_scriptName(record.scriptName)
    , m_scriptPath(record.scriptPath)
    , m_arguments(record.arguments)
    , m_date(record.date)
    , m_logPath(std::move(logPath))
    , m_exitStatus(record.exitStatus)
    , m_writer(std::move(writer))
    , m_writeQueue(std::move(writeQueue))
    , m_logDirectory(std::move(logDirectory))
{
    m_recordWrite->run = this;
}

LogRun::~LogRun()
{
    std::lock_guard lock(m_recordWrite->mutex);
    m_recordWrite->run = nullptr;
}

std::shared_ptr<LogRun> LogRun::create(const LogRecord &record, QString logPath,
    std::shared_ptr<LogFileWriter> writer, std::shared_ptr<LogWriteQueue> writeQueue,
    QString logDirectory)
{
    // A reader thread's closure may hold the last reference; a QObject is deleted on its own
    // thread. Without an application object any more, the object is left to the process's end.
    return std::shared_ptr<LogRun>(new LogRun(record, std::move(logPath), std::move(writer),
                                       std::move(writeQueue), std::move(logDirectory)),
        [](LogRun *run) {
            if (run->thread() == QThread::currentThread())
                delete run;
            else
                MainThreadQueue::post([run] { delete run; });
        });
}

void LogRun::finish(RunExitStatus status, bool outputEnded)
{
    if (m_exitStatus)
        return;
    m_exitStatus = status;
    if (m_writer && outputEnded)
        m_writer->close();
    persist();
    Q_EMIT exitStatusChanged();
}

void LogRun::persist()
{
    if (!m_writeQueue)
        return;
    m_writeQueue->enqueue([directory = QFile::encodeName(m_logDirectory).toStdString(),
                              fileName = LogRecord::recordFileNameFor(m_id),
                              contents = record().toJson(), state = m_recordWrite] {
        const int error
            = writeFileAtomically(directory, QFile::encodeName(fileName).toStdString(), contents);
        const QString text = error == 0
            ? QString()
            : QStringLiteral("the run's record %1 could not be written: %2")
                  .arg(QString::fromStdString(directory) + u'/' + fileName, systemErrorText(error));
        {
            std::lock_guard lock(state->mutex);
            if (state->error == text)
                return;
            state->error = text;
        }
        // Not a QPointer: this closure lives and dies on the writer thread, and a QPointer may
        // only be touched on its object's thread. The run clears the pointer as it goes.
        MainThreadQueue::post([state] {
            LogRun *run = nullptr;
            {
                std::lock_guard lock(state->mutex);
                run = state->run;
            }
            if (run)
                Q_EMIT run->recordErrorChanged();
        });
    });
}

QString LogRun::recordError() const
{
    std::lock_guard lock(m_recordWrite->mutex);
    return m_recordWrite->error;
}

LogRecord LogRun::record() const
{
    return { m_id, m_scriptName, m_date, QFileInfo(m_logPath).fileName(), m_exitStatus,
        m_scriptPath, m_arguments };
}

} // namespace runel
