#include "RunelProcess.h"
#include "TestEnvironment.h"
#include "text/Text.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <fcntl.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace runel::test;
using nlohmann::json;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The settings file of the current TestHome.
QString settingsPath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + u"/runel/settings.json"_s;
}

const QByteArray shell = "#!/bin/bash\n";

} // namespace

class TstCli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void listJson_data();
    void listJson();
    void listJsonKeepsScanOrder();
    void listFollowsEnhanceLabelsSetting();
    void listPlainKeepsEveryRowOnOneAlignedLine();
    void listJsonStaysUtf8ForUndecodableFileNames();
    void dirChangesNoSettingAndSeedsNothing_data();
    void dirChangesNoSettingAndSeedsNothing();
    void unlistableFolder_data();
    void unlistableFolder();
    void unreadableScript();
    void firstRunSeedsExamples();
    void corruptSettingsWarnButList();
    void resolveJson_data();
    void resolveJson();
    void resolvePlain();
    void usageErrors_data();
    void usageErrors();
    void help_data();
    void help();
    void version();

private:
    QString tree() const { return m_home->file(u"tree"_s); }

    std::unique_ptr<TestHome> m_home;
    std::map<std::string, json> m_listed; // list --json of tree(), by path
    json m_listedOrder;
};

void TstCli::initTestCase()
{
    QVERIFY2(
        QFileInfo(runelBinary()).isExecutable(), "RUNEL_BINARY must name the built runel binary");
    m_home = std::make_unique<TestHome>();
    const QString root = tree();
    writeFile(root + u"/git/deploy.sh"_s, shell + "# @runel.label Ship it\n");
    writeFile(root + u"/git/json_to_csv.sh"_s);
    writeFile(root + u"/git/stash.sh"_s);
    writeFile(root + u"/git/status.sh"_s);
    writeFile(root + u"/dup/x.sh"_s);
    writeFile(root + u"/dup/x.applescript"_s, "display dialog \"x\"\n");
    writeFile(root + u"/hidden/off.sh"_s, shell + "# @runel.ignore\n");
    writeFile(root + u"/quiet.sh"_s, shell + "# @runel.ignore search\n");
    writeFile(root + u"/über.sh"_s);
    writeFile(root + u"/latin1.sh"_s, shell + "echo caf\xe9\n");

    const Run run = runRunel({ u"list"_s, u"--json"_s, u"--dir"_s, root });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    m_listedOrder = parsedJson(run.out);
    QVERIFY2(m_listedOrder.is_array(), run.out.constData());
    for (const json &row : m_listedOrder)
        m_listed[row.at("path").get<std::string>()] = row;
}

