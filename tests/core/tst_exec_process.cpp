#include "RunFixtures.h"

#include "core/execution/ChildProcess.h"
#include "core/execution/FileExecutor.h"
#include "core/execution/HudLinePreview.h"
#include "core/execution/LastStdoutLine.h"
#include "core/threading/MainThreadLineDispatcher.h"
#include "core/threading/WorkerThreads.h"

#include <QDir>
#include <mutex>
#include <pthread.h>

using namespace runel;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Chunks = QList<QByteArray>;
using Lines = QStringList;
using OptionalBytes = std::optional<QByteArray>;

Q_DECLARE_METATYPE(Termination)
Q_DECLARE_METATYPE(OptionalBytes)

namespace {

const QString truncatedMarker = u" [output line truncated]"_s;

// Feeds the chunks one by one, letting the main thread take what each one delivered, then
// finishes a partial last line as a run's end does.
Lines linesOf(const Chunks &chunks)
{
    Lines lines;
    HudLinePreview preview([&lines](const QString &line) { lines.append(line); });
    for (const QByteArray &chunk : chunks) {
        preview.consume(chunk.constData(), std::size_t(chunk.size()));
        preview.dispatcher()->drain();
    }
    if (preview.hasPendingBytes())
        preview.finishLine();
    preview.dispatcher()->drain();
    return lines;
}

// What a run's readers and exit waiter hand back; shared with their threads, so that a failed
// test leaves nothing dangling.
struct Observed {
    std::mutex mutex;
    QByteArray standardOutput; // guarded by mutex, as standardError
    QByteArray standardError;
    QByteArray untilOutcome; // the reader thread until the outcome, then the main thread
    std::optional<Termination> termination; // main thread, as the rest
    QString launchError;
    bool outputEndedFirst = false;
    bool outputEnded = false;

    QByteArray output(bool error = false)
    {
        std::lock_guard lock(mutex);
        return error ? standardError : standardOutput;
    }
};

int openDescriptors()
{
    return int(QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size());
}

// A private home with one script file per call (a run may read its script after the next is
// written), run as a run does: launch, a reader per pipe, the exit waiter.
class ExecutionHarness {
public:
    ProcessSetup bash(const QByteArray &body)
    {
        lastScript
            = writeFile(home.file(u"scripts/run-%1.sh"_s.arg(++m_scripts)), "#!/bin/bash\n" + body);
        return { u"/bin/bash"_s, { lastScript }, QFileInfo(lastScript).absolutePath(), {} };
    }

    std::shared_ptr<Observed> start(const ProcessSetup &setup,
        std::chrono::milliseconds drainAfterExit = FileExecutor::drainTimeout)
    {
        auto observed = std::make_shared<Observed>();
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
        FileExecutor::execute(
            std::make_shared<ChildProcess>(), setup, std::move(handlers), drainAfterExit);
        return observed;
    }

    TestHome home;
    QString lastScript;

private:
    int m_scripts = 0;
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
        ExecutionHarness harness;
        WorkerThreads::setMaximumThreads(1);
        const auto observed = harness.start(harness.bash("touch \"$0.started\""));
        QTRY_VERIFY(observed->outputEnded);
        WorkerThreads::setMaximumThreads(0);
        QVERIFY(!observed->termination);
        QCOMPARE(observed->launchError, qt_error_string(EAGAIN));
        QVERIFY(!QFile::exists(harness.lastScript + u".started"_s));
    }

    void runs_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Termination>("termination");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");

