#include "RunFixtures.h"
#include "RunelProcess.h"

#include <QtTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace runel::test;
using nlohmann::json;

// The JSON shapes of runel search and runel resolve, and search's plain output, on one scripts
// folder. Ranking, rows (their highlights in characters, hints, icons) and key resolving are the
// core's to test; these check what reaches the terminal: each member of a result and of a file and
// a folder row, the block names, and what the settings and the log decide.
class TstSearchCli : public QObject {
    Q_OBJECT

private:
    QString tree() const { return m_home->file(u"tree"_s); }
    std::unique_ptr<TestHome> m_home;

private Q_SLOTS:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        const QByteArray shell = "#!/bin/bash\n";
        for (const auto &[path, annotation] :
            std::initializer_list<std::pair<QString, QByteArray>> { { u"café.sh"_s, {} },
                { u"git/deploy.sh"_s, "label Ship it" }, { u"git/status.sh"_s, "pinned" },
                { u"notes.sh"_s, {} }, { u"tests/unit.sh"_s, {} }, { u"tools/lint.sh"_s, {} },
                { u"web/open-url.sh"_s, "fallback ^https?://" }, { u"web/ask.sh"_s, "fallback" } })
            writeFile(tree() + u'/' + path,
                annotation.isEmpty() ? shell : shell + "# @runel." + annotation + '\n');
    }

    void json_data()
    {
        // COMMAND TEXT, run as COMMAND --json --dir TREE -- TEXT
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // the whole output

        QTest::newRow("search: hit in the name")
            << QStringList { u"search"_s, u"SHIP"_s }
            << uR"({"title":"Ship it","results":[{"path":"git/deploy.sh","name":"Ship it",
            "block":"match","icon":"doc.fill","title":"Ship it","subtitle":"git/deploy.sh",
            "titleHighlight":[0,4],"subtitleHighlight":null}]})"_s;
        QTest::newRow("search: fallback blocks")
            << QStringList { u"search"_s, u"https://example.org"_s }
            << uR"({"title":"2 Scripts","results":[{"path":"web/open-url.sh","name":"Open URL",
            "block":"patternFallback","icon":"doc.fill","title":"Open URL",
            "subtitle":"web/open-url.sh","titleHighlight":null,"subtitleHighlight":null},
            {"path":"web/ask.sh","name":"Ask","block":"enabledFallback","icon":"doc.fill",
            "title":"Ask","subtitle":"web/ask.sh","titleHighlight":null,
            "subtitleHighlight":null}]})"_s;
        QTest::newRow("resolve: full match, keys as typed") << QStringList { u"resolve"_s,
            u"GD"_s } << uR"({"fullMatches":["git/deploy.sh"],"prefixMatches":[],
            "matchedLabels":["Git","Ship it"],"isAtComponentBoundary":true,
            "displayKeyGroups":[["G"],["D"]],"title":"Ship it","rows":[
            {"kind":"file","path":"git/deploy.sh","icon":"doc.fill","title":"Ship it",
             "subtitle":"deploy.sh","keyHint":null,"titleHighlight":null,
             "subtitleHighlight":[0,1],"subtitleStemCount":6}]})"_s;
        QTest::newRow("resolve: inside folder names") << QStringList { u"resolve"_s,
            u"t"_s } << uR"({"fullMatches":[],"prefixMatches":["tests/unit.sh","tools/lint.sh"],
            "matchedLabels":["Tests"],"isAtComponentBoundary":false,"displayKeyGroups":[["t"]],
            "title":"2 Matches","rows":[
            {"kind":"folder","path":null,"icon":"folder.fill","title":"Tests",
             "subtitle":"tests","keyHint":"e","titleHighlight":null,
             "subtitleHighlight":[0,1],"subtitleStemCount":5},
            {"kind":"folder","path":null,"icon":"folder.fill","title":"Tools",
             "subtitle":"tools","keyHint":"o","titleHighlight":null,
             "subtitleHighlight":[0,1],"subtitleStemCount":5}]})"_s;
    }

    void json()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const Run run = runRunel(
            { arguments.at(0), u"--json"_s, u"--dir"_s, tree(), u"--"_s, arguments.at(1) });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(QString::fromStdString(parsedJson(run.out).dump()),
            QString::fromStdString(json::parse(expected.toStdString()).dump()));
    }

    // search reads the run log for its order only when the setting asks for it.
    void searchFollowsRankByUse_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("expected"); // the paths listed for empty text

        const QString indexOrder = u"git/status.sh café.sh git/deploy.sh notes.sh tests/unit.sh "
                                   u"tools/lint.sh"_s;
        QTest::newRow("no setting: index order") << QByteArray("{}") << indexOrder;
        QTest::newRow("not a Boolean: off") << QByteArray(R"({"rankByUse": "true"})") << indexOrder;
        QTest::newRow("on: used scripts after the pinned one, the more used first")
            << QByteArray(R"({"rankByUse": true})")
            << u"git/status.sh tools/lint.sh notes.sh café.sh git/deploy.sh tests/unit.sh"_s;
    }
    void searchFollowsRankByUse()
    {
        QFETCH(QByteArray, settings);
        const QString logs = m_home->file(u"data/runel/logs"_s);
        QDir(logs).removeRecursively();
        QDir().mkpath(logs);
        const QDateTime now = QDateTime::currentDateTimeUtc().addSecs(-60);
        for (const auto &[path, runs] : { std::pair { u"notes.sh"_s, 2 }, { u"tools/lint.sh"_s, 6 },
                 { u"git/status.sh"_s, 9 } }) {
            for (int i = 0; i < runs; ++i) {
                runel::LogRecord record { QUuid::createUuid(), path, now.addSecs(-i), {},
                    runel::RunExitStatus::success };
                record.logFileName = runel::LogRecord::logFileNameFor(record.id);
                record.scriptPath = tree() + u'/' + path;
                writeFile(logs + u'/' + record.logFileName);
                writeFile(logs + u'/' + runel::LogRecord::recordFileNameFor(record.id),
                    QByteArray::fromStdString(record.toJson()));
            }
        }
        writeFile(m_home->file(u"config/runel/settings.json"_s), settings);
        const Run run = runRunel({ u"search"_s, u"--json"_s, u"--dir"_s, tree(), u"--"_s, u""_s });
        QCOMPARE(run.exitCode, 0);
        QStringList paths;
        const nlohmann::json output = parsedJson(run.out);
        for (const nlohmann::json &result : output["results"])
            paths << QString::fromStdString(result["path"].get<std::string>());
        QTEST(paths.join(u' '), "expected");
    }

    // Plain output: the title, then one result a line with its block's mark; no colour when
    // standard output is not a terminal.
    void searchPlain()
    {
        const Run run = runRunel({ u"search"_s, u"http://x"_s, u"--dir"_s, tree() });
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(wholeMatch(u"2 Scripts\n*Open URL*fallback, pattern matches*\n*Ask*\n"_s, run.out)
                && !run.out.contains('\x1b'),
            run.out.constData());
    }
};

QTEST_GUILESS_MAIN(TstSearchCli)
#include "tst_search_cli.moc"