void TstCli::listJson_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // members the row must have, as JSON

    QTest::newRow("label shown, keys from the file name")
        << u"git/deploy.sh"_s
        << uR"({"name":"Ship it","keyGroups":[["g"],["d"]],"keys":"gd","sequenceStatus":"valid",
            "searchStatus":"valid","availability":"sequenceAndSearch",
            "message":"Available in key-sequence and search mode.","severity":"green"})"_s;
    QTest::newRow("name enhanced")
        << u"git/json_to_csv.sh"_s
        << uR"({"name":"JSON To CSV","keyGroups":[["g"],["j"]],"keys":"gj"})"_s;
    QTest::newRow("group longer than one key")
        << u"git/status.sh"_s << uR"({"keyGroups":[["g"],["s","t","a","t"]],"keys":"gstat"})"_s;
    QTest::newRow("duplicate sequence, shell")
        << u"dup/x.sh"_s
        << uR"({"keyGroups":[["d"],["x"]],"keys":"dx","sequenceStatus":"duplicateSequence",
            "searchStatus":"valid","message":"Another script has the same key sequence.",
            "severity":"red"})"_s;
    QTest::newRow("duplicate sequence, AppleScript")
        << u"dup/x.applescript"_s
        << uR"({"sequenceStatus":"duplicateSequence","searchStatus":"valid","severity":"red"})"_s;
    QTest::newRow("ignored everywhere")
        << u"hidden/off.sh"_s
        << uR"({"keyGroups":[["h"],["o"]],"sequenceStatus":"ignored","searchStatus":"ignored",
            "availability":"ignored","message":"Ignored in key-sequence mode.",
            "severity":"gray"})"_s;
    QTest::newRow("ignored in search only")
        << u"quiet.sh"_s
        << uR"({"keyGroups":[["q"]],"sequenceStatus":"valid","searchStatus":"ignored",
            "availability":"sequenceOnly","message":"Ignored in search mode.",
            "severity":"gray"})"_s;
    QTest::newRow("untypable key")
        << u"über.sh"_s
        << uR"({"name":"Über","keyGroups":[["ü"]],"keys":"ü","sequenceStatus":"invalidKey",
            "searchStatus":"valid",
            "message":"A folder or filename contains a character that cannot be typed as a key.",
            "severity":"yellow"})"_s;
    QTest::newRow("not UTF-8: in no index")
        << u"latin1.sh"_s
        << uR"({"keyGroups":[],"keys":null,"sequenceStatus":null,"searchStatus":null,
            "availability":"sequenceAndSearch","severity":"red"})"_s;
}

void TstCli::listJson()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const auto found = m_listed.find(path.toStdString());
    QVERIFY2(found != m_listed.end(), qPrintable(path));
    const json &row = found->second;
    const json wanted = json::parse(expected.toStdString());
    for (const auto &[member, value] : wanted.items())
        QCOMPARE(QString::fromStdString(member + "=" + row.value(member, json()).dump()),
            QString::fromStdString(member + "=" + value.dump()));
    if (path == u"latin1.sh")
        QVERIFY(row.at("message").get<std::string>().starts_with("Read failure - "));
}

void TstCli::listJsonKeepsScanOrder()
{
    QStringList paths;
    for (const json &row : m_listedOrder)
        paths.append(QString::fromStdString(row.at("path").get<std::string>()));
    const QStringList expected { u"dup/x.applescript"_s, u"dup/x.sh"_s, u"git/deploy.sh"_s,
        u"git/json_to_csv.sh"_s, u"git/stash.sh"_s, u"git/status.sh"_s, u"hidden/off.sh"_s,
        u"latin1.sh"_s, u"quiet.sh"_s, u"über.sh"_s };
    QCOMPARE(paths, expected);
}

void TstCli::listFollowsEnhanceLabelsSetting()
{
    TestHome home;
    writeFile(settingsPath(), R"({"enhanceLabels": false})");
    const Run list = runRunel({ u"list"_s, u"--json"_s, u"--dir"_s, tree() });
    QCOMPARE(list.exitCode, 0);
    bool seen = false;
    for (const json &row : parsedJson(list.out)) {
        if (row.at("path") == "git/json_to_csv.sh") {
            QCOMPARE(row.at("name").get<std::string>(), std::string("json_to_csv"));
            seen = true;
        }
    }
    QVERIFY(seen);

    const Run resolve = runRunel({ u"resolve"_s, u"--json"_s, u"--dir"_s, tree(), u"gst"_s });
    QCOMPARE(resolve.exitCode, 0);
    QCOMPARE(parsedJson(resolve.out).at("matchedLabels").dump(), json({ "git", "stash" }).dump());
}

