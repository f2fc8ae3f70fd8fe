#include "RunFixtures.h"
#include "RunelProcess.h"
#include "core/log/LogStore.h"

#include <QtTest>
#include <csignal>

using namespace Qt::StringLiterals;
using namespace runel::test;

// `runel run`: keys to one script, its output and status passed through, and the run logged;
// `runel log`: the runs of the log in the user's data folder, as a table or as JSON.
class TestRunCli : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;

    QString scripts() const { return m_home->file(u"scripts"_s); }
    Run run(
        const QStringList &arguments, const QStringList &wrapper = {}, const QByteArray &input = {})
    {
        return runRunel(
            QStringList { u"run"_s } + arguments + QStringList { u"--dir"_s, scripts() }, wrapper,
            input);
    }
    // `runel run KEYS` on a terminal (script(1)), typing bytes once the prompt that ends in
    // promptEnd shows: what the terminal showed.
    Run typedAtPrompt(const QString &keys, const QString &promptEnd, const QByteArray &bytes)
    {
        QString octal; // for printf: every byte as it is, whatever it is
        for (const char byte : bytes)
            octal += u"\\%1"_s.arg(uint(uchar(byte)), 3, 8, QChar(u'0'));
        return run({ keys },
            { u"bash"_s, u"-c"_s,
                u"coproc term { script -qec \"$(printf '%q ' \"$0\" \"$@\")\" /dev/null; }\n"
                u"while IFS= read -r -d : -t 20 seen <&\"${term[0]}\"; do\n"
                u"  [[ $seen == *'"_s
                    + promptEnd + u"' ]] && break\ndone\nprintf '"_s + octal
                    + u"' >&\"${term[1]}\"\ncat <&\"${term[0]}\""_s });
    }
    // The runs of the log, newest last, as `runel log --json` lists them.
    nlohmann::json loggedRuns() { return parsedJson(runRunel({ u"log"_s, u"--json"_s }).out); }

