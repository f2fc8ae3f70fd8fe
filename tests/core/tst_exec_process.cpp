#include "TestEnvironment.h"

#include "execution/ChildProcess.h"
#include "execution/FileExecutor.h"
#include "threading/WorkerThreads.h"

#include <QDir>
#include <csignal>
#include <mutex>
#include <pthread.h>

using namespace runel;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// What a run's readers and exit waiter hand back; shared with their threads, so that a failed
// test leaves nothing dangling.
struct Observed {
    std::mutex mutex;
    QByteArray standardOutput;
    QByteArray standardError;
    QByteArray untilOutcome; // the reader thread until the outcome, then the main thread
    std::optional<Termination> termination; // main thread, as the rest
    QString launchError;
    bool outputEndedFirst = false;
    bool outputEnded = false;

    QByteArray output()
    {
        std::lock_guard lock(mutex);
        return standardOutput;
    }
};

int openDescriptors()
{
    return int(QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size());
}

class ExecutionHarness {
public:
    explicit ExecutionHarness(const TestHome &home)
        : m_home(home)
    { }

    // A script file of its own per call: a run may read its script after the next is written.
    ProcessSetup bash(const QByteArray &body)
    {
        const QString path = writeFile(
            m_home.file(u"scripts/run-%1.sh"_s.arg(++m_scripts)), "#!/bin/bash\n" + body);
        m_lastScript = path;
        return { u"/bin/bash"_s, { path }, QFileInfo(path).absolutePath(), std::nullopt };
    }

    // Runs setup as a run does: launch, a reader per pipe, the exit waiter.
    std::shared_ptr<Observed> start(const ProcessSetup &setup,
        std::chrono::milliseconds drainAfterExit = FileExecutor::drainTimeout)
    {
        auto observed = std::make_shared<Observed>();
        process = std::make_shared<ChildProcess>();
        FileExecutor::Handlers handlers;
        handlers.standardOutput = [observed](const char *data, std::size_t size) {
            std::lock_guard lock(observed->mutex);
            observed->standardOutput.append(data, qsizetype(size));
        };
        handlers.standardError = [observed](const char *data, std::size_t size) {
            std::lock_guard lock(observed->mutex);
            observed->standardError.append(data, qsizetype(size));
        };
        handlers.standardOutputUntilOutcome = [observed](const char *data, std::size_t size) {
            observed->untilOutcome.append(data, qsizetype(size));
        };
        handlers.completion = [observed](const FileExecutor::ExecutionResult &result) {
            observed->termination = result.termination;
            observed->launchError = result.launchError;
            observed->outputEndedFirst = result.outputEnded;
        };
        handlers.outputEnded = [observed] { observed->outputEnded = true; };
        FileExecutor::execute(process, setup, std::move(handlers), drainAfterExit);
        return observed;
    }

    std::shared_ptr<ChildProcess> process;
    const QString &lastScript() const { return m_lastScript; }

private:
    const TestHome &m_home;
    QString m_lastScript;
    int m_scripts = 0;
};

// Ends a process the script left behind when the test is over, passed or not.
struct LeftChild {
    pid_t pid = 0;
    ~LeftChild()
    {
        if (pid > 0)
            ::kill(pid, SIGKILL);
    }
};

} // namespace

