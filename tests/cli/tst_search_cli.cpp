#include "RunelProcess.h"
#include "TestEnvironment.h"

#include <QProcess>
#include <QtTest>
#include <memory>
#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;
using namespace runel::test;
using nlohmann::json;

namespace {

const QByteArray shell = "#!/bin/bash\n";

} // namespace

// runel search and the rows of runel resolve --json, on one scripts folder.
class TstSearchCli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void searchJson_data();
    void searchJson();
    void searchOrder_data();
    void searchOrder();
    void searchPlain_data();
    void searchPlain();
    void resolveRows_data();
    void resolveRows();

private:
    QString tree() const { return m_home->file(u"tree"_s); }
    std::unique_ptr<TestHome> m_home;
};

void TstSearchCli::initTestCase()
{
    QVERIFY2(
        QFileInfo(runelBinary()).isExecutable(), "RUNEL_BINARY must name the built runel binary");
    m_home = std::make_unique<TestHome>();
    const QString root = tree();
    writeFile(root + u"/café.sh"_s);
    writeFile(root + u"/git/deploy.sh"_s, shell + "# @runel.label Ship it\n");
    writeFile(root + u"/git/status.sh"_s, shell + "# @runel.pinned\n");
    writeFile(root + u"/notes.sh"_s, shell + "# @runel.icon accessories-text-editor\n");
    writeFile(root + u"/tests/unit.sh"_s);
    writeFile(root + u"/tools/lint.sh"_s);
    writeFile(root + u"/web/open-url.sh"_s, shell + "# @runel.fallback ^https?://\n");
    writeFile(root + u"/web/ask.sh"_s, shell + "# @runel.fallback\n");
}

void TstSearchCli::searchJson_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("hit in the name and the path")
        << u"SHIP"_s << uR"({"title":"Ship it","results":[{"path":"git/deploy.sh","name":"Ship it",
            "block":"match","icon":"doc.fill","title":"Ship it","subtitle":"git/deploy.sh",
            "titleHighlight":[0,4],"subtitleHighlight":null}]})"_s;
    QTest::newRow("offsets in characters")
        << u"É"_s << uR"({"title":"Café","results":[{"path":"café.sh","name":"Café","block":"match",
            "icon":"doc.fill","title":"Café","subtitle":"café.sh","titleHighlight":[3,1],
            "subtitleHighlight":[3,1]}]})"_s;
    QTest::newRow("fallbacks")
        << u"https://example.org"_s
        << uR"({"title":"2 Scripts","results":[{"path":"web/open-url.sh","name":"Open URL",
            "block":"patternFallback","icon":"doc.fill","title":"Open URL",
            "subtitle":"web/open-url.sh","titleHighlight":null,"subtitleHighlight":null},
            {"path":"web/ask.sh","name":"Ask","block":"enabledFallback","icon":"doc.fill",
            "title":"Ask","subtitle":"web/ask.sh","titleHighlight":null,
            "subtitleHighlight":null}]})"_s;
}

void TstSearchCli::searchJson()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const Run run = runRunel({ u"search"_s, text, u"--json"_s, u"--dir"_s, tree() });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    const json output = parsedJson(run.out);
    QVERIFY2(!output.is_discarded(), run.out.constData());
    QCOMPARE(QString::fromStdString(output.dump()),
        QString::fromStdString(json::parse(expected.toStdString()).dump()));
}

void TstSearchCli::searchOrder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("paths");

    QTest::newRow("empty text: every ranked script, pinned first")
        << QString() << u"Search"_s
        << QStringList { u"git/status.sh"_s, u"café.sh"_s, u"git/deploy.sh"_s, u"notes.sh"_s,
               u"tests/unit.sh"_s, u"tools/lint.sh"_s };
    QTest::newRow("pinned first, then earlier hits")
        << u"t"_s << u"5 Scripts"_s
        << QStringList { u"git/status.sh"_s, u"notes.sh"_s, u"tests/unit.sh"_s, u"tools/lint.sh"_s,
               u"git/deploy.sh"_s };
    QTest::newRow("name hits before path hits, each by offset")
        << u"s"_s << u"6 Scripts"_s
        << QStringList { u"git/status.sh"_s, u"git/deploy.sh"_s, u"notes.sh"_s, u"tests/unit.sh"_s,
               u"tools/lint.sh"_s, u"café.sh"_s };
    QTest::newRow("nothing matches: the enabled fallback")
        << u"zz"_s << u"Ask"_s << QStringList { u"web/ask.sh"_s };
}

