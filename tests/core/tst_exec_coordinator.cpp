#include "RunFixtures.h"

#include "core/ScriptType.h"
#include "core/SystemServices.h"
#include "core/execution/FileExecutor.h"
#include "core/execution/ScriptExecutionCoordinator.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"
#include "core/threading/MainThreadLineDispatcher.h"

#include <QFileInfo>
#include <QThread>

using namespace runel;
using namespace Qt::StringLiterals;

using Event = ScriptExecutionCoordinator::Event;
using RunResult = ScriptExecutionCoordinator::RunResult;
using Sounds = QStringList;
using Arguments = QStringList;

Q_DECLARE_METATYPE(Event)

namespace {

const QByteArray listLine = "[{\"title\":\"One\",\"script\":\"a/one.sh\",\"arguments\":[\"x\"]},"
                            "{\"title\":\"Two\",\"script\":\"two.sh\",\"icon\":\"star\","
                            "\"subtitle\":\"s\"}]";

Event shownList()
{
    return Event::showingList(u"Backup"_s,
        { { std::nullopt, u"One"_s, std::nullopt, u"a/one.sh"_s, QStringList { u"x"_s } },
            { u"star"_s, u"Two"_s, u"s"_s, u"two.sh"_s, std::nullopt } });
}

// A private home, settings, log and fake desktop around one coordinator, and what it reports.
// The event list and the results are shared with the runs, so a failed test leaves nothing
// they could write into.
class Harness {
public:
    Harness()
        : config(std::make_unique<SettingsFile>(SettingsFile::defaultPath()), QString())
        , logStore(home.file(u"logs"_s))
        , coordinator(std::make_unique<ScriptExecutionCoordinator>(config, logStore, services))
    {
        coordinator->setOnEvent([reported = reported](const Event &event) {
            if (QThread::currentThread() != qApp->thread())
                qFatal("an event was sent off the main thread");
            if (event.kind != Event::Kind::foregroundOutput) {
                reported->outcomes.append(event);
            } else {
                reported->linesAfterOutcome += !reported->outcomes.isEmpty();
                reported->shown.append(event.line);
            }
        });
    }
    ~Harness()
    {
        // Runs still going (a failed test) must not outlive the services they play sounds on.
        for (const auto &process : processes)
            process->signalGroup(SIGKILL);
        QTRY_VERIFY(std::all_of(results.begin(), results.end(), [](const auto &r) { return *r; }));
    }

    FileItem script(const QString &relativePath, const QByteArray &body)
    {
        FileItem file;
        file.relativePath = relativePath;
        file.path = writeFile(home.file(u"scripts/"_s + relativePath), "#!/bin/bash\n" + body);
        file.scriptType = scriptTypeForFileName(relativePath).value_or(ScriptType::shell);
        return file;
    }

    std::shared_ptr<std::optional<RunResult>> start(bool foreground, const FileItem &file,
        const Arguments &arguments = {}, const QString &modifiers = {})
    {
        ScriptExecutionCoordinator::RunHooks hooks;
        auto result = std::make_shared<std::optional<RunResult>>();
        hooks.finished = [result](const RunResult &finished) { *result = finished; };
        if (foreground)
            coordinator->runForeground(file, u"Backup"_s, arguments, modifiers, std::move(hooks));
        else
            coordinator->runBackground(file, u"Backup"_s, arguments, modifiers, std::move(hooks));
        results.append(result);
        if (coordinator && coordinator->runningProcess())
            processes.append(coordinator->runningProcess());
        return result;
    }

    // Runs to the end; null when it did not end in time.
    const RunResult *run(bool foreground, const FileItem &file, const Arguments &arguments = {},
        const QString &modifiers = {})
    {
        const auto result = start(foreground, file, arguments, modifiers);
        if (!QTest::qWaitFor([&] { return result->has_value(); }, 20000))
            return nullptr;
        return &**result;
    }

    // The run's record as read back from the disk.
    std::optional<RunExitStatus> loggedStatus(const RunResult &result)
    {
        logStore.waitForPendingWrites();
        for (const LogRecord &record : LogStore::loadRecords(logStore.logDirectory())) {
            if (record.id == result.logRun->id())
                return record.exitStatus;
        }
        return std::nullopt;
    }

