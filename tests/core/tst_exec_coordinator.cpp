#include "TestEnvironment.h"

#include "SystemServices.h"
#include "execution/ExecutionStatus.h"
#include "execution/LogStore.h"
#include "execution/MainThreadLineDispatcher.h"
#include "execution/ScriptExecutionCoordinator.h"
#include "settings/ConfigManager.h"

#include <csignal>
#include <mutex>

using namespace runel;
using namespace Qt::StringLiterals;

using Event = ScriptExecutionCoordinator::Event;
using RunResult = ScriptExecutionCoordinator::RunResult;
using RunHooks = ScriptExecutionCoordinator::RunHooks;
using Sounds = QStringList;
using Arguments = QStringList;

Q_DECLARE_METATYPE(Event)
Q_DECLARE_METATYPE(RunExitStatus)

namespace {

class FakeServices : public NullSystemServices {
public:
    void playSound(const QString &name) override { sounds.append(name); }
    Sounds sounds;
};

const QString listLine = u"[{\"title\":\"One\",\"script\":\"a/one.sh\",\"arguments\":[\"x\"]},"
                         u"{\"title\":\"Two\",\"script\":\"two.sh\",\"icon\":\"star\","
                         u"\"subtitle\":\"s\"}]"_s;

std::vector<ListEntry> listEntries()
{
    return { { std::nullopt, u"One"_s, std::nullopt, u"a/one.sh"_s, QStringList { u"x"_s } },
        { u"star"_s, u"Two"_s, u"s"_s, u"two.sh"_s, std::nullopt } };
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isAlive(pid_t pid)
{
    const QByteArray stat = readBytes(u"/proc/%1/stat"_s.arg(pid));
    const qsizetype afterName = stat.lastIndexOf(')');
    return afterName > 0 && stat.size() > afterName + 2 && stat.at(afterName + 2) != 'Z';
}

// Ends a process a script left behind, passed or not.
struct LeftChild {
    pid_t pid = 0;
    ~LeftChild()
    {
        if (pid > 0)
            ::kill(pid, SIGKILL);
    }
};

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
        coordinator->setOnEvent([events = events](const Event &event) { events->append(event); });
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
        file.scriptType = relativePath.endsWith(u".applescript"_s) ? ScriptType::appleScript
                                                                   : ScriptType::shell;
        return file;
    }

    std::shared_ptr<std::optional<RunResult>> start(bool foreground, const FileItem &file,
        const Arguments &arguments = {}, const QString &modifiers = {}, RunHooks hooks = {})
    {
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
        const QString &modifiers = {}, RunHooks hooks = {})
    {
        const auto result = start(foreground, file, arguments, modifiers, std::move(hooks));
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

    QList<Event> outcomes() const
    {
        QList<Event> found;
        for (const Event &event : *events) {
            if (event.kind != Event::Kind::foregroundOutput)
                found.append(event);
        }
        return found;
    }

    QStringList shownLines() const
    {
        QStringList lines;
        for (const Event &event : *events) {
            if (event.kind == Event::Kind::foregroundOutput)
                lines.append(event.line);
        }
        return lines;
    }

    TestHome home;
    ConfigManager config;
    LogStore logStore;
    FakeServices services;
    std::unique_ptr<ScriptExecutionCoordinator> coordinator;
    std::shared_ptr<QList<Event>> events = std::make_shared<QList<Event>>();
    QList<std::shared_ptr<std::optional<RunResult>>> results;
    QList<std::shared_ptr<ChildProcess>> processes;
};

} // namespace

namespace QTest {
template<> char *toString(const Event &event)
{
    return qstrdup(
        qPrintable(u"Event(%1, line=%2, name=%3, entries=%4, message=%5)"_s.arg(int(event.kind))
                       .arg(event.line, event.displayName)
                       .arg(event.entries.size())
                       .arg(event.message)));
}
} // namespace QTest