void TstSearchCli::searchOrder()
{
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QStringList, paths);
    const Run run = runRunel({ u"search"_s, u"--json"_s, u"--dir"_s, tree(), u"--"_s, text });
    QCOMPARE(run.exitCode, 0);
    const json output = parsedJson(run.out);
    QVERIFY2(output.is_object(), run.out.constData());
    QCOMPARE(QString::fromStdString(output.at("title").get<std::string>()), title);
    QStringList found;
    for (const json &result : output.at("results"))
        found.append(QString::fromStdString(result.at("path").get<std::string>()));
    QCOMPARE(found, paths);
}

void TstSearchCli::searchPlain_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines"); // each must appear, in this order

    QTest::newRow("title, then one result a line")
        << u"s"_s << QStringList { u"Status"_s, u"git/status.sh"_s, u"pinned"_s };
    QTest::newRow("fallback marked")
        << u"http://x"_s
        << QStringList { u"2 Scripts"_s, u"Open URL"_s, u"fallback, pattern matches"_s, u"Ask"_s };
}

void TstSearchCli::searchPlain()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    const Run run = runRunel({ u"search"_s, text, u"--dir"_s, tree() });
    QCOMPARE(run.exitCode, 0);
    const QString out = QString::fromUtf8(run.out);
    QVERIFY2(!out.contains(u'\x1b'), "no colour when not on a terminal");
    qsizetype at = 0;
    for (const QString &line : lines) {
        const qsizetype found = out.indexOf(line, at);
        QVERIFY2(found >= 0, qPrintable(u"missing %1 in:\n%2"_s.arg(line, out)));
        at = found + line.size();
    }
}

void TstSearchCli::resolveRows_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected"); // {"title", "rows"}

    QTest::newRow("folder completed: its scripts, pinned first")
        << u"g"_s << uR"({"title":"Git","rows":[
            {"kind":"file","path":"git/status.sh","icon":"pin.fill","title":"Status",
             "subtitle":"status.sh","keyHint":"s","titleHighlight":null,
             "subtitleHighlight":null,"subtitleStemCount":6},
            {"kind":"file","path":"git/deploy.sh","icon":"doc.fill","title":"Ship it",
             "subtitle":"deploy.sh","keyHint":"d","titleHighlight":null,
             "subtitleHighlight":null,"subtitleStemCount":6}]})"_s;
    QTest::newRow("full match highlights the typed file keys")
        << u"GD"_s << uR"({"title":"Ship it","rows":[
            {"kind":"file","path":"git/deploy.sh","icon":"doc.fill","title":"Ship it",
             "subtitle":"deploy.sh","keyHint":null,"titleHighlight":null,
             "subtitleHighlight":[0,1],"subtitleStemCount":6}]})"_s;
    QTest::newRow("inside folder names: folder rows") << u"t"_s << uR"({"title":"2 Matches","rows":[
            {"kind":"folder","path":null,"icon":"folder.fill","title":"Tests",
             "subtitle":"tests","keyHint":"e","titleHighlight":null,
             "subtitleHighlight":[0,1],"subtitleStemCount":5},
            {"kind":"folder","path":null,"icon":"folder.fill","title":"Tools",
             "subtitle":"tools","keyHint":"o","titleHighlight":null,
             "subtitleHighlight":[0,1],"subtitleStemCount":5}]})"_s;
    QTest::newRow("no keys") << QString() << uR"({"title":"Runel","rows":[]})"_s;
}

void TstSearchCli::resolveRows()
{
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    const Run run = runRunel({ u"resolve"_s, u"--json"_s, u"--dir"_s, tree(), u"--"_s, keys });
    QCOMPARE(run.exitCode, 0);
    const json output = parsedJson(run.out);
    QVERIFY2(output.is_object(), run.out.constData());
    // The resolver's own members are tested with resolve itself; these are the HUD's.
    const json shown { { "title", output.at("title") }, { "rows", output.at("rows") } };
    QCOMPARE(QString::fromStdString(shown.dump()),
        QString::fromStdString(json::parse(expected.toStdString()).dump()));
}

QTEST_GUILESS_MAIN(TstSearchCli)
#include "tst_search_cli.moc"
