#include "RunFixtures.h"
#include "RunelProcess.h"
#include "core/log/LogStore.h"

#include <QProcess>
#include <nlohmann/json.hpp>

using namespace runel;
using namespace runel::test;
using namespace Qt::StringLiterals;
using nlohmann::json;

// "runel log": the runs of the log in the user's data folder, as a table or as JSON.
class TestLogCli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The table shows local times; runel inherits this.
        qputenv("TZ", "UTC");
    }

    // Runs from the terminal are logged like any other: one that failed, and one still going in
    // another runel process, which this command must list as running, not as interrupted. Two
    // records written by hand come first: one cut off (no status, nobody writing), and one whose
    // name would break a line.
    void listsEveryRunOldestFirst()
    {
        TestHome home;
        const QString directory = LogStore::defaultLogDirectory();
        const std::string cutOff
            = writeLoggedRun(directory, u"Cut off"_s, u"2024-12-31T23:00:00Z"_s, std::nullopt)
                  .toStdString();
        writeLoggedRun(
            directory, u"Line\nbreak"_s, u"2025-01-01T00:00:00Z"_s, RunExitStatus::cancelled);
        const QString scripts = home.file(u"scripts"_s);
        writeFile(scripts + u"/exit.sh"_s, "#!/bin/bash\nexit 3\n");
        writeFile(scripts + u"/wait.sh"_s, "#!/bin/bash\necho started\nread line\n");
        QCOMPARE(runRunel({ u"run"_s, u"e"_s, u"--dir"_s, scripts }).exitCode, 3);

        QProcess going;
        going.start(runelBinary(), { u"run"_s, u"w"_s, u"--dir"_s, scripts });
        // The script's first line: its run is open and logged.
        QVERIFY(going.waitForReadyRead(30000));

        // The run's record is written beside the script, not before its first line.
        Run asJson;
        json runs;
        const auto listsFour = [&] {
            asJson = runRunel({ u"log"_s, u"--json"_s });
            runs = parsedJson(asJson.out);
            return runs.is_array() && runs.size() == 4;
        };
        QTRY_VERIFY2(listsFour(), asJson.out.constData());
        QCOMPARE(asJson.exitCode, 0);
        QCOMPARE(asJson.err, QByteArray());
        QCOMPARE(QString::fromStdString(runs[0].dump()),
            QString::fromStdString(json { { "id", cutOff }, { "scriptName", "Cut off" },
                { "date", "2024-12-31T23:00:00Z" }, { "status", "interrupted" },
                { "logFile", directory.toStdString() + '/' + cutOff + ".log" } }
                                       .dump()));
        const auto outcomes = [](const json &logged) { // name and status of each run
            QStringList described;
            for (const json &run : logged)
                described.append(QString::fromStdString(
                    run.value("scriptName", "") + ' ' + run.at("status").dump()));
            return described.join(u", ");
        };
        const QString before
            = u"Cut off \"interrupted\", Line\nbreak \"cancelled\", Exit \"failure\""_s;
        QCOMPARE(outcomes(runs), before + u", Wait null"_s);
        const QString exitLog = QString::fromStdString(runs[2].value("logFile", ""));
        QVERIFY(QFileInfo(exitLog).isFile());

        const Run plain = runRunel({ u"log"_s });
        QCOMPARE(plain.exitCode, 0);
        const QList<QByteArray> lines = plain.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 5); // the header, then one line per run: no name breaks a row
        QVERIFY(lines[0].startsWith("DATE"));
        QVERIFY2(
            lines[1].startsWith("2024-12-31 23:00:00  interrupted  Cut off"), lines[1].constData());
        QVERIFY(lines[2].contains("cancelled    Line\\nbreak"));
        QVERIFY(lines[3].contains("failure      Exit"));
        QVERIFY(lines[3].endsWith(exitLog.toUtf8()));
        QVERIFY(lines[4].contains("running      Wait"));

        // Once the script has ended, its run shows the outcome.
        going.write("\n");
        going.closeWriteChannel();
        QVERIFY(going.waitForFinished(30000));
        QCOMPARE(going.exitCode(), 0);
        QCOMPARE(outcomes(parsedJson(runRunel({ u"log"_s, u"--json"_s }).out)),
            before + u", Wait \"success\""_s);
    }
};

QTEST_GUILESS_MAIN(TestLogCli)
#include "tst_log_cli.moc"
