#include "TestEnvironment.h"
#include "execution/LogStore.h"

#include <QProcess>
#include <QtTest>
#include <nlohmann/json.hpp>

using namespace runel;
using namespace Qt::StringLiterals;
using nlohmann::json;

namespace {

struct Run {
    int exitCode = -1; // -1 when the process crashed or timed out
    QByteArray out;
    QByteArray err;
};

QString runelBinary()
{
    return qEnvironmentVariable("RUNEL_BINARY", QStringLiteral(RUNEL_BUILT_BINARY));
}

Run runRunel(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TZ"_s, u"UTC"_s);
    environment.insert(u"NO_COLOR"_s, u"1"_s);
    process.setProcessEnvironment(environment);
    process.start(runelBinary(), arguments);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}

} // namespace

// "runel log": the runs of the log in the user's data folder, as a table or as JSON.
class TestLogCli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(runelBinary()).isExecutable(),
            "RUNEL_BINARY must name the built runel binary");
    }

    void emptyLog()
    {
        TestHome home;
        const Run plain = runRunel({ u"log"_s });
        QCOMPARE(plain.exitCode, 0);
        QVERIFY2(plain.out.startsWith("No runs in the log"), plain.out.constData());
        const Run asJson = runRunel({ u"log"_s, u"--json"_s });
        QCOMPARE(asJson.exitCode, 0);
        QCOMPARE(asJson.out, QByteArray("[]\n"));
    }

    // A finished run, one cut off (no status, nobody writing), and one this test process is
    // still running: the command, another process, must list it as running.
    void listsEveryRunOldestFirst()
    {
        TestHome home;
        const QString directory = LogStore::defaultLogDirectory();
        {
            const QUuid id = QUuid::createUuid();
            LogRecord cutOff { id, u"Cut off"_s,
                QDateTime(QDate(2024, 12, 31), QTime(23, 0, 0), Qt::UTC),
                LogRecord::logFileNameFor(id), std::nullopt };
            writeFile(directory + u'/' + cutOff.logFileName, QByteArray());
            writeFile(directory + u'/' + LogRecord::recordFileNameFor(id),
                QByteArray::fromStdString(cutOff.toJson()));
        }
        LogStore store(directory);
        const LogRunPtr done = store.startRun(u"Line\nbreak"_s);
        done->finish(RunExitStatus::failure);
        const LogRunPtr running = store.startRun(u"Going"_s);
        store.waitForPendingWrites();

        const Run asJson = runRunel({ u"log"_s, u"--json"_s });
        QCOMPARE(asJson.exitCode, 0);
        QCOMPARE(asJson.err, QByteArray());
        const json runs = json::parse(asJson.out.toStdString(), nullptr, false);
        QVERIFY2(runs.is_array() && runs.size() == 3, asJson.out.constData());
        QCOMPARE(QString::fromStdString(runs[0].dump()),
            QString::fromStdString(json { { "id", runs[0].value("id", "") },
                { "scriptName", "Cut off" }, { "date", "2024-12-31T23:00:00Z" },
                { "status", "interrupted" },
                { "logFile",
                    (directory + u'/' + QString::fromStdString(runs[0].value("id", "")) + u".log"_s)
                        .toStdString() } }
                                       .dump()));
        QCOMPARE(runs[1].value("id", ""), uuidString(done->id()).toStdString());
        QCOMPARE(runs[1].value("scriptName", ""), "Line\nbreak");
        QCOMPARE(runs[1].value("date", ""), dateString(done->date()).toStdString());
        QCOMPARE(runs[1].value("status", ""), "failure");
        QCOMPARE(runs[1].value("logFile", ""), done->logPath().toStdString());
        QCOMPARE(runs[2].value("id", ""), uuidString(running->id()).toStdString());
        QVERIFY(runs[2].at("status").is_null());

        const Run plain = runRunel({ u"log"_s });
        QCOMPARE(plain.exitCode, 0);
        const QList<QByteArray> lines = plain.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 4); // the header, then one line per run: no name breaks a row
        QVERIFY(lines[0].startsWith("DATE"));
        QVERIFY2(
            lines[1].startsWith("2024-12-31 23:00:00  interrupted  Cut off"), lines[1].constData());
        QVERIFY(lines[2].contains("failure      Line\\nbreak"));
        QVERIFY(lines[2].endsWith(done->logPath().toUtf8()));
        QVERIFY(lines[3].contains("running      Going"));

        // Finished, the run shows its status; the cut-off record is left as it was.
        running->finish(RunExitStatus::success);
        store.waitForPendingWrites();
        const Run after = runRunel({ u"log"_s, u"--json"_s });
        const json again = json::parse(after.out.toStdString(), nullptr, false);
        QVERIFY(again.is_array() && again.size() == 3);
        QCOMPARE(again[2].value("status", ""), "success");
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out"); // the start of standard output
        QTest::addColumn<QByteArray>("err"); // the start of standard error

        QTest::newRow("help") << QStringList { u"log"_s, u"--help"_s } << 0
                              << QByteArray("Usage: runel log [--json]") << QByteArray();
        QTest::newRow("listed in the main help")
            << QStringList { u"--help"_s } << 0 << QByteArray("Usage: runel") << QByteArray();
        QTest::newRow("positional refused")
            << QStringList { u"log"_s, u"all"_s } << 2 << QByteArray() << QByteArray("runel log: ");
        QTest::newRow("unknown option refused") << QStringList { u"log"_s, u"--dir=x"_s } << 2
                                                << QByteArray() << QByteArray("runel log: ");
    }

    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        TestHome home;
        const Run run = runRunel(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.out.startsWith(out), run.out.constData());
        QVERIFY2(run.err.startsWith(err), run.err.constData());
        if (arguments == QStringList { u"--help"_s })
            QVERIFY(run.out.contains("\n  log "));
    }
};

QTEST_GUILESS_MAIN(TestLogCli)
#include "tst_log_cli.moc"
