#include "TestEnvironment.h"
#include "execution/LogFileWriter.h"
#include "execution/LogStore.h"

#include <QSignalSpy>
#include <QtTest>
#include <nlohmann/json.hpp>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace runel;
using namespace Qt::StringLiterals;

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

nlohmann::json recordOnDisk(const LogStore &store, const LogRun &run)
{
    QFile file(store.logDirectory() + u'/' + LogRecord::recordFileNameFor(run.id()));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    return nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
}

// A run of another process, as its files are left on disk.
QString writeForeignRun(const QString &directory, const QString &date,
    std::optional<RunExitStatus> status, const QString &name = u"Foreign"_s)
{
    const QUuid id = QUuid::createUuid();
    LogRecord record { id, name, QDateTime::fromString(date, Qt::ISODate),
        LogRecord::logFileNameFor(id), status };
    writeFile(directory + u'/' + record.logFileName, QByteArray());
    writeFile(directory + u'/' + LogRecord::recordFileNameFor(id),
        QByteArray::fromStdString(record.toJson()));
    return uuidString(id);
}

QStringList entries(const QString &directory)
{
    QStringList names = QDir(directory).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QStringList statuses(const LogStore &store)
{
    QStringList result;
    for (const LogRunPtr &run : store.runs())
        result += run->scriptName() + u'='
            + (run->exitStatus() ? rawValue(*run->exitStatus()) : u"running"_s);
    return result;
}

} // namespace

