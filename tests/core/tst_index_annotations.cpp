#include "TestEnvironment.h"
#include "core/index/ScriptCheck.h"
#include "core/index/ShellFileMetadata.h"

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

// Annotation lines, parsed both from decoded text and from raw UTF-8 bytes (the two paths must
// agree on every case), and what `runel check` says of them.
class TestAnnotations : public QObject {
    Q_OBJECT

private:
    static ShellFileMetadata parseBoth(const QString &text, const QString &prefix = u"# @runel."_s)
    {
        const ShellFileMetadata fromText = ShellFileMetadata::parse(text, prefix);
        const QByteArray utf8 = text.toUtf8();
        const ShellFileMetadata fromBytes
            = ShellFileMetadata::parseUtf8(utf8.constData(), size_t(utf8.size()), prefix);
        if (fromText == fromBytes)
            return fromText;
        qWarning() << "text and byte parsers disagree on" << text;
        ShellFileMetadata mismatch;
        mismatch.label = u"MISMATCH"_s;
        return mismatch;
    }

private Q_SLOTS:
    void labels_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label"); // null: no label
        QTest::newRow("inner spaces kept, outer trimmed")
            << u"# @runel.label    Two  words   "_s << u"Two  words"_s;
        QTest::newRow("indented by tabs and no-break spaces")
            << u"\t\u00A0  # @runel.label X"_s << u"X"_s;
        QTest::newRow("later line wins") << u"# @runel.label A\n# @runel.label B"_s << u"B"_s;
        QTest::newRow("empty value removes") << u"# @runel.label A\n# @runel.label"_s << QString();
        QTest::newRow("tab joins key and value into an unknown key")
            << u"# @runel.label\tX"_s << QString();
        QTest::newRow("crlf lines") << u"#!/bin/bash\r\n# @runel.label Win\r\necho"_s << u"Win"_s;
        QTest::newRow("unicode line separators")
            << u"echo\u2028# @runel.label A\u0085# @runel.label B\u2029x"_s << u"B"_s;
        QTest::newRow("prefix is case-sensitive") << u"# @Runel.label X"_s << QString();
    }
    void labels()
    {
        QFETCH(QString, text);
        QFETCH(QString, label);
        const ShellFileMetadata metadata = parseBoth(text);
        QCOMPARE(metadata.label.value_or(QString()), label);
        QCOMPARE(metadata.label.has_value(), !label.isNull());
    }

    // The other keys' values, the argument's JSON, and which prefix each language reads.
    void values()
    {
        auto parse = [](const char *line) { return parseBoth(QString::fromUtf8(line)); };
        QVERIFY(parse("# @runel.pinned").pinned);
        QVERIFY(!parse("# @runel.pinned yes").pinned);

        QCOMPARE(parse("# @runel.output background").output, OutputMode::background);
        QCOMPARE(parse("# @runel.output Background").output, OutputMode::foreground);

        QCOMPARE(parse("# @runel.icon star.fill").icon, u"star.fill"_s);
        QVERIFY(!parse("# @runel.icon a\n# @runel.icon").icon);

        QCOMPARE(parse("# @runel.fallback").fallback, FallbackMode::enabled());
        QCOMPARE(parse("# @runel.fallback ^https?://\\S+ $").fallback,
            FallbackMode::matching(u"^https?://\\S+ $"_s));
        QCOMPARE(parse("# @runel.unknown value"), ShellFileMetadata());

        auto argument = [&parse](const char *line) { return parse(line).argument; };
        QCOMPARE(argument(R"(# @runel.argument {"placeholder": "Query", "value": "{clipboard}"})"),
            (ScriptArgument { u"Query"_s, u"{clipboard}"_s }));
        QCOMPARE(argument(R"(# @runel.argument {"placeholder": 3, "value": "v", "x": 1})"),
            (ScriptArgument { QString(), u"v"_s }));
        QVERIFY(argument(R"(# @runel.argument {"secret": true})")->secret);
        QVERIFY(!argument(R"(# @runel.argument {"secret": "true"})")->secret);
        QVERIFY(!argument("# @runel.argument not json"));

        // Each language's prefix only.
        QCOMPARE(parseBoth(u"# @runel.label Shell"_s, u"-- @runel."_s), ShellFileMetadata());
        QCOMPARE(parseBoth(u"-- @runel.label Apple"_s, u"# @runel."_s), ShellFileMetadata());
        QCOMPARE(parseBoth(u"-- @runel.label Apple"_s, u"-- @runel."_s).label, u"Apple"_s);
    }

    void ignore_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("ignored"); // everywhere, in sequences, in search
        QTest::newRow("no value ignores everywhere") << u"# @runel.ignore"_s << u"yyy"_s;
        QTest::newRow("sequence only") << u"# @runel.ignore sequence"_s << u"nyn"_s;
        QTest::newRow("search only") << u"# @runel.ignore search"_s << u"nny"_s;
        QTest::newRow("last line decides alone")
            << u"# @runel.ignore sequence\n# @runel.ignore search"_s << u"nny"_s;
    }
    void ignore()
    {
        QFETCH(QString, text);
        QFETCH(QString, ignored);
        const ShellFileMetadata metadata = parseBoth(text);
        QString actual;
        for (bool flag : { metadata.ignored, metadata.isIgnoredIn(ScriptMode::sequence),
                 metadata.isIgnoredIn(ScriptMode::search) })
            actual += flag ? u'y' : u'n';
        QCOMPARE(actual, ignored);
    }

    // What `runel check` finds in one script's annotation lines.
    void checkedLines_data()
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

    void checkedLines()
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

    // What `runel check` finds across a scripts folder: each kind once, named by the script it is
    // about, sorted.
    void checkedFolder()
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

QTEST_GUILESS_MAIN(TestAnnotations)
#include "tst_index_annotations.moc"
