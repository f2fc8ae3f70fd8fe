#include "RunFixtures.h"
#include "RunelProcess.h"

#include <QDirIterator>
#include <QStandardPaths>
#include <QtTest>
#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace runel::test;
using nlohmann::json;

namespace {

// Compares the members wanted names (a JSON object as text) with those of actual, one at a time,
// so that a failure names the member.
void compareMembers(const json &actual, const QString &wanted)
{
    const json members = json::parse(wanted.toStdString());
    for (const auto &[member, value] : members.items())
        QCOMPARE(QString::fromStdString(member + "=" + actual.value(member, json()).dump()),
            QString::fromStdString(member + "=" + value.dump()));
}

} // namespace

// The command-line contract of list, resolve and the commands' shared parts: usage and exit
// codes, the JSON of list, escaping, --dir, seeding and settings as the binary meets them.
class TstCli : public QObject {
    Q_OBJECT

private:
    QString tree() const { return m_home->file(u"tree"_s); }

    std::unique_ptr<TestHome> m_home;
    json m_listed; // list --json of tree()

private Q_SLOTS:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        const QByteArray shell = "#!/bin/bash\n";
        for (const auto &[path, contents] : std::initializer_list<std::pair<QString, QByteArray>> {
                 { u"git/deploy.sh"_s, shell + "# @runel.label Ship it\n" },
                 { u"git/json_to_csv.sh"_s, shell }, { u"git/stash.sh"_s, shell },
                 { u"git/status.sh"_s, shell }, { u"dup/x.sh"_s, shell },
                 { u"dup/x.applescript"_s, "display dialog \"x\"\n" },
                 { u"hidden/off.sh"_s, shell + "# @runel.ignore\n" },
                 { u"quiet.sh"_s, shell + "# @runel.ignore search\n" }, { u"über.sh"_s, shell },
                 { u"latin1.sh"_s, shell + "echo caf\xe9\n" } })
            writeFile(tree() + u'/' + path, contents);
        const QString checked = m_home->file(u"checked"_s);
        writeFile(checked + u"/a.sh"_s, "#!/bin/bash\n# @runel.lable x\n");
        writeFile(checked + u"/b.sh"_s, "#!/bin/bash\n# @runel.label B\n");
        writeFile(checked + u"/sub/c.sh"_s, "#!/bin/bash\n\n# @runel.output loud\n");

