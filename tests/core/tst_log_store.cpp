#include "RunFixtures.h"
#include "core/log/LogFileWriter.h"
#include "core/log/LogStore.h"

#include <QSignalSpy>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

using namespace runel;
using namespace Qt::StringLiterals;

namespace {

// The run's record file as read back; an empty record when it cannot be read.
LogRecord recordOnDisk(const LogStore &store, const LogRun &run)
{
    return LogRecord::fromJson(
        fileBytes(store.logDirectory() + u'/' + LogRecord::recordFileNameFor(run.id()))
            .toStdString())
        .value_or(LogRecord {});
}

QStringList entries(const QString &directory)
{
    QStringList names = QDir(directory).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// "name=status" per listed run, in list order.
QStringList statuses(const LogStore &store)
{
    QStringList result;
    for (const LogRunPtr &run : store.runs())
        result += run->scriptName() + u'='
            + (run->exitStatus() ? rawValue(*run->exitStatus()) : u"running"_s);
    return result;
}

// Reloads and waits until the result is applied.
void reloadAndWait(LogStore &store)
{
    bool done = false;
    store.reload([&done] { done = true; });
    QTRY_VERIFY(done);
}

} // namespace

// The run log store: runs started here, their records, reloads, clear and release.
class TestLogStore : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    QString logs() const { return m_home->file(u"data/runel/logs"_s); }

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    // Private files in private folders, the record written whole (no temporary left behind).
    void startedRunIsListedWithOutputAndRecord()
    {
        LogStore store(logs());
        QCOMPARE(fileMode(m_home->file(u"data"_s)), mode_t(0700));

        const LogRunPtr run = store.startRun(u"Backup"_s);
        QCOMPARE(store.runs(), QList<LogRunPtr> { run });
        QVERIFY(run->isRunning());
        QCOMPARE(fileMode(run->logPath()), mode_t(0600));

        store.waitForPendingWrites();
        QCOMPARE(recordOnDisk(store, *run),
            (LogRecord { run->id(), u"Backup"_s, run->date(), uuidString(run->id()) + u".log"_s,
                std::nullopt }));
        QCOMPARE(fileMode(logs() + u'/' + LogRecord::recordFileNameFor(run->id())), mode_t(0600));
        QCOMPARE(entries(logs()).size(), 2);
    }

    // Set once, with its record, and read back by another store in start order; the output
    // ends with it.
    void finishedRunPersistsItsStatusOnce()
    {
        LogStore store(logs());
        const LogRunPtr run = store.startRun(u"Job"_s);
        run->writer()->write(QByteArray("out\n"));
        QSignalSpy statusChanged(run.get(), &LogRun::exitStatusChanged);
        run->finish(RunExitStatus::cancelled);
        QVERIFY(run->writer()->isClosed());
        run->writer()->write(QByteArray("late"));
        run->finish(RunExitStatus::success);
        QCOMPARE(statusChanged.size(), 1);
        QCOMPARE(run->exitStatus(), RunExitStatus::cancelled);

        store.waitForPendingWrites();
        QCOMPARE(recordOnDisk(store, *run).exitStatus, RunExitStatus::cancelled);
        QCOMPARE(QFileInfo(run->logPath()).size(), 4);

        // Records keep whole seconds: runs started within one second must not swap on reload.
        QStringList started { u"Job=cancelled"_s };
        for (int i = 0; i < 30; ++i) {
            started += u"R%1=success"_s.arg(i);
            store.startRun(u"R%1"_s.arg(i))->finish(RunExitStatus::success);
        }
        store.waitForPendingWrites();
        LogStore other(logs());
        reloadAndWait(other);
        QCOMPARE(statuses(other), started);
        QCOMPARE(other.runs()[0]->logPath(), run->logPath());
    }

    // Output that goes on after the run's end (a job it left running) still reaches the file;
    // a final record that cannot be written is said, not lost in silence.
    void runEndingBeforeItsOutputAndLostRecord()
    {
        LogStore store(logs());
        const LogRunPtr run = store.startRun(u"Job"_s);
        store.waitForPendingWrites();
        const QString record = logs() + u'/' + LogRecord::recordFileNameFor(run->id());
        QVERIFY(QFile::remove(record) && QDir().mkdir(record));
        QSignalSpy errorChanged(run.get(), &LogRun::recordErrorChanged);

        run->finish(RunExitStatus::success, false);
        run->writer()->write(QByteArray("late"));
        run->writer()->close();
        QCOMPARE(QFileInfo(run->logPath()).size(), 4);
        QVERIFY(errorChanged.wait());
        QVERIFY2(
            run->recordError().contains(qt_error_string(EISDIR)), qPrintable(run->recordError()));
    }

    // Oldest first, by the instant (a date with an offset included); a record copied under
    // another name is listed once; runs going on here are kept as they are, others without a
    // status were cut off.
    void reloadListsRunsOldestFirstAndMarksCutOffOnesInterrupted()
    {
        writeLoggedRun(logs(), u"C"_s, u"2025-01-03T00:00:00Z"_s, RunExitStatus::success);
        writeLoggedRun(logs(), u"Cut off"_s, u"2025-01-01T00:00:00Z"_s, std::nullopt);
        const QString copied = writeLoggedRun(
            logs(), u"B"_s, u"2025-01-02T00:00:00+05:00"_s, RunExitStatus::failure);
        QVERIFY(QFile::copy(logs() + u"/."_s + copied + u".json"_s, logs() + u"/.copy.json"_s));
        LogStore store(logs());
        const LogRunPtr running = store.startRun(u"Going"_s);
        store.startRun(u"Done"_s)->finish(RunExitStatus::success);

        reloadAndWait(store);
        QCOMPARE(statuses(store),
            (QStringList { u"Cut off=interrupted"_s, u"B=failure"_s, u"C=success"_s,
                u"Going=running"_s, u"Done=success"_s }));
        QCOMPARE(store.runs()[3], running);
        store.waitForPendingWrites();
        const LogRecord cutOff = recordOnDisk(store, *store.runs()[0]);
        QVERIFY(cutOff.scriptName == u"Cut off"_s && !cutOff.exitStatus); // not rewritten
    }

