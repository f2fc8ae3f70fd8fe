#include "hud/SearchCatalog.h"
#include "hud/SearchEvaluation.h"
#include "hud/TextMatcher.h"

#include <QRandomGenerator>
#include <QtTest>
#include <deque>

using namespace runel;
using namespace Qt::StringLiterals;

namespace {

// Searchable scripts made in memory. An item is written "name|relative/path"; a leading "*"
// pins it, a leading "?" makes it an enabled fallback.
class Scripts {
public:
    explicit Scripts(const QStringList &written)
    {
        for (const QString &line : written) {
            QString text = line;
            FileItem &file = m_files.emplace_back();
            if (text.startsWith(u'*')) {
                file.metadata.pinned = true;
                text.remove(0, 1);
            } else if (text.startsWith(u'?')) {
                file.metadata.fallback = FallbackMode::enabled();
                text.remove(0, 1);
            }
            const QStringList parts = text.split(u'|');
            file.relativePath = parts.value(1, parts[0] + u".sh"_s);
            file.path = u"/scripts/"_s + file.relativePath;
            m_items.push_back({ &file, parts[0], IndexStatus::valid() });
            m_searchable.push_back(&m_items.back());
        }
    }
    const std::vector<const SearchItem *> &searchable() const { return m_searchable; }

private:
    std::deque<FileItem> m_files;
    std::deque<SearchItem> m_items;
    std::vector<const SearchItem *> m_searchable;
};

QStringList names(const std::vector<const SearchItem *> &items)
{
    QStringList result;
    for (const SearchItem *item : items)
        result.append(item->displayName);
    return result;
}

// A list entry written "title|subtitle", or "title" for one without a subtitle.
std::vector<ListEntry> entries(const QStringList &written)
{
    std::vector<ListEntry> result;
    for (const QString &line : written) {
        const QStringList parts = line.split(u'|');
        ListEntry entry;
        entry.title = parts[0];
        if (parts.size() > 1)
            entry.subtitle = parts[1];
        entry.script = u"x.sh"_s;
        result.push_back(entry);
    }
    return result;
}

QStringList titles(const std::vector<ListEntry> &list)
{
    QStringList result;
    for (const ListEntry &entry : list)
        result.append(entry.title);
    return result;
}

} // namespace

class TstTextMatcher : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scriptSearch_data();
    void scriptSearch();
    void listFilter_data();
    void listFilter();
    void matchPosition_data();
    void matchPosition();
    void rankReportsWhereItMatched();
    void bucketSortKeepsTheRankingOrder_data();
    void bucketSortKeepsTheRankingOrder();
};

void TstTextMatcher::scriptSearch_data()
{
    QTest::addColumn<QStringList>("scripts");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");

    const QStringList three { u"deploy"_s, u"status"_s, u"*backup"_s };
    QTest::newRow("empty query keeps all, pinned first")
        << three << QString() << QStringList { u"backup"_s, u"deploy"_s, u"status"_s };
    QTest::newRow("name beats path whatever the offsets") << QStringList { u"zz|ab/zz.sh"_s,
        u"xab|tools/x.sh"_s } << u"ab"_s << QStringList { u"xab"_s, u"zz"_s };
    QTest::newRow("earlier hit first") << QStringList { u"my-git|a.sh"_s, u"git-log|b.sh"_s }
                                       << u"git"_s << QStringList { u"git-log"_s, u"my-git"_s };
    QTest::newRow("equal offsets keep input order") << QStringList { u"gitb|a.sh"_s,
        u"gita|b.sh"_s } << u"git"_s << QStringList { u"gitb"_s, u"gita"_s };
    QTest::newRow("pinned path hit beats unpinned name hit") << QStringList { u"deploy|a.sh"_s,
        u"*x|folder/xxdeploy.sh"_s } << u"deploy"_s << QStringList { u"x"_s, u"deploy"_s };
    QTest::newRow("upper-case query finds lower-case text")
        << QStringList { u"my foo"_s, u"bar"_s } << u"FOO"_s << QStringList { u"my foo"_s };
    QTest::newRow("query longer than every field finds nothing")
        << QStringList { u"ab|c.sh"_s } << u"abcdefgh"_s << QStringList {};
    QTest::newRow("fallback scripts are never ranked") << QStringList { u"?web search|web.sh"_s,
        u"search notes|n.sh"_s } << u"search"_s << QStringList { u"search notes"_s };
    QTest::newRow("final sigma of an upper-case query")
        << QStringList { u"οδος|g.sh"_s } << u"ΟΔΟΣ"_s << QStringList { u"οδος"_s };
    QTest::newRow("accented letter does not match its plain letter")
        << QStringList { u"café|c.sh"_s } << u"cafe"_s << QStringList {};
    QTest::newRow("canonically equivalent forms match")
        << QStringList { u"cafe\u0301|c.sh"_s } << u"CAFÉ"_s << QStringList { u"cafe\u0301"_s };
}

void TstTextMatcher::scriptSearch()
{
    QFETCH(QStringList, scripts);
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    const Scripts made(scripts);
    std::vector<const SearchItem *> ranked;
    for (const SearchResult &result : SearchCatalog(made.searchable()).results(query)) {
        if (result.block == SearchBlock::match)
            ranked.push_back(result.item);
    }
    QCOMPARE(names(ranked), expected);
}

void TstTextMatcher::listFilter_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty query returns the list unchanged") << QStringList { u"c"_s, u"a"_s,
        u"b"_s } << QString() << QStringList { u"c"_s, u"a"_s, u"b"_s };
    QTest::newRow("title hit beats subtitle hit") << QStringList { u"one|staging"_s,
        u"stage two"_s } << u"stag"_s << QStringList { u"stage two"_s, u"one"_s };
    QTest::newRow("entry without subtitle matched on its title") << QStringList { u"alpha"_s,
        u"beta|alpha"_s } << u"alp"_s << QStringList { u"alpha"_s, u"beta"_s };
    QTest::newRow("no hit in either field drops the entry")
        << QStringList { u"alpha|beta"_s, u"gamma"_s } << u"delta"_s << QStringList {};
}

void TstTextMatcher::listFilter()
{
    QFETCH(QStringList, list);
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    QCOMPARE(titles(TextMatcher::filter(query, entries(list))), expected);
}

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