void TstCli::listPlainKeepsEveryRowOnOneAlignedLine()
{
    TestHome home;
    const QString root = home.file(u"plain"_s);
    writeFile(root + u"/a b.sh"_s);
    writeFile(root + u"/a c.sh"_s);
    writeFile(root + u"/line\nbreak.sh"_s);
    writeFile(root + u"/tab\tand\x1b[31mescape.sh"_s);
    writeFile(root + u"/cafe\u0301.sh"_s); // a combining accent: two code units, one character

    const Run listed = runRunel({ u"list"_s, u"--json"_s, u"--dir"_s, root });
    const Run plain = runRunel({ u"list"_s, u"--dir"_s, root });
    QCOMPARE(plain.exitCode, 0);
    QVERIFY2(!plain.out.contains('\x1b'), "no colour when standard output is not a terminal");

    const QStringList lines = QString::fromUtf8(plain.out).split(u'\n', Qt::SkipEmptyParts);
    const auto rows = parsedJson(listed.out);
    QCOMPARE(lines.size(), qsizetype(rows.size()) + 1); // a header, then one line per file
    QVERIFY(plain.out.contains("a␣b"));
    QVERIFY(plain.out.contains("line\\nbreak"));
    QVERIFY(plain.out.contains("tab\\tand\\x1b[31mescape"));

    const qsizetype pathColumn
        = runel::text::characterCount(lines.at(0).left(lines.at(0).indexOf(u"PATH")));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const json &row = rows.at(size_t(i - 1));
        QString path = QString::fromStdString(row.at("path").get<std::string>());
        path.replace(u'\n', u"\\n"_s).replace(u'\t', u"\\t"_s).replace(u'\x1b', u"\\x1b"_s);
        const qsizetype at = lines.at(i).indexOf(path);
        QVERIFY2(at > 0, qPrintable(lines.at(i)));
        QCOMPARE(runel::text::characterCount(lines.at(i).left(at)), pathColumn);
    }
}

void TstCli::listJsonStaysUtf8ForUndecodableFileNames()
{
    TestHome home;
    const QByteArray root = QFile::encodeName(home.file(u"bytes"_s));
    QVERIFY(QDir().mkpath(QString::fromUtf8(root)));
    const QByteArray name = root + "/bad\xff.sh";
    const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    // QTemporaryDir cannot remove a name that does not decode; remove it by its bytes.
    const auto removeName = qScopeGuard([&] { ::unlink(name.constData()); });

    const Run run = runRunel({ u"list"_s, u"--json"_s, u"--dir"_s, QString::fromUtf8(root) });
    QCOMPARE(run.exitCode, 0);
    const json rows = parsedJson(run.out);
    QVERIFY2(!rows.is_discarded(), "the output must be valid UTF-8 JSON");
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(rows.at(0).at("path").get<std::string>(), std::string("bad\uFFFD.sh"));
}

void TstCli::dirChangesNoSettingAndSeedsNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("list") << QStringList { u"list"_s, u"--json"_s };
    QTest::newRow("resolve") << QStringList { u"resolve"_s, u"x"_s };
    QTest::newRow("search") << QStringList { u"search"_s, u"x"_s };
    QTest::newRow("run") << QStringList { u"run"_s, u"x"_s };
}

void TstCli::dirChangesNoSettingAndSeedsNothing()
{
    QFETCH(QStringList, arguments);
    TestHome home;
    const QByteArray settings
        = "{\n  \"scriptsDir\": \"~/configured\",\n  \"futureKey\": [1, 2]\n}\n";
    writeFile(settingsPath(), settings);
    const QString folder = home.file(u"given"_s);
    writeFile(folder + u"/x.sh"_s, "exit 0\n");

    const Run run = runRunel(arguments + QStringList { u"--dir"_s, folder });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(readAll(settingsPath()), settings);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { u"x.sh"_s });
    QVERIFY2(!QFileInfo::exists(home.file(u"configured"_s)),
        "--dir must not create the configured folder");
}

