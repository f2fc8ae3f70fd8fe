#include "hud/TextMatcher.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;

class TstTextMatcher : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matchPosition_data();
    void matchPosition();
    void rankReportsWhereItMatched();
    void bucketSortKeepsTheRankingOrder_data();
    void bucketSortKeepsTheRankingOrder();
};

void TstTextMatcher::matchPosition_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("query");
    QTest::addColumn<qint64>("offset"); // -1: no match
    QTest::addColumn<qint64>("count");

    QTest::newRow("case-insensitive, offset and count") << u"my foo"_s << u"FOO"_s << 3ll << 3ll;
    QTest::newRow("first occurrence") << u"abab"_s << u"b"_s << 1ll << 1ll;
    QTest::newRow("empty query highlights nothing") << u"abc"_s << QString() << -1ll << 0ll;
    QTest::newRow("no occurrence") << u"abc"_s << u"x"_s << -1ll << 0ll;
    QTest::newRow("emoji with skin tone is one character")
        << u"👍🏽 deploy"_s << u"deploy"_s << 2ll << 6ll;
    QTest::newRow("flag is one character") << u"🇩🇪🇫🇷x"_s << u"x"_s << 2ll << 1ll;
    QTest::newRow("decomposed text counted in characters")
        << u"cafe\u0301 bar"_s << u"bar"_s << 5ll << 3ll;
    QTest::newRow("composed query found in decomposed text")
        << u"cafe\u0301"_s << u"é"_s << 3ll << 1ll;
    QTest::newRow("hit inside a character is skipped for a whole one")
        << u"xe\u20DDe"_s << u"e"_s << 2ll << 1ll;
    QTest::newRow("hit only inside a character is none") << u"e\u20DD"_s << u"e"_s << -1ll << 0ll;
    QTest::newRow("dotted capital I counts as one character")
        << u"x i\u0307"_s << u"İ"_s << 2ll << 1ll;
    QTest::newRow("carriage return and line feed are one character")
        << u"a\r\nb"_s << u"b"_s << 2ll << 1ll;
}

void TstTextMatcher::matchPosition()
{
    QFETCH(QString, text);
    QFETCH(QString, query);
    QFETCH(qint64, offset);
    QFETCH(qint64, count);
    const std::optional<TextMatch> match = TextMatcher::firstMatch(text, query);
    if (offset < 0) {
        QVERIFY2(!match, qPrintable(u"found at %1"_s.arg(match ? match->offset : 0)));
        return;
    }
    QVERIFY(match);
    QCOMPARE(*match, (TextMatch { 0, offset, count }));
}

void TstTextMatcher::rankReportsWhereItMatched()
{
    const MatchText noHit(u"zzz"_s);
    const MatchText pathHit(u"tools/zz-git.sh"_s);
    const MatchText nameHit(u"my git"_s);
    const std::vector<TextMatcher::MatchFields> fields {
        { &noHit, &pathHit, 1 }, // path hit, unpinned
        { &nameHit, nullptr, 1 }, // name hit, no second field
        { nullptr, nullptr, 0 }, // no fields at all: dropped even though pinned
    };
    const std::vector<TextMatcher::RankedItem> ranked = TextMatcher::rank(
        qsizetype(fields.size()), MatchQuery(u"Git"_s), [&](qsizetype i) { return fields[i]; });
    QCOMPARE(ranked.size(), size_t(2));
    QCOMPARE(ranked[0].sourceIndex, 1);
    QCOMPARE(*ranked[0].match, (TextMatch { 0, 3, 3 }));
    QCOMPARE(ranked[1].sourceIndex, 0);
    QCOMPARE(*ranked[1].match, (TextMatch { 1, 9, 3 }));
}

void TstTextMatcher::bucketSortKeepsTheRankingOrder_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("offsets"); // offsets drawn below this
    QTest::addColumn<bool>("matched");

    QTest::newRow("few items") << 10 << 5 << true;
    QTest::newRow("many items, short fields") << 2000 << 40 << true;
    QTest::newRow("many items, offsets too spread for buckets") << 2000 << 100000 << true;
    QTest::newRow("empty query: priority only") << 2000 << 1 << false;
}

void TstTextMatcher::bucketSortKeepsTheRankingOrder()
{
    QFETCH(int, count);
    QFETCH(int, offsets);
    QFETCH(bool, matched);
    QRandomGenerator random(11);
    std::vector<TextMatcher::RankedItem> kept;
    for (int i = 0; i < count; ++i) {
        std::optional<TextMatch> match;
        if (matched)
            match = TextMatch { random.bounded(2), random.bounded(offsets), 1 };
        kept.push_back({ match, random.bounded(2), i * 3 });
    }
    std::vector<TextMatcher::RankedItem> expected = kept;
    std::sort(expected.begin(), expected.end(), &TextMatcher::ranksBefore);
    TextMatcher::sortRanked(kept);
    QCOMPARE(kept.size(), expected.size());
    for (size_t i = 0; i < kept.size(); ++i)
        QCOMPARE(kept[i].sourceIndex, expected[i].sourceIndex);
}

QTEST_GUILESS_MAIN(TstTextMatcher)
#include "tst_hud_textmatcher.moc"
