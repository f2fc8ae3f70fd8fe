#include "TestEnvironment.h"
#include "core/index/ScriptCheck.h"

#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;

namespace {

// "LINE: part of the message" for each finding, to compare with a row's expectations.
QStringList described(const std::vector<ScriptFinding> &findings)
{
    QStringList result;
    for (const ScriptFinding &finding : findings)
        result.append(u"%1: %2"_s.arg(QString::number(finding.line), finding.message));
    return result;
}

} // namespace

// What `runel check` finds: in one script's annotation lines, and across a scripts folder.
class TestScriptCheck : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void annotations_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("prefix");
        // One entry per finding, in order: "LINE: text the message contains".
        QTest::addColumn<QStringList>("expected");
        const QString shell = u"# @runel."_s;
        const QByteArray head = "#!/bin/bash\n";

        QTest::newRow("every key used well") << head
                + "# @runel.label Deploy\n# @runel.argument {\"placeholder\": \"Host\", "
                  "\"value\": \"web\", \"secret\": true}\n# @runel.output background\n# "
                  "@runel.pinned\n"
                  "# @runel.ignore search\n# @runel.icon star\n# @runel.fallback ^git \\w+$\n"
                  "echo @runel.label is only text here\n"
                                             << shell << QStringList {};
        QTest::newRow("unknown key near a known one")
            << head + "# @runel.lable Deploy\n"
            << shell << QStringList { u"2: did you mean \"label\"?"_s };
        QTest::newRow("tab after the key")
            << head + "# @runel.label\tDeploy\n"
            << shell << QStringList { u"2: a tab separates \"label\""_s };
        QTest::newRow("argument not JSON")
            << head + "# @runel.argument {placeholder: \"x\"}\n"
            << shell
            << QStringList {
                   u"2: the argument is not valid JSON (parse error at line 1, column 2"_s
               };
        QTest::newRow("argument members")
            << head + "# @runel.argument {\"placeholder\": 3, \"placholder\": \"x\"}\n"
            << shell
            << QStringList { u"2: \"placeholder\" is not a string"_s,
                   u"2: \"placholder\" means nothing; did you mean \"placeholder\"?"_s };
        QTest::newRow("ignore value")
            << head + "# @runel.ignore everywhere\n"
            << shell << QStringList { u"2: \"ignore everywhere\" means nothing"_s };
        QTest::newRow("pinned value") << head + "# @runel.pinned yes\n"
                                      << shell << QStringList { u"2: \"pinned yes\" unpins"_s };
        QTest::newRow("fallback pattern not valid")
            << head + "# @runel.fallback ([a-z\n"
            << shell << QStringList { u"2: not a valid regular expression (U_REGEX_"_s };
        QTest::newRow("a later line replaces an earlier one")
            << head + "# @runel.ignore sequence\necho\n\n# @runel.ignore search\n"
            << shell << QStringList { u"5: replaces the one on line 2"_s };
        QTest::newRow("lines counted as editors count them") << QByteArray(
            "a\r\nb\r\n# @runel.lable x\r\n") << shell << QStringList { u"3: did you mean"_s };
        QTest::newRow("each language its own prefix")
            << QByteArray("# @runel.lable x\n-- @runel.lable y\n") << u"-- @runel."_s
            << QStringList { u"2: did you mean"_s };
    }

    void annotations()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, prefix);
        QFETCH(QStringList, expected);
        const QStringList found = described(checkAnnotations(text.toStdString(), prefix));
        QCOMPARE(found.size(), expected.size());
        for (qsizetype i = 0; i < found.size(); ++i) {
            const QString &wanted = expected.at(i);
            const QString line = wanted.left(wanted.indexOf(u':') + 1);
            QVERIFY2(
                found.at(i).startsWith(line) && found.at(i).contains(wanted.mid(line.size() + 1)),
                qPrintable(found.at(i)));
        }
    }

    // The findings of a folder: each kind once, named by the script it is about, sorted.
    void folder()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + u"/scripts"_s;
        const QByteArray script = "#!/bin/bash\necho\n";
        writeFile(root + u"/twin/x.sh"_s, script);
        writeFile(root + u"/twin/x.applescript"_s, "display dialog \"x\"\n");
        writeFile(root + u"/über.sh"_s, script);
        writeFile(root + u"/latin1.sh"_s, "echo caf\xe9\n");
        writeFile(root + u"/odd.sh"_s, "# @runel.outptu background\n");
        for (int i = 0; i <= 64; ++i)
            writeFile(root + u"/many/m%1.sh"_s.arg(i, 2, 10, QChar(u'0')), script);
        writeFile(root + u"/1/2/3/4/5/6/7/deep.sh"_s, script);
        writeFile(root + u"/1/2/3/4/5/6/7/notes.txt"_s, "not a script\n");
        writeFile(root + u"/1/2/3/4/5/6/shallow.sh"_s, script);

        const Expected<std::unique_ptr<ScriptIndex>> checked
            = scanAndCheck(root, ScriptIndex::Configuration {});
        QVERIFY(checked);
        const ScriptIndex &index = **checked;
        QStringList found;
        for (const ScriptFinding &finding : index.findings)
            found.append(u"%1:%2: %3"_s.arg(
                finding.path.mid(root.size() + 1), QString::number(finding.line), finding.message));
        const QStringList expected {
            u"1/2/3/4/5/6/7/deep.sh:0: it is more than 6 folders below"_s,
            u"latin1.sh:0: Runel cannot read it: The file is not valid UTF-8 text."_s,
            u"many/m64.sh:0: it comes after the first 64 scripts of its folder"_s,
            u"odd.sh:1: unknown annotation \"outptu\""_s,
            u"twin/x.applescript:0: its keys \"tx\" are those of twin/x.sh too"_s,
            u"twin/x.sh:0: its keys \"tx\" are those of twin/x.applescript too"_s,
            u"über.sh:0: its keys \"ü\" cannot all be typed (ü)"_s,
        };
        QCOMPARE(found.size(), expected.size());
        for (qsizetype i = 0; i < found.size(); ++i)
            QVERIFY2(found.at(i).startsWith(expected.at(i)), qPrintable(found.at(i)));

        QCOMPARE(index.findingsFor(root + u"/twin/x.sh"_s).size(), size_t(1));
        QCOMPARE(index.findingsFor(root + u"/ok.sh"_s).size(), size_t(0));
        QVERIFY(!scanAndCheck(dir.path() + u"/missing"_s, {}));
    }
};

QTEST_GUILESS_MAIN(TestScriptCheck)
#include "tst_script_check.moc"
