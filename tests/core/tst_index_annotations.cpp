#include "index/ShellFileMetadata.h"

#include <QtTest>

using namespace runel;

// Annotation lines, parsed both from decoded text and from raw UTF-8 bytes: the two paths must
// agree on every case.
class TestAnnotations : public QObject {
    Q_OBJECT

private:
    static ShellFileMetadata parseBoth(
        const QString &text, const QString &prefix = QStringLiteral("# @runel."))
    {
        const ShellFileMetadata fromText = ShellFileMetadata::parse(text, prefix);
        const QByteArray utf8 = text.toUtf8();
        const ShellFileMetadata fromBytes
            = ShellFileMetadata::parseUtf8(utf8.constData(), size_t(utf8.size()), prefix);
        if (fromText == fromBytes)
            return fromText;
        qWarning() << "text and byte parsers disagree on" << text;
        ShellFileMetadata mismatch;
        mismatch.label = QStringLiteral("MISMATCH");
        return mismatch;
    }

private Q_SLOTS:
    void labels_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label"); // null: no label
        QTest::newRow("plain") << QStringLiteral("# @runel.label Deploy site")
                               << QStringLiteral("Deploy site");
        QTest::newRow("inner spaces kept, outer trimmed")
            << QStringLiteral("# @runel.label    Two  words   ") << QStringLiteral("Two  words");
        QTest::newRow("indented by tabs and no-break spaces")
            << QStringLiteral("\t\u00A0  # @runel.label X") << QStringLiteral("X");
        QTest::newRow("no space after hash") << QStringLiteral("#@runel.label X") << QString();
        QTest::newRow("later line wins")
            << QStringLiteral("# @runel.label A\n# @runel.label B") << QStringLiteral("B");
        QTest::newRow("empty value removes")
            << QStringLiteral("# @runel.label A\n# @runel.label") << QString();
        QTest::newRow("only blanks removes")
            << QStringLiteral("# @runel.label A\n# @runel.label  \t ") << QString();
        QTest::newRow("tab joins key and value into an unknown key")
            << QStringLiteral("# @runel.label\tX") << QString();
        QTest::newRow("crlf lines")
            << QStringLiteral("#!/bin/bash\r\n# @runel.label Win\r\necho") << QStringLiteral("Win");
        QTest::newRow("unicode line separators")
            << QStringLiteral("echo\u2028# @runel.label A\u0085# @runel.label B\u2029x")
            << QStringLiteral("B");
        QTest::newRow("two annotations on one line: only the first counts") << QStringLiteral(
            "# @runel.label A # @runel.label B") << QStringLiteral("A # @runel.label B");
        QTest::newRow("prefix is case-sensitive")
            << QStringLiteral("# @Runel.label X") << QString();
        QTest::newRow("key is case-sensitive") << QStringLiteral("# @runel.Label X") << QString();
        QTest::newRow("prefix alone") << QStringLiteral("# @runel.   ") << QString();
    }
    void labels()
    {
        QFETCH(QString, text);
        QFETCH(QString, label);
        const ShellFileMetadata metadata = parseBoth(text);
        QCOMPARE(metadata.label.value_or(QString()), label);
        QCOMPARE(metadata.label.has_value(), !label.isNull());
    }

    void values()
    {
        auto parse = [](const char *line) { return parseBoth(QString::fromUtf8(line)); };
        QVERIFY(parse("# @runel.pinned").pinned);
        QVERIFY(parse("# @runel.pinned true").pinned);
        QVERIFY(!parse("# @runel.pinned yes").pinned);
        QVERIFY(!parse("# @runel.pinned\n# @runel.pinned false").pinned);

        QCOMPARE(parse("# @runel.output background").output, OutputMode::background);
        QCOMPARE(parse("# @runel.output Background").output, OutputMode::foreground);
        QCOMPARE(
            parse("# @runel.output background\n# @runel.output").output, OutputMode::foreground);

        QCOMPARE(parse("# @runel.icon star.fill").icon, QStringLiteral("star.fill"));
        QVERIFY(!parse("# @runel.icon a\n# @runel.icon").icon);

        QCOMPARE(parse("# @runel.fallback").fallback, FallbackMode::enabled());
        QCOMPARE(parse("# @runel.fallback true").fallback, FallbackMode::enabled());
        QCOMPARE(parse("# @runel.fallback false").fallback, FallbackMode::disabled());
        QCOMPARE(parse("# @runel.fallback ^https?://\\S+ $").fallback,
            FallbackMode::matching(QStringLiteral("^https?://\\S+ $")));
        QCOMPARE(parse("# @runel.unknown value"), ShellFileMetadata());
    }

    void ignore_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ignored");
        QTest::addColumn<bool>("sequence");
        QTest::addColumn<bool>("search");
        QTest::newRow("no value ignores everywhere")
            << QStringLiteral("# @runel.ignore") << true << true << true;
        QTest::newRow("true") << QStringLiteral("# @runel.ignore true") << true << true << true;
        QTest::newRow("sequence only")
            << QStringLiteral("# @runel.ignore sequence") << false << true << false;
        QTest::newRow("search only")
            << QStringLiteral("# @runel.ignore search") << false << false << true;
        QTest::newRow("other word")
            << QStringLiteral("# @runel.ignore both") << false << false << false;
        QTest::newRow("last line decides alone")
            << QStringLiteral("# @runel.ignore sequence\n# @runel.ignore search") << false << false
            << true;
    }
    void ignore()
    {
        QFETCH(QString, text);
        QFETCH(bool, ignored);
        QFETCH(bool, sequence);
        QFETCH(bool, search);
        const ShellFileMetadata metadata = parseBoth(text);
        QCOMPARE(metadata.ignored, ignored);
        QCOMPARE(metadata.isIgnoredIn(ScriptMode::sequence), sequence);
        QCOMPARE(metadata.isIgnoredIn(ScriptMode::search), search);
    }

    void arguments()
    {
        auto argument
            = [](const char *line) { return parseBoth(QString::fromUtf8(line)).argument; };
        QCOMPARE(argument(R"(# @runel.argument {"placeholder": "Query", "value": "{clipboard}"})"),
            (ScriptArgument { QStringLiteral("Query"), QStringLiteral("{clipboard}") }));
        QCOMPARE(argument("# @runel.argument {}"), ScriptArgument());
        QCOMPARE(argument(R"(# @runel.argument {"placeholder": 3, "value": "v", "x": 1})"),
            (ScriptArgument { QString(), QStringLiteral("v") }));
        QVERIFY(!argument("# @runel.argument not json"));
        QVERIFY(!argument(R"(# @runel.argument ["a"])"));
        QVERIFY(!argument(R"(# @runel.argument {"placeholder": "x")"));
        QVERIFY(!argument("# @runel.argument {}\n# @runel.argument"));
    }

    void prefixesBelongToTheirLanguage()
    {
        const QString shell = QStringLiteral("# @runel.label Shell");
        const QString apple = QStringLiteral("-- @runel.label Apple");
        QCOMPARE(parseBoth(shell, QStringLiteral("-- @runel.")), ShellFileMetadata());
        QCOMPARE(parseBoth(apple, QStringLiteral("# @runel.")), ShellFileMetadata());
        QCOMPARE(parseBoth(apple, QStringLiteral("-- @runel.")).label, QStringLiteral("Apple"));
    }
};

QTEST_GUILESS_MAIN(TestAnnotations)
#include "tst_index_annotations.moc"