void TstCli::unlistableFolder_data()
{
    QTest::addColumn<QStringList>("arguments"); // "HOME" stands for the test's home
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("systemMessage");
    QTest::addColumn<QString>("hint");

    QTest::newRow("--dir missing")
        << QStringList { u"list"_s, u"--dir"_s, u"HOME/missing"_s } << QString()
        << u"HOME/missing"_s << u"No such file or directory"_s << u"--dir"_s;
    QTest::newRow("--dir names a file, resolve")
        << QStringList { u"resolve"_s, u"g"_s, u"--dir"_s, u"HOME/file"_s } << QString()
        << u"HOME/file"_s << u"Not a directory"_s << u"--dir"_s;
    QTest::newRow("configured folder cannot be created")
        << QStringList { u"list"_s } << uR"({"scriptsDir": "~/file/scripts"})"_s
        << u"HOME/file/scripts"_s << u"Not a directory"_s << u"settings.json"_s;
}

void TstCli::unlistableFolder()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, settings);
    QFETCH(QString, folder);
    QFETCH(QString, systemMessage);
    QFETCH(QString, hint);
    TestHome home;
    writeFile(home.file(u"file"_s), "not a folder\n");
    if (!settings.isEmpty())
        writeFile(settingsPath(), settings.toUtf8());
    arguments.replaceInStrings(u"HOME"_s, home.path());
    folder.replace(u"HOME"_s, home.path());

    const Run run = runRunel(arguments);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray());
    const QString err = QString::fromUtf8(run.err);
    QVERIFY2(
        err.startsWith(u"runel: The folder %1 cannot be read: "_s.arg(folder)), qPrintable(err));
    QVERIFY2(err.contains(systemMessage), qPrintable(err));
    QVERIFY2(err.section(u'\n', 1).contains(hint), qPrintable(err));
}

void TstCli::unreadableScript()
{
    TestHome home;
    const QString root = home.file(u"tree"_s);
    writeFile(root + u"/open.sh"_s);
    const QString secret = writeFile(root + u"/secret.sh"_s);
    QVERIFY(QFile::setPermissions(secret, {}));

    QStringList wrapper;
    if (::geteuid() == 0) {
        // Root reads a mode 000 file anyway: run as nobody, on a tree nobody may enter.
        const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
        if (setpriv.isEmpty())
            QSKIP("running as root without setpriv: cannot drop the right to read the file");
        wrapper = { setpriv, u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s };
        QVERIFY(::chmod(QFile::encodeName(home.path()).constData(), 0755) == 0);
        if (runRunel({ u"--version"_s }, wrapper).exitCode != 0)
            QSKIP("user nobody cannot run the runel binary from this build folder");
    }

    const Run run = runRunel({ u"list"_s, u"--json"_s, u"--dir"_s, root }, wrapper);
    QCOMPARE(run.exitCode, 0);
    const json rows = parsedJson(run.out);
    QCOMPARE(rows.size(), size_t(2));
    QCOMPARE(rows.at(0).at("severity").get<std::string>(), std::string("green"));
    const json &row = rows.at(1);
    QCOMPARE(row.at("path").get<std::string>(), std::string("secret.sh"));
    QCOMPARE(row.at("message").get<std::string>(), std::string("Read failure - Permission denied"));
    QCOMPARE(row.at("severity").get<std::string>(), std::string("red"));
    QVERIFY(row.at("keys").is_null());
}

void TstCli::firstRunSeedsExamples()
{
    TestHome home;
    const Run run = runRunel({ u"list"_s, u"--json"_s });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());

    const QString scripts = home.file(u".runel"_s);
    size_t seeded = 0;
    QDirIterator it(
        scripts, { u"*.sh"_s, u"*.applescript"_s }, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++seeded;
    }
    QVERIFY2(seeded > 0, "the first run fills the new scripts folder with the examples");
    const json rows = parsedJson(run.out);
    QCOMPARE(rows.size(), seeded);

    const Run plain = runRunel({ u"list"_s });
    QCOMPARE(plain.exitCode, 0);
    QCOMPARE(plain.out.count('\n'), qsizetype(seeded) + 1);
}

