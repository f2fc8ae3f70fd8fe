#include "core/index/ShellFileMetadata.h"

#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;

// Annotation lines, parsed both from decoded text and from raw UTF-8 bytes: the two paths must
// agree on every case.
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
        QTest::newRow("plain") << u"# @runel.label Deploy site"_s << u"Deploy site"_s;
        QTest::newRow("inner spaces kept, outer trimmed")
            << u"# @runel.label    Two  words   "_s << u"Two  words"_s;
        QTest::newRow("indented by tabs and no-break spaces")
            << u"\t\u00A0  # @runel.label X"_s << u"X"_s;
        QTest::newRow("no space after hash") << u"#@runel.label X"_s << QString();
        QTest::newRow("later line wins") << u"# @runel.label A\n# @runel.label B"_s << u"B"_s;
        QTest::newRow("empty value removes") << u"# @runel.label A\n# @runel.label"_s << QString();
        QTest::newRow("tab joins key and value into an unknown key")
            << u"# @runel.label\tX"_s << QString();
        QTest::newRow("crlf lines") << u"#!/bin/bash\r\n# @runel.label Win\r\necho"_s << u"Win"_s;
        QTest::newRow("unicode line separators")
            << u"echo\u2028# @runel.label A\u0085# @runel.label B\u2029x"_s << u"B"_s;
        QTest::newRow("two annotations on one line: only the first counts")
            << QStringLiteral("# @runel.label A # @runel.label B") << u"A # @runel.label B"_s;
        QTest::newRow("prefix is case-sensitive") << u"# @Runel.label X"_s << QString();
        QTest::newRow("prefix alone") << u"# @runel.   "_s << QString();
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
        QVERIFY(!parse("# @runel.pinned\n# @runel.pinned false").pinned);

        QCOMPARE(parse("# @runel.output background").output, OutputMode::background);
        QCOMPARE(parse("# @runel.output Background").output, OutputMode::foreground);
        QCOMPARE(
            parse("# @runel.output background\n# @runel.output").output, OutputMode::foreground);

        QCOMPARE(parse("# @runel.icon star.fill").icon, u"star.fill"_s);
        QVERIFY(!parse("# @runel.icon a\n# @runel.icon").icon);

        QCOMPARE(parse("# @runel.fallback").fallback, FallbackMode::enabled());
        QCOMPARE(parse("# @runel.fallback false").fallback, FallbackMode::disabled());
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
        QVERIFY(!argument(R"(# @runel.argument ["a"])"));
        QVERIFY(!argument("# @runel.argument {}\n# @runel.argument"));

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
        QTest::newRow("other word") << u"# @runel.ignore both"_s << u"nnn"_s;
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
};

QTEST_GUILESS_MAIN(TestAnnotations)
#include "tst_index_annotations.moc"