class TestExecProcess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // When no thread can be had for the readers, the script is not started at all: the run
    // says why, and its output handlers are let go of. First, while the pool has no idle
    // thread left over from other runs.
    void noThreadMeansNoStart()
    {
        TestHome home;
        ExecutionHarness harness(home);
        WorkerThreads::setMaximumThreads(1);
        const auto observed = harness.start(harness.bash("touch \"$0.started\""));
        QTRY_VERIFY(observed->outputEnded);
        WorkerThreads::setMaximumThreads(0);
        QVERIFY(!observed->termination);
        QCOMPARE(observed->launchError, qt_error_string(EAGAIN));
        QVERIFY(!QFile::exists(harness.lastScript() + u".started"_s));
    }

    void terminations_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("signalled");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("shellStatus");

        QTest::newRow("exit 0") << QByteArray("exit 0") << false << 0 << 0;
        QTest::newRow("exit 3") << QByteArray("exit 3") << false << 3 << 3;
        QTest::newRow("exit 255") << QByteArray("exit 255") << false << 255 << 255;
        QTest::newRow("killing itself with TERM")
            << QByteArray("kill -TERM $$") << true << SIGTERM << 128 + SIGTERM;
        QTest::newRow("killing itself with KILL")
            << QByteArray("kill -KILL $$") << true << SIGKILL << 128 + SIGKILL;
    }

    void terminations()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, signalled);
        QFETCH(int, code);
        QFETCH(int, shellStatus);
        TestHome home;
        ExecutionHarness harness(home);
        const auto observed = harness.start(harness.bash(body));
        QTRY_VERIFY(observed->termination);
        QCOMPARE(*observed->termination, (Termination { signalled, code }));
        QCOMPARE(observed->termination->shellStatus(), shellStatus);
    }

    // Output on both pipes arrives whole and on its own stream, however much there is.
    void floodIsReadInFull()
    {
        TestHome home;
        ExecutionHarness harness(home);
        const auto observed
            = harness.start(harness.bash("head -c 20000000 /dev/zero\nprintf end >&2"));
        QTRY_VERIFY_WITH_TIMEOUT(observed->termination, 20000);
        QCOMPARE(observed->standardOutput.size(), 20000000);
        QCOMPARE(observed->standardError, QByteArray("end"));
    }

    // The environment is inherited as it was when the run was asked for, not when a worker
    // thread got round to starting the process.
    void environmentIsTheOneOfTheRunCall()
    {
        TestHome home;
        ExecutionHarness harness(home);
        qputenv("RUNEL_TEST_VALUE", "inherited");
        ProcessSetup setup = harness.bash("printf %s \"$RUNEL_TEST_VALUE\"");
        setup.environment = currentEnvironment();
        qputenv("RUNEL_TEST_VALUE", "changed after the run call");
        const auto observed = harness.start(setup);
        QTRY_VERIFY(observed->termination);
        qunsetenv("RUNEL_TEST_VALUE");
        QCOMPARE(observed->standardOutput, QByteArray("inherited"));
    }

    // What the application ignores or blocks is not passed on: a pipeline's writer still dies
    // of SIGPIPE, and a script can still be terminated.
    void signalStateIsReset()
    {
        TestHome home;
        ExecutionHarness harness(home);
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        struct sigaction previousPipe = {};
        ::sigaction(SIGPIPE, &ignore, &previousPipe);
        sigset_t terminate;
        sigemptyset(&terminate);
        sigaddset(&terminate, SIGTERM);
        sigset_t previousMask;
        ::pthread_sigmask(SIG_BLOCK, &terminate, &previousMask);

        const auto pipeline = harness.start(
            harness.bash("yes | head -n 1 >/dev/null\nprintf %s \"${PIPESTATUS[0]}\""));
        const auto terminated = harness.start(harness.bash("kill -TERM $$"));

        ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
        ::sigaction(SIGPIPE, &previousPipe, nullptr);
        QTRY_VERIFY(pipeline->termination && terminated->termination);
        QCOMPARE(pipeline->standardOutput, QByteArray::number(128 + SIGPIPE));
        QCOMPARE(*terminated->termination, (Termination { true, SIGTERM }));
    }

    void launchFailures_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("folder"); // below the home
        QTest::addColumn<int>("error");

        QTest::newRow("missing interpreter")
            << u"/nonexistent/interpreter"_s << u"scripts"_s << ENOENT;
        QTest::newRow("interpreter that cannot be executed")
            << u"HOME/not-executable"_s << u"scripts"_s << EACCES;
        QTest::newRow("missing folder") << u"/bin/bash"_s << u"gone"_s << ENOENT;
        QTest::newRow("folder that is a file") << u"/bin/bash"_s << u"file"_s << ENOTDIR;
    }

    // The system's words, and no descriptor left open.
    void launchFailures()
    {
        QFETCH(QString, executable);
        QFETCH(QString, folder);
        QFETCH(int, error);
        TestHome home;
        QDir().mkpath(home.file(u"scripts"_s));
        writeFile(home.file(u"file"_s));
        writeFile(home.file(u"not-executable"_s));
        executable.replace(u"HOME"_s, home.path());
        const int descriptors = openDescriptors();

        const auto [process, launch] = ChildProcess::launch(
            { executable, { u"-c"_s, u"true"_s }, home.file(folder), std::nullopt });
        QCOMPARE(launch.error, qt_error_string(error));
        QVERIFY(!launch.standardOutput.isValid() && !launch.standardError.isValid());
        QCOMPARE(openDescriptors(), descriptors);
        QVERIFY(!process->signalGroup(SIGTERM));
    }

    // A finished run lets go of both pipes.
    void runsLeaveNoDescriptors()
    {
        TestHome home;
        ExecutionHarness harness(home);
        const ProcessSetup setup = harness.bash("echo out\necho err >&2");
        const int descriptors = openDescriptors();
        const auto observed = harness.start(setup);
        QTRY_VERIFY(observed->termination);
        QTRY_COMPARE(openDescriptors(), descriptors);
    }

    // Once reaped, the process's id may be another process's: no signal is sent any more.
    void noSignalAfterReaping()
    {
        TestHome home;
        ExecutionHarness harness(home);
        const auto [process, launch] = ChildProcess::launch(harness.bash("exec sleep 600"));
        QVERIFY(launch.error.isEmpty());
        QVERIFY(process->signalGroup(0));
        QVERIFY(!process->isReaped());
        QVERIFY(process->signalGroup(SIGKILL));
        QCOMPARE(process->waitForExit(), (Termination { true, SIGKILL }));
        QVERIFY(process->isReaped());
        QVERIFY(!process->signalGroup(0));
        QVERIFY(!process->signalGroup(SIGTERM));
    }

    // A cancel that comes while the process is still being started is not lost.
    void signalBeforeTheStartIsSentOnStart()
    {
        TestHome home;
        ExecutionHarness harness(home);
        auto process = std::make_shared<ChildProcess>();
        QVERIFY(process->signalGroup(SIGTERM));
        const ChildProcess::Launch launch = process->start(harness.bash("exec sleep 600"));
        QVERIFY(launch.error.isEmpty());
        QCOMPARE(process->waitForExit(), (Termination { true, SIGTERM }));
    }

    // With pipes that close when the script exits, the run ends then, not after the grace time.
    void drainedPipesEndTheRunAtOnce()
    {
        TestHome home;
        ExecutionHarness harness(home);
        const auto observed = harness.start(
            harness.bash("sleep 600 >/dev/null 2>&1 &\necho $!"), std::chrono::hours(1));
        QTRY_VERIFY(observed->termination);
        LeftChild child { observed->output().trimmed().toInt() };
        QCOMPARE(*observed->termination, (Termination { false, 0 }));
        QVERIFY(observed->outputEndedFirst);
    }

    // A job the script leaves holding its output does not hold up the outcome, and is not
    // killed by a closed pipe: its later output is still read, after the outcome was taken.
    void jobLeftRunningIsDrainedAfterTheOutcome()
    {
        TestHome home;
        ExecutionHarness harness(home);
        const auto observed
            = harness.start(harness.bash("( while [ ! -e \"$0.go\" ]; do sleep 0.05; done\n"
                                         "  echo late; touch \"$0.done\" ) &\necho started"),
                50ms);
        QTRY_VERIFY(observed->termination);
        QVERIFY(!observed->outputEndedFirst);
        QVERIFY(!observed->outputEnded);
        QCOMPARE(observed->untilOutcome, QByteArray("started\n"));
        // Release the job; its output goes on to the log handler, not to the outcome's.
        writeFile(harness.lastScript() + u".go"_s);
        QTRY_VERIFY(observed->outputEnded);
        QCOMPARE(observed->output(), QByteArray("started\nlate\n"));
        QCOMPARE(observed->untilOutcome, QByteArray("started\n"));
        QVERIFY(QFile::exists(harness.lastScript() + u".done"_s));
    }
};

QTEST_GUILESS_MAIN(TestExecProcess)
#include "tst_exec_process.moc"