    TestHome home;
    ConfigManager config;
    LogStore logStore;
    RecordingServices services;
    std::unique_ptr<ScriptExecutionCoordinator> coordinator;
    // What the coordinator reported: the lines shown, then the outcomes.
    struct Reported {
        QStringList shown;
        QList<Event> outcomes;
        int linesAfterOutcome = 0;
    };
    std::shared_ptr<Reported> reported = std::make_shared<Reported>();
    QList<std::shared_ptr<std::optional<RunResult>>> results;
    QList<std::shared_ptr<ChildProcess>> processes;
};

} // namespace

class TestExecCoordinator : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void foregroundOutcomes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Event>("outcome");
        QTest::addColumn<QString>("lastShown"); // null: nothing shown

        QTest::newRow("an array that is no list leaves the last line shown")
            << QByteArray("echo a\necho b\nprintf '[1,2]'") << Event::succeeded() << u"b"_s;
        QTest::newRow("a list without a final newline")
            << "printf '%s' '" + listLine + "'" << shownList() << QString();
        // Past 64 MiB a line is not kept: the list is not read, however well formed.
        QTest::newRow("a list line past the bound is no list")
            << QByteArray("printf '['; head -c 67108864 /dev/zero | tr '\\0' ' '\n"
                          "printf '{\"title\":\"T\",\"script\":\"t.sh\"}]'")
            << Event::succeeded() << QString();
    }

    // One outcome after the lines worth showing, and success in the result, the run and its
    // record.
    void foregroundOutcomes()
    {
        QFETCH(QByteArray, body);
        QFETCH(Event, outcome);
        Harness harness;
        const RunResult *result = harness.run(true, harness.script(u"backup.sh"_s, body));
        QVERIFY(result);
        QCOMPARE(harness.reported->outcomes, QList<Event> { outcome });
        QCOMPARE(harness.reported->linesAfterOutcome, 0);
        const QStringList shown = harness.reported->shown;
        QTEST(shown.isEmpty() ? QString() : shown.last(), "lastShown");
        for (const QString &line : shown)
            QVERIFY2(!line.isEmpty() && !line.trimmed().startsWith(u'['), qPrintable(line));
        QCOMPARE(result->status, RunExitStatus::success);
        QCOMPARE(result->logRun->exitStatus(), RunExitStatus::success);
        QCOMPARE(harness.loggedStatus(*result), RunExitStatus::success);
        QVERIFY(!harness.coordinator->hasRunningProcess());
    }

    void soundsAndSilence_data()
    {
        QTest::addColumn<bool>("foreground");
        QTest::addColumn<QString>("setting"); // "name=value", after both outcome sounds "Default"
        QTest::addColumn<QByteArray>("body");
        // 1: the coordinator is deleted as soon as the run has started, 2: by the outcome's
        // handler (the HUD closing on it)
        QTest::addColumn<int>("gone");
        QTest::addColumn<Sounds>("sounds"); // each run is logged, a failure when it exits 2

        const QByteArray pass("echo done"), fail("exit 2");
        const Sounds none, message { u"message"_s };
        QTest::newRow("foreground success: another sound")
            << true << u"successSound=message"_s << pass << 0 << message;
        QTest::newRow("background success: its own setting")
            << false << u"backgroundSuccessSound=message"_s << pass << 0 << message;
        QTest::newRow("coordinator gone: foreground failure logged, silently")
            << true << QString() << fail << 1 << none;
        QTest::newRow("coordinator gone on the outcome: its sound still plays")
            << true << QString() << fail << 2 << Sounds { u"dialog-error"_s };
    }

    // Which outcome plays which setting's sound; background runs and runs whose coordinator
    // (the HUD) is gone send no events, and every run is logged.
    void soundsAndSilence()
    {
        QFETCH(bool, foreground);
        QFETCH(QString, setting);
        QFETCH(QByteArray, body);
        QFETCH(int, gone);
        QFETCH(Sounds, sounds);
        Harness harness;
        harness.config.setSuccessSound(u"Default"_s);
        harness.config.setFailureSound(u"Default"_s);
        if (!setting.isEmpty()) {
            const QStringList nameValue = setting.split(u'=');
            QVERIFY(harness.config.setProperty(qPrintable(nameValue[0]), nameValue[1]));
        }
        if (gone == 2) {
            harness.coordinator->setOnEvent([&harness](const Event &event) {
                if (event.kind != Event::Kind::foregroundOutput)
                    harness.coordinator.reset();
            });
        }
        const auto result = harness.start(foreground, harness.script(u"s.sh"_s, body));
        if (gone == 1)
            harness.coordinator.reset();
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 20000);
        QVERIFY(!harness.coordinator == (gone != 0));
        if (!foreground || gone)
            QVERIFY(harness.reported->outcomes.isEmpty() && harness.reported->shown.isEmpty());
        QCOMPARE(harness.services.sounds, sounds);
        QCOMPARE(harness.loggedStatus(**result),
            body == "exit 2" ? RunExitStatus::failure : RunExitStatus::success);
        QVERIFY(!harness.coordinator || !harness.coordinator->hasRunningProcess());
    }

    void argumentsAndFolder_data()
    {
        QTest::addColumn<Arguments>("arguments");
        QTest::addColumn<QString>("modifiers");
        QTest::addColumn<QByteArray>("parameters"); // "$#", then $1 to $3
        QTest::addColumn<bool>("secret"); // the script's argument is secret
        QTest::addColumn<Arguments>("recorded"); // what its log record keeps

        QTest::newRow("no modifier and no argument: one empty parameter")
            << Arguments {} << QString() << QByteArray("1\n\n\n\n") << false << Arguments {};
        QTest::newRow("several modifiers and arguments kept whole, the record without modifiers")
            << Arguments { u"a b"_s, u"\u00fc"_s } << u"alt,ctrl,shift"_s
            << QByteArray("3\nalt,ctrl,shift\na b\n\xc3\xbc\n") << false
            << Arguments { u"a b"_s, u"\u00fc"_s };
        QTest::newRow("a secret argument reaches the script, never the record")
            << Arguments { u"hunter2"_s } << QString() << QByteArray("2\n\nhunter2\n\n") << true
            << Arguments {};
    }

    // The script runs by its absolute path in its own folder, with the modifier text first; its
    // record names it by path, with its arguments unless they are secret.
    void argumentsAndFolder()
    {
        QFETCH(Arguments, arguments);
        QFETCH(QString, modifiers);
        QFETCH(QByteArray, parameters);
        QFETCH(bool, secret);
        QFETCH(Arguments, recorded);
        Harness harness;
        FileItem file = harness.script(
            u"my scripts/args.sh"_s, "printf '%s\\n' \"$PWD\" \"$0\" \"$#\" \"$1\" \"$2\" \"$3\"");
        if (secret)
            file.metadata.argument = ScriptArgument { u"Password"_s, QString(), true };
        const QString folder = QFileInfo(file.path).absolutePath();
        for (const bool foreground : { true, false }) {
            const RunResult *result = harness.run(foreground, file, arguments, modifiers);
            QVERIFY(result);
            QCOMPARE(fileBytes(result->logRun->logPath()),
                (folder + u'\n' + file.path + u'\n').toUtf8() + parameters);
            harness.logStore.waitForPendingWrites();
            const QByteArray onDisk = fileBytes(harness.logStore.logDirectory() + u'/'
                + LogRecord::recordFileNameFor(result->logRun->id()));
            const std::optional<LogRecord> record = LogRecord::fromJson(onDisk.toStdString());
            QVERIFY(record);
            QCOMPARE(record->scriptPath, file.standardizedPath());
            QCOMPARE(record->arguments, recorded);
            if (secret)
                QVERIFY(!onDisk.contains("hunter2"));
        }
    }

    // A launch failure (here: no interpreter for AppleScript) fails the run at once, with the
    // system's words, and is logged as a failure; a background run fails as silently as any
    // other.
    void launchFailureFailsTheRun()
    {
        if (QFile::exists(u"/usr/bin/osascript"_s))
            QSKIP("this system has /usr/bin/osascript");
        Harness harness;
        harness.config.setFailureSound(u"Default"_s);
        const FileItem file = harness.script(u"note.applescript"_s, "true");
        const QString message = qt_error_string(ENOENT);
        for (const bool foreground : { true, false }) {
            const RunResult *result = harness.run(foreground, file);
            QVERIFY(result);
            QCOMPARE(harness.reported->outcomes, QList<Event> { Event::failed(message) });
            QCOMPARE(harness.services.sounds, Sounds { u"dialog-error"_s });
            QCOMPARE(result->launchError, message);
            QCOMPARE(result->shellStatus(), 127);
            QCOMPARE(harness.loggedStatus(*result), RunExitStatus::failure);
            QVERIFY(!harness.coordinator->hasRunningProcess());
        }
    }

    // Cancel reaches the script and what it started; a script that ignores SIGTERM is killed
    // after the grace time, one that handles it exits with a code of its own. Either way the
    // user stopped it: it is cancelled, silently. The end of an older run leaves the newer one
    // cancellable.
    void cancelEndsTheNewestRunAndItsChildren_data()
    {
        QTest::addColumn<QByteArray>("script"); // prints the pid of a child it started
        QTest::addColumn<int>("shellStatus");
        QTest::newRow("ignores SIGTERM")
            << QByteArray("trap '' TERM\nsleep 600 &\necho $!\nwhile :; do sleep 0.2; done")
            << 128 + SIGKILL;
        QTest::newRow("exits 1 on SIGTERM")
            << QByteArray("trap 'exit 1' TERM\nsleep 600 &\necho $!\nwhile :; do sleep 0.1; done")
            << 1;
    }
    void cancelEndsTheNewestRunAndItsChildren()
    {
        QFETCH(QByteArray, script);
        Harness harness;
        harness.config.setFailureSound(u"Default"_s);
        harness.config.setSuccessSound(u"None"_s);
        const auto older = harness.start(true, harness.script(u"quick.sh"_s, "true"));
        const auto result = harness.start(true, harness.script(u"wait.sh"_s, script));
        QTRY_VERIFY(older->has_value() && !harness.reported->shown.isEmpty());
        LeftChild child { harness.reported->shown.last().toInt() };
        QVERIFY(isAlive(child.pid));
        QVERIFY(harness.coordinator->hasRunningProcess());

        QVERIFY(harness.coordinator->cancelRunningProcess());
        QTRY_VERIFY_WITH_TIMEOUT(result->has_value(), 3 * ChildProcess::terminateGraceMs);
        QCOMPARE(
            harness.reported->outcomes, (QList<Event> { Event::succeeded(), Event::cancelled() }));
        QCOMPARE(harness.services.sounds, Sounds {});
        QCOMPARE(harness.loggedStatus(**result), RunExitStatus::cancelled);
        QTEST((*result)->shellStatus(), "shellStatus");
        QTRY_VERIFY(!isAlive(child.pid));
        QVERIFY(!harness.coordinator->hasRunningProcess());
        QVERIFY(!harness.coordinator->cancelRunningProcess());
    }

    // An app that quits while a script runs hands the script's pipes to the copier (runel):
    // the script goes on, and what it prints afterwards still reaches its log.
    void quittingHandsTheOutputToTheCopier()
    {
        const QString runel = qEnvironmentVariable("RUNEL_BINARY");
        QVERIFY2(QFileInfo(runel).isExecutable(), "RUNEL_BINARY must name the built runel");
        ScriptExecutionCoordinator::setLateOutputCopier(runel);
        Harness harness;
        const auto result = harness.start(true,
            harness.script(u"long.sh"_s,
                "echo first\nwhile [ ! -e \"$0.go\" ]; do sleep 0.05; done\necho after"));
        QTRY_COMPARE(harness.reported->shown, QStringList { u"first"_s });
        FileExecutor::handOverAllOutput();
        ScriptExecutionCoordinator::setLateOutputCopier({});
        writeFile(harness.home.file(u"scripts/long.sh.go"_s));
        QTRY_VERIFY(result->has_value());
        QCOMPARE(harness.loggedStatus(**result), RunExitStatus::success);
        QTRY_COMPARE(fileBytes((*result)->logRun->logPath()), QByteArray("first\nafter\n"));
        QCOMPARE(harness.reported->shown, QStringList { u"first"_s }); // read by the copier
    }

    // A flood of lines reaches the HUD as its newest line, never as a queue of them.
    void floodOfLinesIsCoalesced()
    {
        Harness harness;
        QTRY_COMPARE(MainThreadLineDispatcher::queuedDrains(), 0);
        MainThreadLineDispatcher::resetPeakQueuedDrains();
        QVERIFY(harness.run(true, harness.script(u"seq.sh"_s, "seq 1 200000")));
        QCOMPARE(harness.reported->shown.last(), u"200000"_s);
        QVERIFY(harness.reported->shown.size() < 200000);
        QCOMPARE(MainThreadLineDispatcher::peakQueuedDrains(), 1);
    }
};

QTEST_GUILESS_MAIN(TestExecCoordinator)
#include "tst_exec_coordinator.moc"
