#include "core/execution/HudLinePreview.h"
#include "core/execution/LastStdoutLine.h"
#include "core/threading/MainThreadLineDispatcher.h"

#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;

using Chunks = QList<QByteArray>;
using Lines = QStringList;
using OptionalBytes = std::optional<QByteArray>;

Q_DECLARE_METATYPE(OptionalBytes)

namespace {

const QString truncatedMarker = u" [output line truncated]"_s;

// Feeds the chunks one by one, letting the main thread take what each one delivered, then
// finishes a partial last line as a run's end does.
Lines linesOf(const Chunks &chunks)
{
    Lines lines;
    HudLinePreview preview([&lines](const QString &line) { lines.append(line); });
    for (const QByteArray &chunk : chunks) {
        preview.consume(chunk.constData(), std::size_t(chunk.size()));
        preview.dispatcher()->drain();
    }
    if (preview.hasPendingBytes())
        preview.finishLine();
    preview.dispatcher()->drain();
    return lines;
}

} // namespace

class TestExecCapture : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void previewLines_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<Lines>("expected");

        QTest::newRow("an empty line is delivered empty")
            << Chunks { "a\n", "\n" } << Lines { u"a"_s, QString() };
        QTest::newRow("a chunk of several lines delivers its last")
            << Chunks { "a\nb\nc" } << Lines { u"b"_s, u"c"_s };
        QTest::newRow("a line started earlier ends in a chunk of several lines")
            << Chunks { "par", "tial\nlast\n" } << Lines { u"last"_s };
        QTest::newRow("carriage return does not end a line")
            << Chunks { "a\rb\n" } << Lines { u"a\rb"_s };
        QTest::newRow("exactly the limit is not marked")
            << Chunks { QByteArray(4096, 'x') + '\n' } << Lines { QString(4096, u'x') };
        QTest::newRow("one byte past the limit is marked")
            << Chunks { QByteArray(4097, 'x') + '\n' }
            << Lines { QString(4096, u'x') + truncatedMarker };
        QTest::newRow("a long line across chunks is cut, the next one is not")
            << Chunks { QByteArray(3000, 'x'), QByteArray(2000, 'y'), "\n", "next\n" }
            << Lines { QString(3000, u'x') + QString(1096, u'y') + truncatedMarker, u"next"_s };
        QTest::newRow("invalid UTF-8 is replaced")
            << Chunks { "caf\xe9!\n" } << Lines { u"caf\uFFFD!"_s };
        QTest::newRow("valid UTF-8 split across chunks is kept")
            << Chunks { "caf\xc3", "\xa9\n" } << Lines { u"caf\u00e9"_s };
        QTest::newRow("a character cut at the limit is replaced")
            << Chunks { QByteArray(4095, 'x') + "\xc3\xa9\n" }
            << Lines { QString(4095, u'x') + u"\uFFFD"_s + truncatedMarker };
    }

    void previewLines()
    {
        QFETCH(Chunks, chunks);
        QFETCH(Lines, expected);
        QCOMPARE(linesOf(chunks), expected);
    }

    void lastLine_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<int>("limit");
        QTest::addColumn<OptionalBytes>("expected");

        const int standard = int(LastStdoutLine::defaultLimit);
        QTest::newRow("no output has no line") << Chunks {} << standard << OptionalBytes();
        QTest::newRow("text after the last newline wins")
            << Chunks { "a\nb\n[1,2]" } << standard << OptionalBytes("[1,2]");
        QTest::newRow("a chunk of lines continues an earlier line")
            << Chunks { "x", "y\nz\n" } << standard << OptionalBytes("z");
        QTest::newRow("a line at the limit is kept")
            << Chunks { "12345678\n" } << 8 << OptionalBytes("12345678");
        QTest::newRow("a line past the limit is not kept")
            << Chunks { "123456789\n" } << 8 << OptionalBytes();
        QTest::newRow("an unfinished line past the limit is not kept")
            << Chunks { "ok\n", "1234", "56789", "0" } << 8 << OptionalBytes();
        QTest::newRow("a line after a dropped one is kept")
            << Chunks { "123456789", "0\nok\n" } << 8 << OptionalBytes("ok");
        QTest::newRow("an empty line after a dropped one is empty")
            << Chunks { "123456789\n\n" } << 8 << OptionalBytes(QByteArray(""));
    }

    void lastLine()
    {
        QFETCH(Chunks, chunks);
        QFETCH(int, limit);
        QFETCH(OptionalBytes, expected);
        LastStdoutLine line { std::size_t(limit) };
        for (const QByteArray &chunk : chunks)
            line.consume(chunk.constData(), std::size_t(chunk.size()));
        QCOMPARE(line.lastLineData().value_or("(none)"), expected.value_or("(none)"));
    }
};

QTEST_GUILESS_MAIN(TestExecCapture)
#include "tst_exec_capture.moc"
