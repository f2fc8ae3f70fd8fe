#pragma once

#include "LogRecord.h"
#include "LogRun.h"
#include "RunHistory.h"

#include <QList>
#include <QObject>
#include <QString>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>

namespace runel {

class LogWriteQueue;

// The run log: the log folder and the list of runs shown in the log tab. Lives on the main
// thread; every method but loadRecords belongs to it. Per run it keeps an output file
// "<UUID>.log" and a hidden record ".<UUID>.json" in the log folder (folder 0700, files 0600).
// No file operation of the log reports an error: failures leave the log incomplete, never stop
// a run.
class LogStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)

public:
    // Uses logDirectory as given (created 0700 when missing; a failure is ignored).
    explicit LogStore(QString logDirectory, QObject *parent = nullptr);
    // Runs outlive the store (see LogRun); records they persist later still reach the disk.
    ~LogStore() override;

    // The process-wide store on defaultLogDirectory(), created on first use and never
    // destroyed; its queued record writes are finished when the process exits normally.
    static LogStore &shared();
    // $XDG_DATA_HOME/runel/logs, with ~/.local/share in place of an unset or relative
    // XDG_DATA_HOME.
    static QString defaultLogDirectory();

    const QString &logDirectory() const { return m_logDirectory; }
    // Always sorted by date, oldest first; runs of the same second by id, which grows with the
    // start time for runs started by this program.
    const QList<LogRunPtr> &runs() const { return m_runs; }
    bool isLoading() const { return m_isLoading; }
    int reloadGeneration() const { return m_reloadGeneration; }

    // Opens a new run: its output file exists and is open, it is listed at once, its record
    // (without a status) is queued for writing, and the run history counts it. Finish it with
    // LogRun::finish. scriptPath and arguments go into the record as they are: the caller
    // leaves out what must not be kept.
    LogRunPtr startRun(const QString &scriptName, const QString &scriptPath = {},
        const QStringList &arguments = {});
    // Queues a rewrite of the run's record.
    void persist(LogRun &run);

    // Reads the records on a worker thread, after the record writes queued so far. Only the
    // newest reload applies its result (a clear or release also cancels one in flight); runs
    // still going on in this process keep their objects. A record without a status reads as
    // interrupted, unless another process is still writing its output (it is then listed
    // without a status). completion runs on the main thread after the result is applied, and
    // not at all when it is discarded.
    void reload(std::function<void()> completion = {});
    // Lists only the running runs, and deletes everything in the log folder but their files and
    // those of runs another process is still writing; the run history starts empty again. The
    // deletion runs on the write queue, after the record writes queued before it
    // (waitForPendingWrites waits for it).
    void clear();
    // Drops the finished runs from the list (their files stay): for when the log tab goes away.
    void releaseFinishedRuns();

    // Every script's use, from the records read by the latest reloadRunHistory and the runs
    // started here since (empty before the first). Main thread.
    const RunHistory &runHistory() const { return m_runHistory; }
    int runHistoryGeneration() const { return m_runHistoryGeneration; }
    // Reads the records again on the write queue (after the writes queued so far) and replaces
    // runHistory, keeping the runs started meanwhile; only the newest request applies. Meant
    // for each reload of the scripts, not for every key: a large log takes a while to read.
    void reloadRunHistory();
    // reloadRunHistory if the log folder changed since the last read: runs started by another
    // process (runel run) then reach the history. One stat here; the read is on the queue. For
    // each opening of the HUD.
    void refreshRunHistory();

    // The decodable records in directory whose output file exists, oldest first. Unreadable or
    // undecodable records and anything else in the folder are skipped. Any thread.
    static QList<LogRecord> loadRecords(const QString &directory);

    // Blocks until every record write, clear and reload read queued so far has run on the
    // write queue (tests, a process about to end). A reload's result still needs the event loop.
    void waitForPendingWrites();

Q_SIGNALS:
    // Emitted when runs changes (other objects, another order, or another length).
    void runsChanged();
    void isLoadingChanged();
    // runHistory changed: read again, or a run was started.
    void runHistoryChanged();

private:
    struct ReloadResult;
    void apply(int generation, const ReloadResult &result, std::function<void()> completion);
    void setRuns(QList<LogRunPtr> runs);
    void setLoading(bool loading);

    const QString m_logDirectory;
    const std::shared_ptr<LogWriteQueue> m_writeQueue;
    QList<LogRunPtr> m_runs;
    bool m_isLoading = false;
    int m_reloadGeneration = 0;
    RunHistory m_runHistory;
    int m_runHistoryGeneration = 0; // moves with every change of m_runHistory
    int m_historyRequest = 0; // the newest reloadRunHistory; older results are dropped
    std::optional<timespec> m_historyFolderStamp; // the folder's change time at that request
    // Runs started since the newest request: its read cannot have seen their records, which
    // were queued after it.
    QList<LogRecord> m_runsSinceHistoryRequest;
    bool m_historyRequestPending = false;
};

} // namespace runel
