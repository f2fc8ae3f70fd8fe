#pragma once

#include "LogRecord.h"

#include <QObject>
#include <memory>
#include <mutex>
#include <optional>

namespace runel {

class LogFileWriter;
class LogWriteQueue;

// One run in the log: started in this process by LogStore::startRun (with a writer and a way to
// persist its record), or read back from a record by a reload (neither). A run read back has a
// status, unless another process was still writing its output at the reload.
//
// Lifetime: always held through std::shared_ptr (LogRunPtr). Whoever runs the script keeps its
// own LogRunPtr for as long as it needs the run: the run, its writer and its write queue stay
// valid after the store has dropped the run (clear, release, reload) and after the store itself
// is gone. The last owner may let go on any thread; the object is then deleted on its own
// (the main) thread.
//
// Threads: id, scriptName, scriptPath, arguments, date, logPath and writer never change and may be
// read on any thread; exitStatus, finish and persist belong to the main thread.
class LogRun : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY exitStatusChanged)

public:
    ~LogRun() override;

    const QUuid &id() const { return m_id; }
    const QString &scriptName() const { return m_scriptName; }
    // As the record keeps them (LogRecord).
    const QString &scriptPath() const { return m_scriptPath; }
    const QStringList &arguments() const { return m_arguments; }
    const QDateTime &date() const { return m_date; }
    // The output file, absolute.
    const QString &logPath() const { return m_logPath; }
    // Empty while the run goes on.
    const std::optional<RunExitStatus> &exitStatus() const { return m_exitStatus; }
    bool isRunning() const { return !m_exitStatus.has_value(); }

    // The output file's writer, for the reader threads; null for a run read back from a record.
    const std::shared_ptr<LogFileWriter> &writer() const { return m_writer; }

    // Ends a running run: sets exitStatus, closes the writer (waiting for a write in progress;
    // later writes are dropped) and queues the record with the final status. Works with or
    // without the store that started the run: the record reaches the disk either way. A run that
    // has a status is left as it is. When output goes on after the run's end (a job the script
    // left running), pass outputEnded false: the writer stays open, for its feeder to close.
    void finish(RunExitStatus status, bool outputEnded = true);

    // Queues a rewrite of the record file with the current fields; does nothing for a run read
    // back from a record.
    void persist();
    // Why the latest record write failed, in words for the user; empty while the writes
    // succeed. A run whose final record is lost is listed as interrupted by every later
    // reload, so this is what there is to tell the user. Any thread.
    QString recordError() const;

    LogRecord record() const;

Q_SIGNALS:
    void exitStatusChanged();
    // Main thread, after a record write has failed or succeeded again.
    void recordErrorChanged();

private:
    friend class LogStore;
    LogRun(const LogRecord &record, QString logPath, std::shared_ptr<LogFileWriter> writer,
        std::shared_ptr<LogWriteQueue> writeQueue, QString logDirectory);
    static std::shared_ptr<LogRun> create(const LogRecord &record, QString logPath,
        std::shared_ptr<LogFileWriter> writer = {}, std::shared_ptr<LogWriteQueue> writeQueue = {},
        QString logDirectory = {});

    const QUuid m_id;
    const QString m_scriptName;
    const QString m_scriptPath;
    const QStringList m_arguments;
    const QDateTime m_date;
    const QString m_logPath;
    std::optional<RunExitStatus> m_exitStatus;
    const std::shared_ptr<LogFileWriter> m_writer;
    const std::shared_ptr<LogWriteQueue> m_writeQueue;
    const QString m_logDirectory; // where the record goes; empty for a run read back
    // Written by the record writes on the log's worker thread.
    struct RecordWrite {
        std::mutex mutex;
        QString error; // guarded by mutex
        LogRun *run = nullptr; // guarded by mutex; cleared when the run is destroyed
    };
    const std::shared_ptr<RecordWrite> m_recordWrite = std::make_shared<RecordWrite>();
};

using LogRunPtr = std::shared_ptr<LogRun>;

} // namespace runel