void TstCli::corruptSettingsWarnButList()
{
    TestHome home;
    writeFile(settingsPath(), "{\"enhanceLabels\": fal");
    const Run run = runRunel({ u"list"_s, u"--json"_s });
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.startsWith("runel: warning: "), run.err.constData());
    QVERIFY2(run.err.contains("settings.json"), run.err.constData());
    QVERIFY(parsedJson(run.out).is_array());
    QVERIFY(!parsedJson(run.out).empty());
}

void TstCli::resolveJson_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no keys") << QString()
                             << uR"({"fullMatches":[],"prefixMatches":[],"matchedLabels":[],
            "isAtComponentBoundary":true,"displayKeyGroups":[]})"_s;
    QTest::newRow("folder key reaches its scripts")
        << u"g"_s << uR"({"fullMatches":[],"prefixMatches":["git/deploy.sh","git/json_to_csv.sh",
            "git/stash.sh","git/status.sh"],"matchedLabels":["Git"],
            "isAtComponentBoundary":true,"displayKeyGroups":[["g"]]})"_s;
    QTest::newRow("full match shows the label")
        << u"gd"_s << uR"({"fullMatches":["git/deploy.sh"],"prefixMatches":[],
            "matchedLabels":["Git","Ship it"],"isAtComponentBoundary":true,
            "displayKeyGroups":[["g"],["d"]]})"_s;
    QTest::newRow("upper-case keys match")
        << u"GD"_s << uR"({"fullMatches":["git/deploy.sh"],"prefixMatches":[],
            "displayKeyGroups":[["G"],["D"]]})"_s;
    QTest::newRow("keys ending inside a name")
        << u"gst"_s << uR"({"fullMatches":[],"prefixMatches":["git/stash.sh","git/status.sh"],
            "matchedLabels":["Git","Stash"],"isAtComponentBoundary":false,
            "displayKeyGroups":[["g"],["s","t"]]})"_s;
    QTest::newRow("duplicates are not reachable")
        << u"dx"_s << uR"({"fullMatches":[],"prefixMatches":[],"matchedLabels":[],
            "isAtComponentBoundary":false,"displayKeyGroups":[["d"],["x"]]})"_s;
    QTest::newRow("ignored in search, still reachable by keys")
        << u"q"_s << uR"({"fullMatches":["quiet.sh"],"matchedLabels":["Quiet"]})"_s;
    QTest::newRow("key beginning with a dash")
        << u"-x"_s << uR"({"fullMatches":[],"prefixMatches":[]})"_s;
}

void TstCli::resolveJson()
{
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    const Run run = runRunel({ u"resolve"_s, u"--dir"_s, tree(), u"--json"_s, u"--"_s, keys });
    QCOMPARE(run.exitCode, 0);
    const json result = parsedJson(run.out);
    QVERIFY2(result.is_object(), run.out.constData());
    const json wanted = json::parse(expected.toStdString());
    for (const auto &[member, value] : wanted.items())
        QCOMPARE(QString::fromStdString(member + "=" + result.value(member, json()).dump()),
            QString::fromStdString(member + "=" + value.dump()));
}

void TstCli::resolvePlain()
{
    const Run run = runRunel({ u"resolve"_s, u"gst"_s, u"--dir"_s, tree() });
    QCOMPARE(run.exitCode, 0);
    const QString out = QString::fromUtf8(run.out);
    QVERIFY2(out.contains(u"g st"), qPrintable(out));
    QVERIFY2(out.contains(u"Git › Stash"), qPrintable(out));
    QVERIFY2(out.contains(u"g stas  Stash   git/stash.sh"), qPrintable(out));
}

void TstCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("hint");

    QTest::newRow("unknown command")
        << QStringList { u"frobnicate"_s } << u"unknown command 'frobnicate'"_s
        << u"Try 'runel --help'."_s;
    QTest::newRow("unknown option before the command")
        << QStringList { u"--frob"_s } << u"unknown option '--frob'"_s << u"Try 'runel --help'."_s;
    QTest::newRow("unknown option")
        << QStringList { u"list"_s, u"--frob"_s } << u"unknown option '--frob'"_s
        << u"Try 'runel list --help'."_s;
    QTest::newRow("option without its value")
        << QStringList { u"list"_s, u"--dir"_s } << u"option '--dir' needs a value (PATH)"_s
        << u"Try 'runel list --help'."_s;
    QTest::newRow("option with an empty value")
        << QStringList { u"list"_s, u"--dir="_s } << u"option '--dir' needs a value (PATH)"_s
        << u"Try 'runel list --help'."_s;
    QTest::newRow("flag given a value")
        << QStringList { u"list"_s, u"--json=yes"_s } << u"option '--json' takes no value"_s
        << u"Try 'runel list --help'."_s;
    QTest::newRow("extra argument")
        << QStringList { u"list"_s, u"extra"_s } << u"unexpected argument 'extra'"_s
        << u"Try 'runel list --help'."_s;
    QTest::newRow("keys missing") << QStringList { u"resolve"_s, u"--json"_s } << u"missing KEYS"_s
                                  << u"Try 'runel resolve --help'."_s;
    QTest::newRow("keys given twice")
        << QStringList { u"resolve"_s, u"a"_s, u"b"_s } << u"unexpected argument 'b'"_s
        << u"Try 'runel resolve --help'."_s;
    QTest::newRow("control characters escaped")
        << QStringList { u"list"_s, u"\x1b[2J"_s } << u"unexpected argument '\\x1b[2J'"_s
        << u"Try 'runel list --help'."_s;
    QTest::newRow("help for an unknown command")
        << QStringList { u"help"_s, u"nope"_s } << u"unknown command 'nope'"_s
        << u"Try 'runel --help'."_s;
}

void TstCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QFETCH(QString, hint);
    TestHome home;
    const Run run = runRunel(arguments);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    const QString err = QString::fromUtf8(run.err);
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY2(err.endsWith(hint + u'\n'), qPrintable(err));
    QVERIFY2(!QFileInfo::exists(home.file(u".runel"_s)), "a usage error touches nothing");
}

void TstCli::help_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("usage");

    QTest::newRow("--help") << QStringList { u"--help"_s } << u"Usage: runel [COMMAND]"_s;
    QTest::newRow("-h") << QStringList { u"-h"_s } << u"Usage: runel [COMMAND]"_s;
    QTest::newRow("list --help") << QStringList { u"list"_s, u"--help"_s }
                                 << u"Usage: runel list [--dir PATH] [--json]"_s;
    QTest::newRow("resolve -h") << QStringList { u"resolve"_s, u"-h"_s }
                                << u"Usage: runel resolve KEYS"_s;
    QTest::newRow("help resolve") << QStringList { u"help"_s, u"resolve"_s }
                                  << u"Usage: runel resolve KEYS"_s;
    QTest::newRow("help --help") << QStringList { u"help"_s, u"--help"_s }
                                 << u"Usage: runel help [COMMAND]"_s;
    QTest::newRow("help wins over a bad option")
        << QStringList { u"list"_s, u"--frob"_s, u"--help"_s } << u"Usage: runel list"_s;
}

void TstCli::help()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, usage);
    TestHome home;
    const Run run = runRunel(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    QVERIFY2(run.out.startsWith(usage.toUtf8()), run.out.constData());
    QVERIFY(run.out.contains("--help"));
    QVERIFY2(!QFileInfo::exists(home.file(u".runel"_s)), "help touches nothing");
}

void TstCli::version()
{
    const Run run = runRunel({ u"--version"_s });
    QCOMPARE(run.exitCode, 0);
    const QString out = QString::fromUtf8(run.out);
    QVERIFY2(QRegularExpression(u"^runel \\d+\\.\\d+\\.\\d+\\n$"_s).match(out).hasMatch(),
        qPrintable(out));
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