    // Another process's writer holds the output file open (locked): its run is going on.
    void runWrittenByAnotherProcessIsNotInterrupted()
    {
        const QString id
            = writeLoggedRun(logs(), u"Foreign"_s, u"2025-01-01T00:00:00Z"_s, std::nullopt);
        const int fd = ::open(
            QFile::encodeName(logs() + u'/' + id + u".log"_s).constData(), O_WRONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);

        LogStore store(logs());
        reloadAndWait(store);
        QCOMPARE(statuses(store), QStringList { u"Foreign=running"_s });
        store.clear();
        store.waitForPendingWrites();
        QCOMPARE(entries(logs()).size(), 2);

        ::close(fd);
        reloadAndWait(store);
        QCOMPARE(statuses(store), QStringList { u"Foreign=interrupted"_s });
    }

    // Another process's runs (runel run) reach the history at the next refresh.
    void refreshReadsOnlyAChangedFolder()
    {
        LogStore store(logs());
        const timespec old[2] = { { 1, 0 }, { 1, 0 } }; // the folder's change time set far back
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(logs()).constData(), old, 0), 0);
        store.reloadRunHistory();
        store.waitForPendingWrites();
        QCoreApplication::processEvents();
        QVERIFY(store.runHistory().isEmpty());

        LogStore other(logs());
        other.startRun(u"Greet"_s, u"/s/greet.sh"_s, { u"bob"_s })->finish(RunExitStatus::success);
        other.waitForPendingWrites();
        store.refreshRunHistory();
        store.waitForPendingWrites();
        QTRY_VERIFY(store.runHistory().entry(u"/s/greet.sh"_s));
        QCOMPARE(store.runHistory().entry(u"/s/greet.sh"_s)->recalledArguments,
            QStringList { u"bob"_s });
    }

    void clearRemovesEverythingButRunningRuns()
    {
        writeLoggedRun(logs(), u"Old"_s, u"2025-01-01T00:00:00Z"_s, RunExitStatus::success);
        writeLoggedRun(logs(), u"Cut off"_s, u"2025-01-01T00:00:00Z"_s, std::nullopt);
        writeFile(logs() + u"/notes.txt"_s, "x");
        writeFile(logs() + u"/sub/deep.txt"_s, "x");
        LogStore store(logs());
        const LogRunPtr running = store.startRun(u"Going"_s);
        store.startRun(u"Done"_s, u"/s/done.sh"_s, { u"private"_s })
            ->finish(RunExitStatus::success);
        reloadAndWait(store);
        QCOMPARE(store.runs().size(), 4);
        QVERIFY(store.runHistory().entry(u"/s/done.sh"_s));

        store.clear();
        QVERIFY(store.runHistory().isEmpty()); // nothing of the cleared runs is offered again
        QCOMPARE(store.runs(), QList<LogRunPtr> { running });
        store.waitForPendingWrites();
        QCOMPARE(entries(logs()),
            (QStringList { LogRecord::recordFileNameFor(running->id()),
                LogRecord::logFileNameFor(running->id()) }));

        // The kept run still writes and finishes into its own files.
        running->writer()->write(QByteArray("more"));
        running->finish(RunExitStatus::success);
        reloadAndWait(store);
        QCOMPARE(statuses(store), QStringList { u"Going=success"_s });
    }

    // Release drops finished runs from the list, not their files; the coordinator's closures
    // hold a run past the HUD, the store's list and the store itself.
    void releasedRunsKeepTheirFilesAndOutliveTheStore()
    {
        LogRunPtr running;
        {
            LogStore store(logs());
            running = store.startRun(u"Going"_s);
            store.startRun(u"Done"_s)->finish(RunExitStatus::failure);
            store.releaseFinishedRuns();
            QCOMPARE(store.runs(), QList<LogRunPtr> { running });
            store.waitForPendingWrites();
            QCOMPARE(entries(logs()).size(), 4);
        }
        running->writer()->write(QByteArray("still here"));
        running->finish(RunExitStatus::success);
        LogStore reader(logs());
        // The last owner, on a worker thread: the queue drains before the run goes.
        QPointer<LogRun> watch(running.get());
        std::thread([held = std::move(running)]() mutable { held.reset(); }).join();
        QTRY_VERIFY(watch.isNull());
        reloadAndWait(reader);
        QCOMPARE(statuses(reader), (QStringList { u"Going=success"_s, u"Done=failure"_s }));
    }

    // The output file and the folder go while the run is on: the record is written again,
    // into a new private folder.
    void writeFailureNeverReachesTheRun()
    {
        LogStore store(logs());
        const LogRunPtr run = store.startRun(u"Unwritable"_s);
        store.waitForPendingWrites();
        QVERIFY(QDir(logs()).removeRecursively());
        run->writer()->write(QByteArray("into an unlinked file"));
        run->finish(RunExitStatus::success);
        store.waitForPendingWrites();
        QCOMPARE(recordOnDisk(store, *run).exitStatus, RunExitStatus::success);
        QCOMPARE(fileMode(logs()), mode_t(0700));
    }
};

QTEST_GUILESS_MAIN(TestLogStore)
#include "tst_log_store.moc"