private Q_SLOTS:
    // The log's table shows local times; runel inherits this.
    void initTestCase() { qputenv("TZ", "UTC"); }

    // One tree for every test, each script under its own first key.
    void init()
    {
        m_home = std::make_unique<TestHome>();
        const QList<std::pair<QString, QByteArray>> tree {
            { u"tools/exit.sh"_s, "echo out; echo err >&2; echo \"[$1] [$2]\"; exit 3" },
            { u"kill.sh"_s, "kill -9 $$" },
            { u"ask.sh"_s,
                "# @runel.argument {\"placeholder\": \"Name\", \"value\": \"x\"}\necho \"hi $2\"" },
            { u"git/deploy.sh"_s, "echo deploy" },
            { u"git/status.sh"_s, "echo status" },
            { u"menu.sh"_s,
                "echo '[not a list'; echo before\n"
                "echo '  [{\"title\": \"One\", \"script\": \"a.sh\"}, {\"title\": \"Two\", "
                "\"subtitle\": \"second\", \"script\": \"b.sh\"}]'" },
            { u"flood.sh"_s, "for i in $(seq 1 20000); do echo line $i; done; exit 3" },
            { u"job.sh"_s,
                "( while [ ! -e \"$0.go\" ]; do sleep 0.05; done; echo late; echo gone >&2 ) &\n"
                "echo started" },
            { u"wait.sh"_s, "echo $$ > \"$0.pid\"; echo waiting; sleep 600" },
            { u"read.sh"_s, "echo reading; read -r line; echo \"got:$line\"" },
            { u"secret.sh"_s,
                "# @runel.argument {\"placeholder\": \"Token\", \"secret\": true}\n"
                "printf %s \"$2\" > \"$0.got\"; echo done" },
        };
        for (const auto &[path, body] : tree)
            writeFile(scripts() + u'/' + path, "#!/bin/bash\n" + body + '\n');
    }
    void cleanup() { m_home.reset(); }

    void passThrough_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QString>("err"); // all of standard error; '*' stands for any text

        QTest::newRow("output, errors, modifiers and status")
            << QStringList { u"te"_s, u"--modifiers"_s, u"shift,alt"_s } << 3
            << QByteArray("out\n[alt,shift] []\n") << u"err\n"_s;
        QTest::newRow("killed: 128 plus the signal")
            << QStringList { u"k"_s } << 128 + SIGKILL << QByteArray() << QString();
        QTest::newRow("the argument from --arg") << QStringList { u"a"_s, u"--arg"_s, u"there"_s }
                                                 << 0 << QByteArray("hi there\n") << QString();
        QTest::newRow("an empty --arg is an argument")
            << QStringList { u"a"_s, u"--arg="_s } << 0 << QByteArray("hi \n") << QString();
        QTest::newRow("no terminal to ask on: how to give the argument")
            << QStringList { u"a"_s } << 1 << QByteArray() << u"*(Name)*--arg TEXT*"_s;
        QTest::newRow("keys naming several scripts list them")
            << QStringList { u"g"_s } << 1 << QByteArray() << u"*git/deploy.sh*git/status.sh*"_s;
        QTest::newRow("a key that names nothing ends the play: nothing runs, the key is named")
            << QStringList { u"gxs"_s } << 1 << QByteArray()
            << u"*'x' names nothing after \"g\"*"_s;
        // Shown once, numbered, in place of the line that printed it; a bracketed line that is
        // not the last, or not a list, is passed through as printed.
        QTest::newRow("a printed list is numbered")
            << QStringList { u"m"_s } << 0
            << QByteArray("[not a list\nbefore\n1. One  (a.sh)\n2. Two — second  (b.sh)\n")
            << QString();
    }

    void passThrough()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QString, err);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(result.out, out);
        QVERIFY2(wholeMatch(err, result.err), result.err.constData());
    }

    // A job the script leaves running does not hold runel run, which ends with the script's
    // status; the job is not cut off, and what it prints later still reaches the run's log.
    void aJobLeftRunningDoesNotHoldTheRun()
    {
        const Run result = run({ u"j"_s });
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray("started\n"));
        const nlohmann::json runs = loggedRuns();
        QCOMPARE(runs[0]["status"].get<std::string>(), "success");
        const QString output = QString::fromStdString(runs[0]["logFile"].get<std::string>());
        QCOMPARE(fileBytes(output), QByteArray("started\n"));
        writeFile(scripts() + u"/job.sh.go"_s);
        QTRY_COMPARE(fileBytes(output), QByteArray("started\nlate\ngone\n"));
    }

    // A reader that goes away stops the pass-through only: the script runs to its end with
    // its own status and is logged whole, and runel says once what it could not write.
    void closedOutputStopsOnlyThePassThrough()
    {
        const Run piped = run({ u"f"_s },
            { u"bash"_s, u"-c"_s, u"\"$0\" \"$@\" | head -1; exit ${PIPESTATUS[0]}"_s });
        QCOMPARE(piped.exitCode, 3);
        QCOMPARE(piped.out, QByteArray("line 1\n"));
        QCOMPARE(piped.err.count("could not all be written"), 1);
        const nlohmann::json runs = loggedRuns();
        QCOMPARE(runs[0]["status"].get<std::string>(), "failure");
        const QString output = QString::fromStdString(runs[0]["logFile"].get<std::string>());
        QCOMPARE(fileBytes(output).count('\n'), 20000);
    }

    // SIGTERM to runel reaches the script, and runel waits for it before it exits.
    void signalsReachTheScript()
    {
        QProcess runel;
        runel.start(runelBinary(), { u"run"_s, u"w"_s, u"--dir"_s, scripts() });
        QVERIFY(runel.waitForStarted());
        QByteArray seen;
        QTRY_VERIFY((seen += runel.readAllStandardOutput()).contains("waiting"));
        runel.terminate();
        QVERIFY(runel.waitForFinished());
        QCOMPARE(runel.exitCode(), 128 + SIGTERM);
        const QByteArray pid = fileBytes(scripts() + u"/wait.sh.pid"_s).trimmed();
        QCOMPARE(::kill(pid_t(pid.toInt()), 0), -1);
        QCOMPARE(loggedRuns()[0]["status"].get<std::string>(), "cancelled");
    }

    // On a terminal, a script reads it as it would started from a shell (it is not stopped
    // for reading from the background).
    void scriptsReadTheTerminal()
    {
        if (QStandardPaths::findExecutable(u"script"_s).isEmpty())
            QSKIP("script(1) is not installed");
        const Run ran = run({ u"r"_s },
            { u"bash"_s, u"-c"_s, u"script -qec \"$(printf '%q ' \"$0\" \"$@\")\" /dev/null"_s },
            "typed\n");
        QCOMPARE(ran.exitCode, 0);
        QVERIFY2(ran.out.contains("got:typed"), ran.out);
    }

    // On a terminal, Up and Down at the argument prompt offer the arguments of earlier runs.
    void recalledArgumentsOnTheTerminal_data()
    {
        QTest::addColumn<QByteArray>("keys"); // typed once the prompt shows
        QTest::addColumn<QByteArray>("got"); // what the script printed

        QTest::newRow("up twice: the one before, each once")
            << QByteArray("\x1b[A\x1b[A\x1b[A\n") << QByteArray("hi first");
        QTest::newRow("down steps back")
            << QByteArray("\x1b[A\x1b[A\x1b[B\n") << QByteArray("hi second");
        QTest::newRow("backspace edits, a whole character at a time")
            << QByteArray("\x1b[A\x7f\x7f\xc3\xbc\x7fn\n") << QByteArray("hi secon");
    }
    void recalledArgumentsOnTheTerminal()
    {
        if (QStandardPaths::findExecutable(u"script"_s).isEmpty())
            QSKIP("script(1) is not installed");
        QFETCH(QByteArray, keys);
        for (const QString &earlier : { u"first"_s, u"second"_s, u"first"_s, u"second"_s })
            QCOMPARE(run({ u"a"_s, u"--arg"_s, earlier }).exitCode, 0);
        const Run typed = typedAtPrompt(u"a"_s, u"[x]"_s, keys);
        QCOMPARE(typed.exitCode, 0);
        QFETCH(QByteArray, got);
        QVERIFY2(typed.out.contains(got + "\r\n"), typed.out);
    }

    // A secret argument reaches the script exactly as given, from --arg or typed unseen on the
    // terminal, and no file Runel writes holds it.
    void secretArgument()
    {
        const QByteArray secret = "p4ss w0rd";
        const Run given = run({ u"s"_s, u"--arg"_s, QString::fromUtf8(secret) });
        QCOMPARE(given.exitCode, 0);
        QCOMPARE(fileBytes(scripts() + u"/secret.sh.got"_s), secret);

        if (!QStandardPaths::findExecutable(u"script"_s).isEmpty()) {
            QFile::remove(scripts() + u"/secret.sh.got"_s);
            // Typed once the prompt shows, as a person would: echo is off by then.
            const Run typed = typedAtPrompt(u"s"_s, u"Token"_s, secret + '\n');
            QCOMPARE(typed.exitCode, 0);
            QVERIFY2(typed.out.contains("done") && !typed.out.contains(secret), typed.out);
            QCOMPARE(fileBytes(scripts() + u"/secret.sh.got"_s), secret);
        }

        QDirIterator files(
            m_home->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            if (!path.startsWith(scripts() + u'/'))
                QVERIFY2(!fileBytes(path).contains(secret), qPrintable(path));
        }
    }

    // Runs from the terminal are logged like any other: one that failed, and one still going in
    // another runel process, which this command must list as running, not as interrupted. Two
    // records written by hand come first: one cut off (no status, nobody writing), and one whose
    // name would break a line.
    void logListsEveryRunOldestFirst()
    {
        const QString directory = runel::LogStore::defaultLogDirectory();
        const std::string cutOff
            = writeLoggedRun(directory, u"Cut off"_s, u"2024-12-31T23:00:00Z"_s, std::nullopt)
                  .toStdString();
        writeLoggedRun(directory, u"Line\nbreak"_s, u"2025-01-01T00:00:00Z"_s,
            runel::RunExitStatus::cancelled);
        QCOMPARE(run({ u"te"_s }).exitCode, 3);

        QProcess going;
        going.start(runelBinary(), { u"run"_s, u"r"_s, u"--dir"_s, scripts() });
        // The script's first line: its run is open and logged.
        QVERIFY(going.waitForReadyRead(30000));

        // The run's record is written beside the script, not before its first line.
        QTRY_COMPARE(loggedRuns().size(), size_t(4));
        const Run asJson = runRunel({ u"log"_s, u"--json"_s });
        QCOMPARE(asJson.err, QByteArray());
        const nlohmann::json runs = parsedJson(asJson.out);
        QCOMPARE(QString::fromStdString(runs[0].dump()),
            QString::fromStdString(nlohmann::json { { "id", cutOff }, { "scriptName", "Cut off" },
                { "date", "2024-12-31T23:00:00Z" }, { "status", "interrupted" },
                { "logFile", directory.toStdString() + '/' + cutOff + ".log" } }
                                       .dump()));
        const auto outcomes = [](const nlohmann::json &logged) { // name and status of each run
            QStringList described;
            for (const nlohmann::json &entry : logged)
                described.append(QString::fromStdString(
                    entry.value("scriptName", "") + ' ' + entry.at("status").dump()));
            return described.join(u", ");
        };
        const QString before
            = u"Cut off \"interrupted\", Line\nbreak \"cancelled\", Exit \"failure\""_s;
        QCOMPARE(outcomes(runs), before + u", Read null"_s);

        const Run plain = runRunel({ u"log"_s });
        QCOMPARE(plain.exitCode, 0);
        // The header, then one line per run: no name breaks a row.
        QCOMPARE(plain.out.count('\n'), 5);
        QVERIFY2(wholeMatch(
                     u"*\n2024-12-31 23:00:00  interrupted  Cut off *\n*cancelled    Line\\nbreak *"
                     u"\n*\n*running      Read *\n"_s,
                     plain.out),
            plain.out.constData());

        // Once the script has ended, its run shows the outcome.
        going.write("\n");
        going.closeWriteChannel();
        QVERIFY(going.waitForFinished(30000));
        QCOMPARE(going.exitCode(), 0);
        QCOMPARE(outcomes(loggedRuns()), before + u", Read \"success\""_s);
    }
};

QTEST_GUILESS_MAIN(TestRunCli)
#include "tst_run_cli.moc"