        QTest::newRow("terminated, though the application blocks SIGTERM")
            << QByteArray("kill -TERM $$") << Termination { true, SIGTERM } << QByteArray()
            << QByteArray();
        QTest::newRow("a pipeline's writer dies of SIGPIPE, though the application ignores it")
            << QByteArray("yes | head -n 1 >/dev/null\nprintf %s \"${PIPESTATUS[0]}\"")
            << Termination { false, 0 } << QByteArray::number(128 + SIGPIPE) << QByteArray();
        QTest::newRow("the environment as it was at the run call")
            << QByteArray("printf %s \"$RUNEL_TEST_VALUE\"") << Termination { false, 0 }
            << QByteArray("inherited") << QByteArray();
        QTest::newRow("a flood on both pipes, whole and each on its own")
            << QByteArray("head -c 20000000 /dev/zero\nprintf end >&2\nexit 3")
            << Termination { false, 3 } << QByteArray(20000000, '\0') << QByteArray("end");
    }

    // What the application ignores or blocks, and its environment after the run call, are not
    // passed on; a finished run lets go of both pipes.
    void runs()
    {
        QFETCH(QByteArray, body);
        QFETCH(Termination, termination);
        ExecutionHarness harness;
        qputenv("RUNEL_TEST_VALUE", "inherited");
        ProcessSetup setup = harness.bash(body);
        setup.environment = currentEnvironment();
        qputenv("RUNEL_TEST_VALUE", "changed after the run call");
        const auto previousPipe = ::signal(SIGPIPE, SIG_IGN);
        sigset_t terminate, previousMask;
        sigemptyset(&terminate);
        sigaddset(&terminate, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &terminate, &previousMask);
        const int descriptors = openDescriptors();

        const auto observed = harness.start(setup);
        qunsetenv("RUNEL_TEST_VALUE");
        // Kept until the end: the launch happens on a worker thread, some time after the start.
        const bool ended
            = QTest::qWaitFor([&] { return observed->termination.has_value(); }, 20000);
        ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
        ::signal(SIGPIPE, previousPipe);
        QVERIFY(ended);
        QCOMPARE(*observed->termination, termination);
        QTEST(observed->output(), "out");
        QTEST(observed->output(true), "err");
        QTRY_COMPARE(openDescriptors(), descriptors);
    }

    // A missing folder fails the launch with the system's words (the spawn's error, whichever
    // step failed), and no descriptor is left open.
    void launchFailure()
    {
        TestHome home;
        const int descriptors = openDescriptors();
        const auto [process, launch] = ChildProcess::launch(
            { u"/bin/bash"_s, { u"-c"_s, u"true"_s }, home.file(u"gone"_s), std::nullopt });
        QCOMPARE(launch.error, qt_error_string(ENOENT));
        QVERIFY(!launch.standardOutput.isValid() && !launch.standardError.isValid());
        QCOMPARE(openDescriptors(), descriptors);
        QVERIFY(!process->signalGroup(SIGTERM));
    }

    // A cancel that comes while the process is still being started is sent on start. Once
    // reaped, the process's id may be another process's: no signal is sent any more.
    void signalsReachOnlyTheLiveProcess()
    {
        ExecutionHarness harness;
        const auto [process, launch] = ChildProcess::launch(harness.bash("exec sleep 600"));
        QVERIFY(launch.error.isEmpty());
        QVERIFY(process->signalGroup(0) && !process->isReaped());
        QVERIFY(process->signalGroup(SIGKILL));
        QCOMPARE(process->waitForExit(), (Termination { true, SIGKILL }));
        QVERIFY(process->isReaped() && !process->signalGroup(0));

        auto early = std::make_shared<ChildProcess>();
        QVERIFY(early->signalGroup(SIGTERM));
        QVERIFY(early->start(harness.bash("exec sleep 600")).error.isEmpty());
        QCOMPARE(early->waitForExit(), (Termination { true, SIGTERM }));
    }

    // With pipes that close when the script exits, the run ends then, not after the grace time.
    void drainedPipesEndTheRunAtOnce()
    {
        ExecutionHarness harness;
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
        ExecutionHarness harness;
        const auto observed
            = harness.start(harness.bash("( while [ ! -e \"$0.go\" ]; do sleep 0.05; done\n"
                                         "  echo late; touch \"$0.done\" ) &\necho started"),
                50ms);
        QTRY_VERIFY(observed->termination);
        QVERIFY(!observed->outputEndedFirst && !observed->outputEnded);
        QCOMPARE(observed->untilOutcome, QByteArray("started\n"));
        // Release the job; its output goes on to the log handler, not to the outcome's.
        writeFile(harness.lastScript + u".go"_s);
        QTRY_VERIFY(observed->outputEnded);
        QCOMPARE(observed->output(), QByteArray("started\nlate\n"));
        QCOMPARE(observed->untilOutcome, QByteArray("started\n"));
        QVERIFY(QFile::exists(harness.lastScript + u".done"_s));
    }

    // What the HUD and the list decoder take from a run's output.
    void previewLines_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<Lines>("expected");

        QTest::newRow("a chunk of several lines delivers its last")
            << Chunks { "a\nb\nc" } << Lines { u"b"_s, u"c"_s };
        QTest::newRow("exactly the limit is not marked")
            << Chunks { QByteArray(4096, 'x') + '\n' } << Lines { QString(4096, u'x') };
        QTest::newRow("one byte past the limit is marked")
            << Chunks { QByteArray(4097, 'x') + '\n' }
            << Lines { QString(4096, u'x') + truncatedMarker };
        QTest::newRow("a long line across chunks is cut, the next one is not")
            << Chunks { QByteArray(3000, 'x'), QByteArray(2000, 'y'), "\n", "next\n" }
            << Lines { QString(3000, u'x') + QString(1096, u'y') + truncatedMarker, u"next"_s };
        QTest::newRow("valid UTF-8 split across chunks is kept")
            << Chunks { "caf\xc3", "\xa9\n" } << Lines { u"caf\u00e9"_s };
        QTest::newRow("a character cut at the limit is replaced")
            << Chunks { QByteArray(4095, 'x') + "\xc3\xa9\n" }
            << Lines { QString(4095, u'x') + u"\uFFFD"_s + truncatedMarker };
    }

    void previewLines()
    {
        QFETCH(Chunks, chunks);
        QFETCH(Lines, expected);
        QCOMPARE(linesOf(chunks), expected);
    }

    // The last line of standard output, where a list is looked for; here past 8 bytes a line
    // is not kept.
    void lastLine_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<OptionalBytes>("expected");

        QTest::newRow("an unfinished line past the limit is not kept")
            << Chunks { "ok\n", "1234", "56789", "0" } << OptionalBytes();
        QTest::newRow("a line after a dropped one is kept")
            << Chunks { "123456789", "0\nok\n" } << OptionalBytes("ok");
    }

    void lastLine()
    {
        QFETCH(Chunks, chunks);
        QFETCH(OptionalBytes, expected);
        LastStdoutLine line { 8 };
        for (const QByteArray &chunk : chunks)
            line.consume(chunk.constData(), std::size_t(chunk.size()));
        QCOMPARE(line.lastLineData().value_or("(none)"), expected.value_or("(none)"));
    }
};

QTEST_GUILESS_MAIN(TestExecProcess)
#include "tst_exec_process.moc"
