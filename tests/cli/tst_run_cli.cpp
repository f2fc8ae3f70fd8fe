#include "RunelProcess.h"
#include "TestEnvironment.h"

#include <QtTest>
#include <csignal>

using namespace Qt::StringLiterals;
using namespace runel::test;

// `runel run`: keys to one script, its output and status passed through, and the run logged.
class TestRunCli : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;

    QString scripts() const { return m_home->file(u"scripts"_s); }
    QString script(const QString &relative, const QByteArray &text)
    {
        return writeFile(scripts() + u'/' + relative, text);
    }
    Run run(QStringList arguments, const QByteArray &input = {})
    {
        return runRunel(
            QStringList { u"run"_s } + arguments + QStringList { u"--dir"_s, scripts() }, {},
            input);
    }

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void passesOutputAndStatusThrough()
    {
        script(u"tools/exit.sh"_s, "echo out; echo err >&2; echo \"[$1] [$2]\"; exit 3\n");
        const Run result = run({ u"te"_s, u"--modifiers"_s, u"shift,alt"_s });
        QCOMPARE(result.exitCode, 3);
        QCOMPARE(result.out, QByteArray("out\n[alt,shift] []\n"));
        QCOMPARE(result.err, QByteArray("err\n"));
    }

    void killedScriptsExitAs128PlusTheSignal()
    {
        script(u"kill.sh"_s, "kill -9 $$\n");
        QCOMPARE(run({ u"k"_s }).exitCode, 128 + 9);
    }

    void argumentsComeFromTheOptionOrAreRequired()
    {
        script(u"ask.sh"_s,
            "# @runel.argument {\"placeholder\": \"Name\", \"value\": \"x\"}\necho \"hi $2\"\n");
        const Run given = run({ u"a"_s, u"--arg"_s, u"there"_s });
        QCOMPARE(given.exitCode, 0);
        QCOMPARE(given.out, QByteArray("hi there\n"));
        // No terminal to ask on: say how to give it.
        const Run missing = run({ u"a"_s });
        QCOMPARE(missing.exitCode, 1);
        QVERIFY2(missing.err.contains("--arg TEXT"), missing.err);
        QVERIFY(missing.err.contains("(Name)"));
        // An empty argument is an argument.
        QCOMPARE(run({ u"a"_s, u"--arg="_s }).out, QByteArray("hi \n"));
        // Given to a script that takes none, it is said to be ignored.
        script(u"plain.sh"_s, "echo \"<$2>\"\n");
        const Run ignored = run({ u"p"_s, u"--arg"_s, u"x"_s });
        QCOMPARE(ignored.out, QByteArray("<>\n"));
        QVERIFY2(ignored.err.contains("--arg is ignored"), ignored.err);
    }

    void keysMustNameOneScript()
    {
        script(u"git/deploy.sh"_s, "echo deploy\n");
        script(u"git/status.sh"_s, "echo status\n");
        const Run several = run({ u"g"_s });
        QCOMPARE(several.exitCode, 1);
        QVERIFY(several.err.contains("git/deploy.sh"));
        QVERIFY(several.err.contains("git/status.sh"));
        const Run none = run({ u"z"_s });
        QCOMPARE(none.exitCode, 1);
        QVERIFY2(none.err.contains("runel list"), none.err);
        // A key that names nothing ends the play: nothing runs, and the key is named.
        const Run unknown = run({ u"gxs"_s });
        QCOMPARE(unknown.exitCode, 1);
        QVERIFY(unknown.out.isEmpty());
        QVERIFY2(unknown.err.contains("'x' names nothing after \"g\""), unknown.err);
    }

    void badModifiersAreAUsageError()
    {
        script(u"a.sh"_s, "echo a\n");
        const Run bad = run({ u"a"_s, u"--modifiers"_s, u"cmd"_s });
        QCOMPARE(bad.exitCode, 2);
        QVERIFY(bad.err.contains("alt, ctrl and shift"));
    }

    // The list is shown once, numbered, in place of the line that printed it; a bracketed
    // line that is not the last, or not a list, is passed through as printed.
    void printedListsAreNumbered()
    {
        script(u"menu.sh"_s,
            "echo '[not a list'; echo before\n"
            "echo '  [{\"title\": \"One\", \"script\": \"a.sh\"}, {\"title\": \"Two\", "
            "\"subtitle\": \"second\", \"script\": \"b.sh\"}]'\n");
        const Run listed = run({ u"m"_s });
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(listed.out,
            QByteArray("[not a list\nbefore\n1. One  (a.sh)\n2. Two — second  (b.sh)\n"));
        script(u"numbers.sh"_s, "echo '[1, 2]'\n");
        QCOMPARE(run({ u"n"_s }).out, QByteArray("[1, 2]\n"));
    }

    // A reader that goes away stops the pass-through only: the script runs to its end with
    // its own status and is logged whole, and runel says once what it could not write.
    void closedOutputStopsOnlyThePassThrough()
    {
        script(u"flood.sh"_s, "for i in $(seq 1 20000); do echo line $i; done; exit 3\n");
        const Run piped = runRunel({ u"run"_s, u"f"_s, u"--dir"_s, scripts() },
            { u"bash"_s, u"-c"_s, u"\"$0\" \"$@\" | head -1; exit ${PIPESTATUS[0]}"_s });
        QCOMPARE(piped.exitCode, 3);
        QCOMPARE(piped.out, QByteArray("line 1\n"));
        QCOMPARE(piped.err.count("could not all be written"), 1);
        const nlohmann::json runs = parsedJson(runRunel({ u"log"_s, u"--json"_s }).out);
        QCOMPARE(runs[0]["status"].get<std::string>(), "failure");
        QFile output(QString::fromStdString(runs[0]["logFile"].get<std::string>()));
        QVERIFY(output.open(QIODevice::ReadOnly));
        QCOMPARE(output.readAll().count('\n'), 20000);
    }

    // A job the script leaves running is not cut off: its output still comes, and is logged.
    void jobsLeftRunningKeepTheirOutput()
    {
        script(u"job.sh"_s, "( sleep 0.7; echo late; touch \"$0.done\" ) &\necho started\n");
        const Run ran = run({ u"j"_s });
        QCOMPARE(ran.exitCode, 0);
        QCOMPARE(ran.out, QByteArray("started\nlate\n"));
        QVERIFY(QFile::exists(scripts() + u"/job.sh.done"_s));
    }

    // SIGTERM to runel reaches the script, and runel waits for it before it exits.
    void signalsReachTheScript()
    {
        script(u"wait.sh"_s, "echo $$ > \"$0.pid\"; echo waiting; sleep 600\n");
        QProcess runel;
        runel.start(runelBinary(), { u"run"_s, u"w"_s, u"--dir"_s, scripts() });
        QVERIFY(runel.waitForStarted());
        QByteArray seen;
        QTRY_VERIFY((seen += runel.readAllStandardOutput()).contains("waiting"));
        runel.terminate();
        QVERIFY(runel.waitForFinished());
        QCOMPARE(runel.exitCode(), 128 + SIGTERM);
        QFile pidFile(scripts() + u"/wait.sh.pid"_s);
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        QCOMPARE(::kill(pid_t(pidFile.readAll().trimmed().toInt()), 0), -1);
        const nlohmann::json runs = parsedJson(runRunel({ u"log"_s, u"--json"_s }).out);
        QCOMPARE(runs[0]["status"].get<std::string>(), "cancelled");
    }

    // On a terminal, a script reads it as it would started from a shell (it is not stopped
    // for reading from the background).
    void scriptsReadTheTerminal()
    {
        if (QStandardPaths::findExecutable(u"script"_s).isEmpty())
            QSKIP("script(1) is not installed");
        script(u"read.sh"_s, "read -r line; echo \"got:$line\"\n");
        const Run ran = runRunel({ u"run"_s, u"r"_s, u"--dir"_s, scripts() },
            { u"bash"_s, u"-c"_s, u"script -qec \"$(printf '%q ' \"$0\" \"$@\")\" /dev/null"_s },
            "typed\n");
        QCOMPARE(ran.exitCode, 0);
        QVERIFY2(ran.out.contains("got:typed"), ran.out);
    }

    void runsAreLogged()
    {
        script(u"fail.sh"_s, "echo logged; exit 1\n");
        QCOMPARE(run({ u"f"_s }).exitCode, 1);
        const Run log = runRunel({ u"log"_s, u"--json"_s });
        const nlohmann::json runs = parsedJson(log.out);
        QVERIFY2(runs.is_array() && runs.size() == 1, log.out);
        QCOMPARE(runs[0]["scriptName"].get<std::string>(), "Fail");
        QCOMPARE(runs[0]["status"].get<std::string>(), "failure");
        QFile output(QString::fromStdString(runs[0]["logFile"].get<std::string>()));
        QVERIFY(output.open(QIODevice::ReadOnly));
        QCOMPARE(output.readAll(), QByteArray("logged\n"));
    }
};

QTEST_GUILESS_MAIN(TestRunCli)
#include "tst_run_cli.moc"