class TestExecCoordinator : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void executionStatusEquality_data()
    {
        QTest::addColumn<ExecutionStatus>("a");
        QTest::addColumn<ExecutionStatus>("b");
        QTest::addColumn<bool>("equal");

        FileItem file;
        file.path = u"/s/a.sh"_s;
        FileItem other = file;
        other.path = u"/s/b.sh"_s;
        const ScriptArgument argument { u"Name"_s, u"x"_s };
        using S = ExecutionStatus;
        QTest::newRow("starts idle") << S() << S::idle() << true;
        QTest::newRow("same argument and file")
            << S::awaitingArgument(argument, file) << S::awaitingArgument(argument, file) << true;
        QTest::newRow("another placeholder")
            << S::awaitingArgument(argument, file) << S::awaitingArgument({ u"N"_s, u"x"_s }, file)
            << false;
        QTest::newRow("another value") << S::awaitingArgument(argument, file)
                                       << S::awaitingArgument({ u"Name"_s, u"y"_s }, file) << false;
        QTest::newRow("another file")
            << S::awaitingArgument(argument, file) << S::awaitingArgument(argument, other) << false;
        QTest::newRow("same entries")
            << S::showingList(listEntries()) << S::showingList(listEntries()) << true;
        QTest::newRow("fewer entries")
            << S::showingList(listEntries()) << S::showingList({ listEntries()[0] }) << false;
        QTest::newRow("same message") << S::failed(u"m"_s) << S::failed(u"m"_s) << true;
        QTest::newRow("another message") << S::failed(u"m"_s) << S::failed(u"n"_s) << false;
        QTest::newRow("cases without payload") << S::succeeded() << S::succeeded() << true;
        QTest::newRow("different cases") << S::succeeded() << S::runningForeground() << false;
        QTest::newRow("an empty message is not idle") << S::failed({}) << S::idle() << false;
        QTest::newRow("an empty list is not idle") << S::showingList({}) << S::idle() << false;
    }

    // Each case says which it is and gives its own payload only.
    void executionStatusCases()
    {
        using S = ExecutionStatus;
        using Kind = S::Kind;
        const S waiting = S::awaitingArgument({ u"p"_s, u"v"_s }, FileItem());
        QCOMPARE(waiting.kind(), Kind::awaitingArgument);
        QCOMPARE(waiting.argument()->placeholder, u"p"_s);
        QVERIFY(waiting.file() && !waiting.message() && !waiting.entries());
        QCOMPARE(S::showingList(listEntries()).kind(), Kind::showingList);
        QCOMPARE(*S::showingList(listEntries()).entries(), listEntries());
        QCOMPARE(S::failed(u"m"_s).kind(), Kind::failed);
        QCOMPARE(*S::failed(u"m"_s).message(), u"m"_s);
        QVERIFY(!S::failed(u"m"_s).argument());
        QCOMPARE(S().kind(), Kind::idle);
        QCOMPARE(S::runningForeground().kind(), Kind::runningForeground);
        QCOMPARE(S::succeeded().kind(), Kind::succeeded);
    }

    // Equal when the same case with equal payloads; different cases never are.
    void executionStatusEquality()
    {
        QFETCH(ExecutionStatus, a);
        QFETCH(ExecutionStatus, b);
        QFETCH(bool, equal);
        QCOMPARE(a == b, equal);
        QCOMPARE(b == a, equal);
    }

    void foregroundOutcomes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Event>("outcome");
        QTest::addColumn<Sounds>("sounds");
        QTest::addColumn<RunExitStatus>("logged");
        // The last line shown. A line printed together with a later line that is not shown
        // may be replaced by it before the main thread sees it: then nothing may be shown.
        QTest::addColumn<QString>("lastShown"); // null: nothing shown
        QTest::addColumn<bool>("mayBeReplaced");

        const Event succeeded = Event::succeeded();
        const Sounds success { u"complete"_s };
        const Sounds failure { u"dialog-error"_s };
        QTest::newRow("exit 3 fails with the name and the code")
            << QByteArray("exit 3") << Event::failed(u"Backup exited with code 3"_s) << failure
            << RunExitStatus::failure << QString() << false;
        QTest::newRow("exit 1 after output")
            << QByteArray("echo working\nexit 1") << Event::failed(u"Backup exited with code 1"_s)
            << failure << RunExitStatus::failure << u"working"_s << false;
        QTest::newRow("killing itself is cancelled without a sound")
            << QByteArray("echo going\nkill -TERM $$") << Event::cancelled() << Sounds {}
            << RunExitStatus::cancelled << u"going"_s << false;
        QTest::newRow("an array that is no list leaves the last line shown")
            << QByteArray("echo a\necho b\nprintf '[1,2]'") << succeeded << success
            << RunExitStatus::success << u"b"_s << false;
        QTest::newRow("a list of entries as the last line")
            << "echo working\necho '" + listLine.toUtf8() + "'"
            << Event::showingList(u"Backup"_s, listEntries()) << Sounds {} << RunExitStatus::success
            << u"working"_s << true;
        QTest::newRow("a list without a final newline")
            << "printf '%s' '" + listLine.toUtf8() + "'"
            << Event::showingList(u"Backup"_s, listEntries()) << Sounds {} << RunExitStatus::success
            << QString() << false;
        QTest::newRow("output ending with an empty line succeeds")
            << QByteArray("printf 'word\\n\\n'") << succeeded << success << RunExitStatus::success
            << u"word"_s << true;
        QTest::newRow("a list followed by an empty line is no list")
            << "echo '" + listLine.toUtf8() + "'\necho" << succeeded << success
            << RunExitStatus::success << QString() << false;
        QTest::newRow("entries without a script are no list")
            << QByteArray("echo '[{\"title\":\"T\"}]'") << succeeded << success
            << RunExitStatus::success << QString() << false;
        QTest::newRow("a list on standard error is neither shown nor listed")
            << "echo shown\necho '" + listLine.toUtf8() + "' >&2" << succeeded << success
            << RunExitStatus::success << u"shown"_s << false;
        QTest::newRow("indented bracket lines are not shown")
            << QByteArray("echo ok\necho '  [partial'") << succeeded << success
            << RunExitStatus::success << u"ok"_s << true;
        QTest::newRow("invalid UTF-8 is replaced")
            << QByteArray("printf 'caf\\xe9\\n'") << succeeded << success << RunExitStatus::success
            << u"caf\uFFFD"_s << false;
        QTest::newRow("no output succeeds") << QByteArray("true") << succeeded << success
                                            << RunExitStatus::success << QString() << false;
        // Past 64 MiB a line is not kept: the list is not read, however well formed.
        QTest::newRow("a list line past the bound is no list")
            << QByteArray("printf '['; head -c 67108864 /dev/zero | tr '\\0' ' '\n"
                          "printf '{\"title\":\"T\",\"script\":\"t.sh\"}]'")
            << succeeded << success << RunExitStatus::success << QString() << false;
    }

    void foregroundOutcomes()
    {
        QFETCH(QByteArray, body);
        QFETCH(Event, outcome);
        QFETCH(Sounds, sounds);
        QFETCH(RunExitStatus, logged);
        QFETCH(QString, lastShown);
        QFETCH(bool, mayBeReplaced);
        Harness harness;
        harness.config.setSuccessSound(u"Default"_s);
        harness.config.setFailureSound(u"Default"_s);

        const RunResult *result = harness.run(true, harness.script(u"backup.sh"_s, body));
        QVERIFY(result);
        QCOMPARE(harness.outcomes(), QList<Event> { outcome });
        QCOMPARE(harness.events->last(), outcome);
        const QStringList shown = harness.shownLines();
        if (!(mayBeReplaced && shown.isEmpty()))
            QCOMPARE(shown.isEmpty() ? QString() : shown.last(), lastShown);
        for (const QString &line : shown)
            QVERIFY2(!line.isEmpty() && !line.trimmed().startsWith(u'['), qPrintable(line));
        QCOMPARE(harness.services.sounds, sounds);
        QCOMPARE(result->status, logged);
        QCOMPARE(result->logRun->exitStatus(), logged);
        QCOMPARE(harness.loggedStatus(*result), logged);
        QVERIFY(!harness.coordinator->hasRunningProcess());
    }

    void argumentsAndFolder_data()
    {
        QTest::addColumn<Arguments>("arguments");
        QTest::addColumn<QString>("modifiers");
        QTest::addColumn<QByteArray>("parameters"); // "$#", then $1 to $3

        QTest::newRow("no modifier and no argument: one empty parameter")
            << Arguments {} << QString() << QByteArray("1\n\n\n\n");
        QTest::newRow("alt held and the argument ok")
            << Arguments { u"ok"_s } << u"alt"_s << QByteArray("2\nalt\nok\n\n");
        QTest::newRow("several modifiers and arguments kept whole")
            << Arguments { u"a b"_s, u"\u00fc"_s } << u"alt,ctrl,shift"_s
            << QByteArray("3\nalt,ctrl,shift\na b\n\xc3\xbc\n");
    }

    // The script runs by its absolute path in its own folder, with the modifier text first.
    void argumentsAndFolder()
    {
        QFETCH(Arguments, arguments);
        QFETCH(QString, modifiers);
        QFETCH(QByteArray, parameters);
        Harness harness;
        const FileItem file = harness.script(
            u"my scripts/args.sh"_s, "printf '%s\\n' \"$PWD\" \"$0\" \"$#\" \"$1\" \"$2\" \"$3\"");
        for (const bool foreground : { true, false }) {
            const RunResult *result = harness.run(foreground, file, arguments, modifiers);
            QVERIFY(result);
            const QString folder = QFileInfo(file.path).absolutePath();
            QCOMPARE(readBytes(result->logRun->logPath()),
                (folder + u'\n' + file.path + u'\n').toUtf8() + parameters);
        }
    }

    // Chunks of both streams land in the log in the order they were printed; the script waits
    // until each has been logged before it prints the next.
    void standardErrorIsLoggedInOrderAndNeverShown()
    {
        Harness harness;
        qputenv("RUNEL_TEST_LOGS", harness.logStore.logDirectory().toUtf8());
        const RunResult *result = harness.run(true,
            harness.script(u"order.sh"_s,
                "until log=$(ls \"$RUNEL_TEST_LOGS\"/*.log 2>/dev/null); do :; done\n"
                "echo out1\n"
                "until grep -q out1 \"$log\"; do :; done\n"
                "echo err1 >&2\n"
                "until grep -q err1 \"$log\"; do :; done\n"
                "echo out2\n"));
        qunsetenv("RUNEL_TEST_LOGS");
        QVERIFY(result);
        QCOMPARE(readBytes(result->logRun->logPath()), QByteArray("out1\nerr1\nout2\n"));
        QVERIFY(!harness.shownLines().contains(u"err1"_s));
        QCOMPARE(harness.shownLines().last(), u"out2"_s);
    }

    void backgroundRuns_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Sounds>("sounds");
        QTest::addColumn<RunExitStatus>("logged");

        QTest::newRow("success plays the background sound")
            << QByteArray("echo done") << Sounds { u"complete"_s } << RunExitStatus::success;
        QTest::newRow("failure is silent")
            << QByteArray("exit 2") << Sounds {} << RunExitStatus::failure;
        QTest::newRow("cancelled is silent")
            << QByteArray("kill -TERM $$") << Sounds {} << RunExitStatus::cancelled;
        QTest::newRow("a printed list is only logged") << "echo '" + listLine.toUtf8()
                + "'" << Sounds { u"complete"_s } << RunExitStatus::success;
    }

    // Background runs send no events at all.
    void backgroundRuns()
    {
        QFETCH(QByteArray, body);
        QFETCH(Sounds, sounds);
        QFETCH(RunExitStatus, logged);
        Harness harness;
        const RunResult *result = harness.run(false, harness.script(u"job.sh"_s, body));
        QVERIFY(result);
        QCOMPARE(harness.events->size(), 0);
        QCOMPARE(harness.services.sounds, sounds);
        QCOMPARE(harness.loggedStatus(*result), logged);
        QVERIFY(!harness.coordinator->hasRunningProcess());
    }

    void soundSettings_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("foreground");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Sounds>("sounds");

        const QByteArray fail("exit 1");
        const QByteArray pass("true");
        QTest::newRow("failure None")
            << QByteArray("failureSound") << u"None"_s << true << fail << Sounds {};
        QTest::newRow("failure Default") << QByteArray("failureSound") << u"Default"_s << true
                                         << fail << Sounds { u"dialog-error"_s };
        QTest::newRow("failure other")
            << QByteArray("failureSound") << u"bell"_s << true << fail << Sounds { u"bell"_s };
        QTest::newRow("success None")
            << QByteArray("successSound") << u"None"_s << true << pass << Sounds {};
        QTest::newRow("success Default") << QByteArray("successSound") << u"Default"_s << true
                                         << pass << Sounds { u"complete"_s };
        QTest::newRow("success other") << QByteArray("successSound") << u"message"_s << true << pass
                                       << Sounds { u"message"_s };
        QTest::newRow("background None")
            << QByteArray("backgroundSuccessSound") << u"None"_s << false << pass << Sounds {};
        QTest::newRow("background Default") << QByteArray("backgroundSuccessSound") << u"Default"_s
                                            << false << pass << Sounds { u"complete"_s };
        QTest::newRow("background other") << QByteArray("backgroundSuccessSound") << u"bell"_s
                                          << false << pass << Sounds { u"bell"_s };
    }

    void soundSettings()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QString, value);
        QFETCH(bool, foreground);
        QFETCH(QByteArray, body);
        QFETCH(Sounds, sounds);
        Harness harness;
        QVERIFY(harness.config.setProperty(setting.constData(), value));
        QVERIFY(harness.run(foreground, harness.script(u"s.sh"_s, body)));
        QCOMPARE(harness.services.sounds, sounds);
    }

    void launchFailures_data()
    {
        QTest::addColumn<QString>("relativePath"); // "file/" is a plain file
        QTest::addColumn<bool>("removeFolder");
        QTest::addColumn<QString>("message");

        QTest::newRow("AppleScript without its interpreter")
            << u"note.applescript"_s << false << qt_error_string(ENOENT);
        QTest::newRow("folder gone") << u"gone/x.sh"_s << true << qt_error_string(ENOENT);
        QTest::newRow("folder that is a file")
            << u"file/x.sh"_s << false << qt_error_string(ENOTDIR);
    }

    // The run fails at once, with the system's words, and is logged as a failure.
    void launchFailures()
    {
        QFETCH(QString, relativePath);
        QFETCH(bool, removeFolder);
        QFETCH(QString, message);
        if (relativePath.endsWith(u".applescript"_s) && QFile::exists(u"/usr/bin/osascript"_s))
            QSKIP("this system has /usr/bin/osascript");
        Harness harness;
        FileItem file = harness.script(u"x.sh"_s, "true");
        file.path = harness.home.file(u"scripts/"_s + relativePath);
        file.scriptType = relativePath.endsWith(u".applescript"_s) ? ScriptType::appleScript
                                                                   : ScriptType::shell;
        if (!removeFolder && relativePath.startsWith(u"file/"_s))
            writeFile(harness.home.file(u"scripts/file"_s));

        const RunResult *foreground = harness.run(true, file);
        QVERIFY(foreground);
        QCOMPARE(*harness.events, QList<Event> { Event::failed(message) });
        QCOMPARE(harness.services.sounds, Sounds { u"dialog-error"_s });
        QCOMPARE(foreground->launchError, message);
        QCOMPARE(foreground->shellStatus(), 127);
        QCOMPARE(harness.loggedStatus(*foreground), RunExitStatus::failure);

        const RunResult *background = harness.run(false, file);
        QVERIFY(background);
        QCOMPARE(harness.events->size(), 1);
        QCOMPARE(harness.services.sounds.size(), 1);
        QCOMPARE(harness.loggedStatus(*background), RunExitStatus::failure);
        QVERIFY(!harness.coordinator->hasRunningProcess());
    }

    // Cancel reaches the script and what it started; it is cancelled, silently.
    void cancelEndsTheScriptAndItsChildren()
    {
        Harness harness;
        harness.config.setFailureSound(u"Default"_s);
        const auto result
            = harness.start(true, harness.script(u"wait.sh"_s, "sleep 600 &\necho $!\nwait"));
        QTRY_VERIFY(!harness.shownLines().isEmpty());
        LeftChild child { harness.shownLines().last().toInt() };
        QVERIFY(isAlive(child.pid));

        QVERIFY(harness.coordinator->cancelRunningProcess());
        QTRY_VERIFY(result->has_value());
        QCOMPARE(harness.outcomes(), QList<Event> { Event::cancelled() });
        QCOMPARE(harness.services.sounds, Sounds {});
        QCOMPARE(harness.loggedStatus(**result), RunExitStatus::cancelled);
        QCOMPARE((*result)->shellStatus(), 128 + SIGTERM);
        QTRY_VERIFY(!isAlive(child.pid));
        QVERIFY(!harness.coordinator->cancelRunningProcess());
    }

    // A child left holding the pipes does not keep the run open; it is not touched.
    void leftChildDoesNotKeepTheRunOpen()
    {
        Harness harness;
        const RunResult *result
            = harness.run(true, harness.script(u"daemon.sh"_s, "sleep 600 &\necho $!\nexit 0"));
        QVERIFY(result);
        LeftChild child { harness.shownLines().value(0).toInt() };
        QCOMPARE(harness.outcomes(), QList<Event> { Event::succeeded() });
        QCOMPARE(harness.loggedStatus(*result), RunExitStatus::success);
        QVERIFY(!harness.coordinator->cancelRunningProcess());
        QVERIFY(child.pid > 0 && isAlive(child.pid));
    }

    // The end of an older run leaves the newer run cancellable.
    void newerRunKeepsTheCancelSlot()
    {
        Harness harness;
        const auto older = harness.start(true, harness.script(u"quick.sh"_s, "true"));
        const auto newer = harness.start(true, harness.script(u"slow.sh"_s, "exec sleep 600"));
        QTRY_VERIFY(older->has_value());
        QVERIFY(harness.coordinator->hasRunningProcess());
        QVERIFY(harness.coordinator->cancelRunningProcess());
        QTRY_VERIFY(newer->has_value());
        QCOMPARE((*newer)->status, RunExitStatus::cancelled);
        QVERIFY(!harness.coordinator->hasRunningProcess());
    }

    void runsOutlivingTheirCoordinator_data()
    {
        QTest::addColumn<bool>("foreground");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<RunExitStatus>("logged");
        QTest::addColumn<Sounds>("sounds");

        QTest::newRow("foreground failure is logged, silently")
            << true << QByteArray("echo hi\nexit 3") << RunExitStatus::failure << Sounds {};
        QTest::newRow("foreground success is logged, silently")
            << true << QByteArray("echo hi") << RunExitStatus::success << Sounds {};
        QTest::newRow("background success still plays its sound")
            << false << QByteArray("true") << RunExitStatus::success << Sounds { u"complete"_s };
    }

    // A finished run is never left without its outcome, and nothing is sent to the gone HUD.
    void runsOutlivingTheirCoordinator()
    {
        QFETCH(bool, foreground);
        QFETCH(QByteArray, body);
        QFETCH(RunExitStatus, logged);
        QFETCH(Sounds, sounds);
        Harness harness;
        harness.config.setSuccessSound(u"Default"_s);
        harness.config.setFailureSound(u"Default"_s);
        const auto result = harness.start(foreground, harness.script(u"r.sh"_s, body));
        harness.coordinator.reset();
        QTRY_VERIFY(result->has_value());
        QCOMPARE(harness.events->size(), 0);
        QCOMPARE(harness.services.sounds, sounds);
        QCOMPARE(harness.loggedStatus(**result), logged);
    }

    // The handler may close the HUD on the outcome: the outcome's sound still plays.
    void handlerDeletingTheCoordinator()
    {
        Harness harness;
        harness.config.setFailureSound(u"Default"_s);
        harness.coordinator->setOnEvent([&harness](const Event &event) {
            harness.events->append(event);
            if (event.kind == Event::Kind::failed)
                harness.coordinator.reset();
        });
        QVERIFY(harness.run(true, harness.script(u"f.sh"_s, "exit 1")));
        QVERIFY(!harness.coordinator);
        QCOMPARE(harness.services.sounds, Sounds { u"dialog-error"_s });
    }

    // For the command line: both streams as they arrive, and the status a shell would give.
    void passThroughAndStatus()
    {
        Harness harness;
        auto passed = std::make_shared<std::pair<std::mutex, QByteArray[2]>>();
        RunHooks hooks;
        hooks.standardOutput = [passed](const char *data, std::size_t size) {
            std::lock_guard lock(passed->first);
            passed->second[0].append(data, qsizetype(size));
        };
        hooks.standardError = [passed](const char *data, std::size_t size) {
            std::lock_guard lock(passed->first);
            passed->second[1].append(data, qsizetype(size));
        };
        const RunResult *result
            = harness.run(true, harness.script(u"p.sh"_s, "printf out\nprintf err >&2\nexit 5"), {},
                {}, std::move(hooks));
        QVERIFY(result);
        QCOMPARE(result->shellStatus(), 5);
        QCOMPARE(passed->second[0], QByteArray("out"));
        QCOMPARE(passed->second[1], QByteArray("err"));
        QCOMPARE(readBytes(result->logRun->logPath()).size(), 6);
    }

    // A flood of lines reaches the HUD as its newest line, never as a queue of them.
    void floodOfLinesIsCoalesced()
    {
        Harness harness;
        QTRY_COMPARE(MainThreadLineDispatcher::queuedDrains(), 0);
        MainThreadLineDispatcher::resetPeakQueuedDrains();
        QVERIFY(harness.run(true, harness.script(u"seq.sh"_s, "seq 1 200000")));
        QCOMPARE(harness.shownLines().last(), u"200000"_s);
        QVERIFY(harness.shownLines().size() < 200000);
        QCOMPARE(MainThreadLineDispatcher::peakQueuedDrains(), 1);
    }
};

QTEST_GUILESS_MAIN(TestExecCoordinator)
#include "tst_exec_coordinator.moc"