// The run log store: runs started here, their records, reloads, clear and release.
class TestLogStore : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString logs() const { return m_dir->filePath(u"data/runel/logs"_s); }

    // Reloads and waits until the result is applied.
    static void reloadAndWait(LogStore &store)
    {
        bool done = false;
        store.reload([&done] { done = true; });
        QTRY_VERIFY(done);
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }

    void defaultDirectory_data()
    {
        QTest::addColumn<QByteArray>("dataHome"); // "-" for unset
        QTest::addColumn<QString>("expected"); // below HOME when relative

        QTest::newRow("XDG_DATA_HOME absolute")
            << QByteArray("/srv/data") << u"/srv/data/runel/logs"_s;
        QTest::newRow("XDG_DATA_HOME unset") << QByteArray("-") << u".local/share/runel/logs"_s;
        QTest::newRow("XDG_DATA_HOME empty") << QByteArray("") << u".local/share/runel/logs"_s;
        QTest::newRow("XDG_DATA_HOME relative: ignored")
            << QByteArray("rel/data") << u".local/share/runel/logs"_s;
    }

    void defaultDirectory()
    {
        QFETCH(QByteArray, dataHome);
        QFETCH(QString, expected);
        TestHome home;
        if (dataHome == "-")
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", dataHome);
        if (!expected.startsWith(u'/'))
            expected = QDir::homePath() + u'/' + expected;
        QCOMPARE(LogStore::defaultLogDirectory(), expected);
    }

    void startedRunIsListedWithOutputAndRecord()
    {
        LogStore store(logs());
        QCOMPARE(modeOf(m_dir->filePath(u"data"_s)), mode_t(0700));
        QCOMPARE(modeOf(logs()), mode_t(0700));

        QSignalSpy changed(&store, &LogStore::runsChanged);
        const LogRunPtr run = store.startRun(u"Backup"_s);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(store.runs(), QList<LogRunPtr> { run });
        QVERIFY(run->isRunning());
        QCOMPARE(run->logPath(), logs() + u'/' + uuidString(run->id()) + u".log"_s);
        QVERIFY(QFileInfo(run->logPath()).isFile());
        QCOMPARE(modeOf(run->logPath()), mode_t(0600));
        QCOMPARE(run->date().time().msec(), 0);

        store.waitForPendingWrites();
        const nlohmann::json record = recordOnDisk(store, *run);
        QCOMPARE(QString::fromStdString(record.dump()),
            QString::fromStdString(nlohmann::json { { "id", uuidString(run->id()).toStdString() },
                { "scriptName", "Backup" }, { "date", dateString(run->date()).toStdString() },
                { "logFileName", (uuidString(run->id()) + u".log"_s).toStdString() } }
                                       .dump()));
        QCOMPARE(modeOf(logs() + u'/' + LogRecord::recordFileNameFor(run->id())), mode_t(0600));
        QCOMPARE(entries(logs()).size(), 2); // no temporary left behind
    }

    void finishedRunPersistsItsStatus_data()
    {
        QTest::addColumn<RunExitStatus>("status");
        QTest::newRow("success") << RunExitStatus::success;
        QTest::newRow("failure") << RunExitStatus::failure;
        QTest::newRow("cancelled") << RunExitStatus::cancelled;
    }

    void finishedRunPersistsItsStatus()
    {
        QFETCH(RunExitStatus, status);
        LogStore store(logs());
        const LogRunPtr run = store.startRun(u"Job"_s);
        run->writer()->write(QByteArray("out\n"));
        QSignalSpy statusChanged(run.get(), &LogRun::exitStatusChanged);

        run->finish(status);
        QCOMPARE(statusChanged.size(), 1);
        QCOMPARE(run->exitStatus(), status);
        QVERIFY(run->writer()->isClosed());
        run->writer()->write(QByteArray("late"));
        // Set once: a second finish changes nothing.
        run->finish(
            RunExitStatus::failure == status ? RunExitStatus::success : RunExitStatus::failure);
        QCOMPARE(statusChanged.size(), 1);
        QCOMPARE(run->exitStatus(), status);

        store.waitForPendingWrites();
        QCOMPARE(recordOnDisk(store, *run).value("exitStatus", ""), rawValue(status).toStdString());
        QCOMPARE(QFileInfo(run->logPath()).size(), 4);

        // Another store reads the same outcome back.
        LogStore other(logs());
        reloadAndWait(other);
        QCOMPARE(statuses(other), QStringList { u"Job="_s + rawValue(status) });
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

    void reloadKeepsRunsInProgressAndMarksCutOffOnesInterrupted()
    {
        writeForeignRun(logs(), u"2025-01-01T00:00:00Z"_s, std::nullopt, u"Cut off"_s);
        writeForeignRun(logs(), u"2025-01-02T00:00:00Z"_s, RunExitStatus::failure, u"Failed"_s);
        LogStore store(logs());
        const LogRunPtr running = store.startRun(u"Going"_s);
        const LogRunPtr done = store.startRun(u"Done"_s);
        done->finish(RunExitStatus::success);

        reloadAndWait(store);
        QCOMPARE(statuses(store),
            (QStringList { u"Cut off=interrupted"_s, u"Failed=failure"_s, u"Going=running"_s,
                u"Done=success"_s }));
        // The running run is the same object, listed once, and its outcome shows in the list.
        QCOMPARE(store.runs()[2], running);
        running->finish(RunExitStatus::cancelled);
        QCOMPARE(statuses(store)[2], u"Going=cancelled"_s);

        // The cut-off record is not rewritten.
        store.waitForPendingWrites();
        QCOMPARE(recordOnDisk(store, *store.runs()[0]).contains("exitStatus"), false);
    }

    void runWrittenByAnotherProcessIsNotInterrupted()
    {
        const QString id = writeForeignRun(logs(), u"2025-01-01T00:00:00Z"_s, std::nullopt);
        // Another process's writer holds the output file open.
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

    void runsAreListedOldestFirst()
    {
        writeForeignRun(logs(), u"2025-01-03T00:00:00Z"_s, RunExitStatus::success, u"C"_s);
        writeForeignRun(logs(), u"2025-01-01T00:00:00Z"_s, RunExitStatus::success, u"A"_s);
        writeForeignRun(logs(), u"2025-01-02T00:00:00+05:00"_s, RunExitStatus::success, u"B"_s);
        LogStore store(logs());
        const LogRunPtr now = store.startRun(u"Now"_s);
        reloadAndWait(store);
        QCOMPARE(statuses(store),
            (QStringList { u"A=success"_s, u"B=success"_s, u"C=success"_s, u"Now=running"_s }));
    }

    // Records keep whole seconds: runs started within one second must not swap on reload.
    void runsOfOneSecondKeepTheirStartOrder()
    {
        LogStore store(logs());
        QStringList started;
        for (int i = 0; i < 30; ++i) {
            started += u"R%1=success"_s.arg(i);
            store.startRun(u"R%1"_s.arg(i))->finish(RunExitStatus::success);
        }
        QCOMPARE(statuses(store), started);
        store.waitForPendingWrites();
        LogStore other(logs());
        reloadAndWait(other);
        QCOMPARE(statuses(other), started);
    }

    void deletedOutputHidesRunAndDuplicateIdIsListedOnce()
    {
        const QString gone
            = writeForeignRun(logs(), u"2025-01-01T00:00:00Z"_s, RunExitStatus::success, u"Gone"_s);
        const QString copied = writeForeignRun(
            logs(), u"2025-01-02T00:00:00Z"_s, RunExitStatus::success, u"Copied"_s);
        QVERIFY(QFile::remove(logs() + u'/' + gone + u".log"_s));
        QVERIFY(QFile::copy(logs() + u"/."_s + copied + u".json"_s, logs() + u"/.copy.json"_s));
        LogStore store(logs());
        reloadAndWait(store);
        QCOMPARE(statuses(store), QStringList { u"Copied=success"_s });
    }

    void onlyTheNewestReloadApplies_data()
    {
        QTest::addColumn<QString>("after"); // what follows the first reload
        QTest::newRow("second reload") << u"reload"_s;
        QTest::newRow("clear") << u"clear"_s;
        QTest::newRow("release") << u"release"_s;
    }

    void onlyTheNewestReloadApplies()
    {
        QFETCH(QString, after);
        writeForeignRun(logs(), u"2025-01-01T00:00:00Z"_s, RunExitStatus::success);
        LogStore store(logs());
        QSignalSpy loading(&store, &LogStore::isLoadingChanged);
        int first = 0;
        store.reload([&first] { ++first; });
        QVERIFY(store.isLoading());
        QCOMPARE(store.reloadGeneration(), 1);

        int second = 0;
        if (after == u"reload") {
            store.reload([&second] { ++second; });
            QTRY_COMPARE(second, 1);
            QCOMPARE(store.runs().size(), 1);
        } else {
            if (after == u"clear")
                store.clear();
            else
                store.releaseFinishedRuns();
            QVERIFY(!store.isLoading());
        }
        QCOMPARE(store.reloadGeneration(), 2);
        // The first result arrives but is discarded.
        store.waitForPendingWrites();
        QCoreApplication::processEvents();
        QCOMPARE(first, 0);
        QVERIFY(!store.isLoading());
        QCOMPARE(loading.size(), 2); // true once, false once
        if (after != u"reload")
            QVERIFY(store.runs().isEmpty());
    }

    void clearRemovesEverythingButRunningRuns()
    {
        writeForeignRun(logs(), u"2025-01-01T00:00:00Z"_s, RunExitStatus::success);
        writeForeignRun(logs(), u"2025-01-01T00:00:00Z"_s, std::nullopt);
        writeFile(logs() + u"/notes.txt"_s, "x");
        writeFile(logs() + u"/sub/deep.txt"_s, "x");
        LogStore store(logs());
        const LogRunPtr running = store.startRun(u"Going"_s);
        const LogRunPtr done = store.startRun(u"Done"_s);
        done->finish(RunExitStatus::success);
        reloadAndWait(store);
        QCOMPARE(store.runs().size(), 4);

        QSignalSpy changed(&store, &LogStore::runsChanged);
        store.clear();
        QCOMPARE(changed.size(), 1);
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
        store.clear();
        store.waitForPendingWrites();
        QVERIFY(store.runs().isEmpty());
        QVERIFY(entries(logs()).isEmpty());
    }

    void releaseDropsFinishedRunsButNotTheirFiles()
    {
        LogStore store(logs());
        const LogRunPtr running = store.startRun(u"Going"_s);
        const LogRunPtr done = store.startRun(u"Done"_s);
        done->finish(RunExitStatus::failure);
        store.releaseFinishedRuns();
        QCOMPARE(store.runs(), QList<LogRunPtr> { running });
        store.waitForPendingWrites();
        QCOMPARE(entries(logs()).size(), 4);

        // A run dropped from the list can still be finished by whoever holds it.
        store.releaseFinishedRuns();
        reloadAndWait(store);
        QCOMPARE(statuses(store), (QStringList { u"Going=running"_s, u"Done=failure"_s }));
    }

    // The coordinator's closures hold the run past the HUD, the store's list and the store.
    void runOutlivesItsStore()
    {
        LogRunPtr run;
        QString directory = logs();
        {
            LogStore store(directory);
            run = store.startRun(u"Orphan"_s);
            store.clear();
            store.releaseFinishedRuns();
        }
        run->writer()->write(QByteArray("still here"));
        run->finish(RunExitStatus::success);
        LogStore reader(directory);
        run.reset(); // the last owner: the queue drains before it goes
        reloadAndWait(reader);
        QCOMPARE(statuses(reader), QStringList { u"Orphan=success"_s });
    }

    void lastOwnerOnAWorkerThreadIsSafe()
    {
        LogStore store(logs());
        LogRunPtr run = store.startRun(u"Threaded"_s);
        QPointer<LogRun> watch(run.get());
        std::shared_ptr<LogFileWriter> writer = run->writer();
        run->finish(RunExitStatus::success);
        store.releaseFinishedRuns();
        std::thread reader([held = std::move(run), writer = std::move(writer)]() mutable {
            writer->write(QByteArray("dropped after close"));
            held.reset();
            writer.reset();
        });
        reader.join();
        QTRY_VERIFY(watch.isNull());
    }

    void writeFailureNeverReachesTheRun()
    {
        LogStore store(logs());
        const LogRunPtr run = store.startRun(u"Unwritable"_s);
        // The output file and the folder go while the run is on.
        store.waitForPendingWrites();
        QVERIFY(QDir(logs()).removeRecursively());
        run->writer()->write(QByteArray("into an unlinked file"));
        run->finish(RunExitStatus::success);
        store.waitForPendingWrites();
        // The record is written again, into a new private folder.
        QCOMPARE(recordOnDisk(store, *run).value("exitStatus", ""), "success");
        QCOMPARE(modeOf(logs()), mode_t(0700));
    }

    void sharedStoreUsesTheDataHome()
    {
        TestHome home;
        QCOMPARE(LogStore::shared().logDirectory(), home.path() + u"/data/runel/logs"_s);
        QVERIFY(QFileInfo(home.path() + u"/data/runel/logs"_s).isDir());
    }
};

QTEST_GUILESS_MAIN(TestLogStore)
#include "tst_log_store.moc"