        const Run run = runRunel({ u"list"_s, u"--json"_s, u"--dir"_s, tree() });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        m_listed = parsedJson(run.out);
        QVERIFY2(m_listed.is_array(), run.out.constData());
    }

    // Each row in JSON: the statuses, the availability and the severity, the message, and
    // members of the row's own.
    void listJson_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("statuses"); // sequence, search, availability and severity
        QTest::addColumn<QString>("message"); // its start
        QTest::addColumn<QString>("members"); // further members the row must have, as JSON
        const auto row = [](const char *name, const QString &path, const QString &statuses,
                             const QString &message, const QString &members = u"{}"_s) {
            QTest::newRow(name) << path << statuses << message << members;
        };
        row("label shown, keys from the file name", u"git/deploy.sh"_s,
            u"valid valid sequenceAndSearch green"_s,
            u"Available in key-sequence and search mode."_s,
            uR"({"path":"git/deploy.sh","name":"Ship it","keyGroups":[["g"],["d"]],"keys":"gd"})"_s);
        row("duplicate sequence", u"dup/x.sh"_s, u"duplicateSequence valid sequenceAndSearch red"_s,
            u"Another script has the same key sequence."_s);
        row("ignored everywhere: off, in both modes", u"hidden/off.sh"_s,
            u"ignored ignored ignored gray"_s, u"Ignored in key-sequence and search mode."_s);
        row("ignored in search only: ok, keys reach it", u"quiet.sh"_s,
            u"valid ignored sequenceOnly green"_s, u"Available in key-sequence mode only."_s);
        row("untypable key", u"über.sh"_s, u"invalidKey valid sequenceAndSearch yellow"_s,
            u"A folder or filename contains a character that cannot be typed as a key."_s,
            uR"({"keyGroups":[["ü"]],"keys":"ü"})"_s);
        row("not UTF-8: in no index", u"latin1.sh"_s, u"null null sequenceAndSearch red"_s,
            u"Read failure - "_s, uR"({"keyGroups":[],"keys":null})"_s);
    }

    void listJson()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        const auto row = std::find_if(m_listed.begin(), m_listed.end(),
            [&](const json &r) { return r.at("path") == path.toStdString(); });
        QVERIFY2(row != m_listed.end(), qPrintable(path));
        QStringList statuses;
        for (const char *member : { "sequenceStatus", "searchStatus", "availability", "severity" })
            statuses << QString::fromStdString(row->at(member).dump()).remove(u'"');
        QTEST(statuses.join(u' '), "statuses");
        const QString said = QString::fromStdString(row->at("message").get<std::string>());
        QVERIFY2(said.startsWith(message), qPrintable(said));
        QFETCH(QString, members);
        compareMembers(*row, members);
    }

    void listAndResolveFollowTheLabelSetting()
    {
        TestHome home;
        writeFile(runel::SettingsFile::defaultPath(), R"({"enhanceLabels": false})");
        const Run list = runRunel({ u"list"_s, u"--json"_s, u"--dir"_s, tree() });
        QCOMPARE(list.exitCode, 0);
        compareMembers(parsedJson(list.out).at(3), uR"({"name":"json_to_csv"})"_s);
        const Run resolve = runRunel({ u"resolve"_s, u"--json"_s, u"--dir"_s, tree(), u"gst"_s });
        QCOMPARE(resolve.exitCode, 0);
        compareMembers(parsedJson(resolve.out), uR"({"matchedLabels":["git","stash"]})"_s);
    }

    // A listing longer than one print buffer: the rows printed as they are made and the ones
    // written beside them make one array, every row once and in scan order.
    void longListIsOneArrayInScanOrder()
    {
        TestHome home;
        QStringList written;
        for (int i = 0; i < 600; ++i) {
            written.append(
                u"f%1/s%2.sh"_s.arg(i / 50, 2, 10, QChar(u'0')).arg(i, 3, 10, QChar(u'0')));
            writeFile(home.file(u"tree/"_s + written.last()), "echo\n");
        }
        const Run list = runRunel({ u"list"_s, u"--json"_s, u"--dir"_s, home.file(u"tree"_s) });
        QCOMPARE(list.exitCode, 0);
        QVERIFY(list.out.size() > 2 * 64 * 1024);
        QStringList listed;
        for (const json &row : parsedJson(list.out))
            listed.append(QString::fromStdString(row.at("path").get<std::string>()));
        QCOMPARE(listed, written);
    }

    // A name that would break a line or reach the terminal as a control sequence is shown
    // escaped, and a space key as a visible sign: a header, then one line per file.
    void listPlainKeepsEveryRowOnOneLine()
    {
        TestHome home;
        const QString root = home.file(u"plain"_s);
        for (const QString &name :
            { u"a b.sh"_s, u"a c.sh"_s, u"line\nbreak.sh"_s, u"tab\tand\x1b[31mescape.sh"_s })
            writeFile(root + u'/' + name);
        const Run plain = runRunel({ u"list"_s, u"--dir"_s, root });
        QCOMPARE(plain.exitCode, 0);
        QVERIFY2(!plain.out.contains('\x1b'), "no colour when standard output is not a terminal");
        QCOMPARE(plain.out.trimmed().count('\n'), 4);
        for (const char *shown : { "a␣b", "line\\nbreak", "tab\\tand\\x1b[31mescape" })
            QVERIFY2(plain.out.contains(shown), plain.out.constData());
    }

    // A script that cannot be read is listed with the system's reason; the others are unaffected.
    void unreadableScript()
    {
        TestHome home;
        const QString root = home.file(u"tree"_s);
        writeFile(root + u"/open.sh"_s);
        QVERIFY(QFile::setPermissions(writeFile(root + u"/secret.sh"_s), {}));

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
        compareMembers(rows.at(0), uR"({"severity":"green"})"_s);
        compareMembers(rows.at(1),
            uR"({"path":"secret.sh","message":"Read failure - Permission denied","severity":"red",
            "keys":null})"_s);
    }

    // Every command loads its folder through one loader; list stands for them.
    void dirChangesNoSettingAndSeedsNothing()
    {
        TestHome home;
        const QByteArray settings
            = "{\n  \"scriptsDir\": \"~/configured\",\n  \"futureKey\": [1, 2]\n}\n";
        writeFile(runel::SettingsFile::defaultPath(), settings);
        const QString folder = home.file(u"given"_s);
        writeFile(folder + u"/x.sh"_s, "exit 0\n");

        QCOMPARE(runRunel({ u"list"_s, u"--json"_s, u"--dir"_s, folder }).exitCode, 0);
        QCOMPARE(fileBytes(runel::SettingsFile::defaultPath()), settings);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { u"x.sh"_s });
        QVERIFY2(!QFileInfo::exists(home.file(u"configured"_s)),
            "--dir must not create the configured folder");
    }

    // A settings file that cannot be parsed is warned of once; the defaults stand in, and the first
    // run still fills the new scripts folder with the examples.
    void firstRunSeedsExamplesDespiteCorruptSettings()
    {
        TestHome home;
        writeFile(runel::SettingsFile::defaultPath(), "{\"enhanceLabels\": fal");
        const Run run = runRunel({ u"list"_s, u"--json"_s });
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.startsWith("runel: warning: ") && run.err.contains("settings.json")
                && run.err.count('\n') == 1,
            run.err.constData());
        size_t seeded = 0;
        for (QDirIterator it(home.file(u".runel"_s), { u"*.sh"_s, u"*.applescript"_s }, QDir::Files,
                 QDirIterator::Subdirectories);
             it.hasNext(); it.next())
            ++seeded;
        QVERIFY(seeded > 0);
        QCOMPARE(parsedJson(run.out).size(), seeded);
    }

    void resolvePlain()
    {
        const Run run = runRunel({ u"resolve"_s, u"gst"_s, u"--dir"_s, tree() });
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(
            wholeMatch(u"*g st\n*Git › Stash\n*\n  g stas  Stash   git/stash.sh\n*"_s, run.out),
            run.out.constData());
    }

    // runel check: the line format editors jump from, which paths are looked at and the exit
    // statuses (on the folder initTestCase writes).
    void check_data()
    {
        QTest::addColumn<QString>("paths"); // after "check", split at spaces; DIR: the folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("findings"); // the start of each line printed
        const QString a = u"DIR/a.sh:2: unknown annotation \"lable\""_s;
        const QString c = u"DIR/sub/c.sh:3: \"output loud\" means nothing"_s;
        QTest::newRow("the folder") << u"--dir DIR"_s << 1 << QStringList { a, c };
        QTest::newRow("a clean file") << u"--dir DIR DIR/b.sh"_s << 0 << QStringList();
        // Below the scripts folder only what lies under the path is told; outside it, a folder
        // is checked as a scripts folder of its own.
        QTest::newRow("a folder below") << u"--dir DIR DIR/sub"_s << 1 << QStringList { c };
        QTest::newRow("a folder of its own") << u"DIR/sub"_s << 1 << QStringList { c };
        QTest::newRow("a missing path") << u"--dir DIR DIR/nothing.sh"_s << 2 << QStringList();
    }
    void check()
    {
        QFETCH(QString, paths);
        QFETCH(QStringList, findings);
        const QString folder = m_home->file(u"checked"_s);
        const Run run
            = runRunel(QStringList { u"check"_s } + paths.replace(u"DIR"_s, folder).split(u' '));
        QTEST(run.exitCode, "exitCode");
        const QStringList lines = QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), findings.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(
                lines[i].startsWith(findings[i].replace(u"DIR"_s, folder)), qPrintable(lines[i]));
        QVERIFY2(run.exitCode != 2 || run.err.contains("no file or folder"), run.err.constData());
    }

    void checkJson()
    {
        const QString folder = m_home->file(u"checked"_s);
        const Run run = runRunel({ u"check"_s, u"--dir"_s, folder, u"--json"_s });
        QCOMPARE(run.exitCode, 1);
        const json findings = parsedJson(run.out);
        QCOMPARE(findings.size(), size_t(2));
        compareMembers(findings.at(0), u"{\"path\": \"%1/a.sh\", \"line\": 2}"_s.arg(folder));
    }

    // Help, usage errors, input refused before any app is asked or started (keys no script's
    // keys can hold, another URL where the desktop passes runel:// links) and a folder that
    // cannot be listed: the status and both outputs, and nothing created. HOME: the test's home.
    void answers_data()
    {
        QTest::addColumn<QString>("arguments"); // split at spaces
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // the whole output; '*' stands for any text
        QTest::addColumn<QString>("err"); // the whole of standard error, written the same way
        QTest::addColumn<QByteArray>("settings");
        const auto row
            = [](const char *name, const QString &arguments, int exitCode, const QString &out,
                  const QString &err, const QByteArray &settings = {}) {
                  QTest::newRow(name) << arguments << exitCode << out << err << settings;
              };
        row("--help, listing the commands", u"--help"_s, 0,
            u"Usage: runel [COMMAND]*\n  log *--help*"_s, {});
        row("help resolve", u"help resolve"_s, 0, u"Usage: runel resolve KEYS*--help*"_s, {});
        row("--version", u"--version"_s, 0, u"runel *.*.*\n"_s, {});
        row("empty log", u"log"_s, 0, u"No runs in the log *"_s, {});
        row("unknown command", u"frobnicate"_s, 2, {},
            u"runel: unknown command 'frobnicate'\nTry 'runel --help'.\n"_s);
        const QString tryList = u"\nTry 'runel list --help'.\n"_s;
        row("unknown option", u"list --frob"_s, 2, {},
            u"runel list: unknown option '--frob'"_s + tryList);
        row("option without its value", u"list --dir"_s, 2, {},
            u"runel list: option '--dir' needs a value (PATH)"_s + tryList);
        row("control characters escaped", u"list \x1b[2J"_s, 2, {},
            u"runel list: unexpected argument '\\x1b[2J'"_s + tryList);
        row("a control character in keys is shown escaped", u"show --keys g\td"_s, 2, {},
            u"runel show: '\\t' is no key of any script: keys are ASCII letters, digits, "
            u"punctuation and the space ('runel list' shows each script's keys)."_s
                + u"\nTry 'runel show --help'.\n"_s);
        row("a capital in a URL", u"open runel://show?keys=G"_s, 2, {},
            u"runel open: the keys of 'runel://show?keys=G': 'G' is no key of any script: keys are "
            u"lower case (try 'g').\n"_s);
        row("another URL in place of a command", u"https://example.org"_s, 2, {},
            u"runel open: 'https://example.org' is not a Runel URL; the app only takes "
            u"runel://show, runel://hide and runel://toggle.\n"_s);
        row("--dir missing", u"list --dir HOME/missing"_s, 1, {},
            u"runel: The folder HOME/missing cannot be read: No such file or directory.\n*--dir*"_s);
        row("configured folder cannot be created", u"list"_s, 1, {},
            u"runel: The folder HOME/file/scripts cannot be read: Not a directory.\n*settings.json*"_s,
            R"({"scriptsDir": "~/file/scripts"})");
    }
    void answers()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QByteArray, settings);
        TestHome home;
        writeFile(home.file(u"file"_s), "not a folder\n");
        if (!settings.isEmpty())
            writeFile(runel::SettingsFile::defaultPath(), settings);
        const Run run = runRunel(arguments.replace(u"HOME"_s, home.path()).split(u' '));
        QTEST(run.exitCode, "exitCode");
        QVERIFY2(wholeMatch(out.replace(u"HOME"_s, home.path()), run.out), run.out.constData());
        QVERIFY2(wholeMatch(err.replace(u"HOME"_s, home.path()), run.err), run.err.constData());
        QVERIFY2(!QFileInfo::exists(home.file(u".runel"_s)), "nothing is created");
    }
};

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
