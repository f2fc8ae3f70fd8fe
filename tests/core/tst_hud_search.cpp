#include "ResultRowText.h"
#include "TestEnvironment.h"
#include "core/hud/SearchCatalog.h"
#include "core/hud/SearchEvaluation.h"
#include "core/hud/TextMatcher.h"
#include "core/index/ScriptIndex.h"

#include <QRandomGenerator>
#include <QtTest>
#include <deque>

using namespace runel;
using runel::test::describe;
using namespace Qt::StringLiterals;

namespace {

// Searchable scripts made in memory, each written "name; path; fallback": fallback empty for
// none, "*" for an enabled fallback, else the pattern. A name starting with "!" is pinned.
class Scripts {
public:
    explicit Scripts(const QStringList &written)
    {
        for (const QString &line : written) {
            const QStringList parts = line.split(u"; "_s);
            FileItem &file = m_files.emplace_back();
            QString name = parts[0];
            if (name.startsWith(u'!')) {
                file.metadata.pinned = true;
                name.remove(0, 1);
            }
            file.relativePath = parts.value(1, name + u".sh"_s);
            file.path = u"/scripts/"_s + file.relativePath;
            const QString fallback = parts.value(2);
            if (fallback == u"*")
                file.metadata.fallback = FallbackMode::enabled();
            else if (!fallback.isEmpty())
                file.metadata.fallback = FallbackMode::matching(fallback);
            m_items.push_back({ &file, name, IndexStatus::valid() });
            m_searchable.push_back(&m_items.back());
        }
    }
    const std::vector<const SearchItem *> &searchable() const { return m_searchable; }

private:
    std::deque<FileItem> m_files;
    std::deque<SearchItem> m_items;
    std::vector<const SearchItem *> m_searchable;
};

// The results as "block: name, ...".
QString described(const std::vector<SearchResult> &results)
{
    static const QStringList blocks { u"pattern"_s, u"match"_s, u"enabled"_s };
    QStringList list;
    for (const SearchResult &result : results)
        list.append(blocks.value(int(result.block)) + u": "_s + result.item->displayName);
    return list.join(u", "_s);
}

} // namespace

// Finding scripts by text: where a text matches, how results are ranked and put in blocks, and
// the rows and title the HUD shows for them.
class TstSearch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The blocks in order, and the ranking within the matches.
    void blocks_data()
    {
        QTest::addColumn<QStringList>("scripts");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        const QStringList web { u"Open URL; web/open-url.sh; ^https?://"_s,
            u"Web Search; web.sh; *"_s, u"Notes; notes.sh"_s, u"!Backup; backup.sh"_s };
        QTest::newRow("matching pattern fallback, then enabled ones when nothing else matches")
            << web << u"https://example.org/notes"_s << u"pattern: Open URL, enabled: Web Search"_s;
        QTest::newRow("no enabled fallbacks while a script matches, whatever the case")
            << web << u"NOTE"_s << u"match: Notes"_s;
        QTest::newRow("empty text lists the ranked scripts, pinned first")
            << web << QString() << u"match: Backup, match: Notes"_s;
        QTest::newRow("no enabled fallbacks for empty text")
            << QStringList { u"Web Search; web.sh; *"_s } << QString() << QString();
        QTest::newRow("pattern may match empty text") << QStringList { u"Empty; e.sh; ^$"_s,
            u"Any; a.sh; x"_s } << QString() << u"pattern: Empty"_s;
        QTest::newRow("pattern matches anywhere in the text")
            << QStringList { u"Call; c.sh; \\d{3}"_s } << u"call 555 now"_s << u"pattern: Call"_s;
        QTest::newRow("fallbacks sorted by name, digit runs by value, case aside") << QStringList {
            u"Script 10; a.sh; x"_s, u"script 9; b.sh; x"_s, u"alpha; c.sh; x"_s, u"Beta; d.sh; x"_s
        } << u"x"_s << u"pattern: alpha, pattern: Beta, pattern: script 9, pattern: Script 10"_s;
        QTest::newRow("fallback scripts are never ranked by their names") << QStringList {
            u"Search; s.sh; ^zzz"_s, u"Web Search; w.sh; *"_s, u"Search Notes; n.sh"_s
        } << u"search"_s << u"match: Search Notes"_s;
        QTest::newRow("broken or pathological patterns count as no match")
            << QStringList { u"Broken; b.sh; (unclosed"_s, u"Slow; s.sh; (a+)+$"_s,
                   u"Also slow; t.sh; ^(\\w+\\s?)*$"_s, u"Fast; f.sh; aa"_s }
            << QString(60, u'a') + u'!' << u"pattern: Fast"_s;
        QTest::newRow("name hit beats path hit whatever the offsets")
            << QStringList { u"zz; ab/zz.sh"_s, u"xab; tools/x.sh"_s } << u"ab"_s
            << u"match: xab, match: zz"_s;
        QTest::newRow("pinned path hit beats unpinned name hit") << QStringList { u"deploy; a.sh"_s,
            u"!x; folder/xxdeploy.sh"_s } << u"deploy"_s << u"match: x, match: deploy"_s;
        QTest::newRow("final sigma of upper-case text")
            << QStringList { u"οδος; g.sh"_s } << u"ΟΔΟΣ"_s << u"match: οδος"_s;
        QTest::newRow("accented letter does not match its plain letter")
            << QStringList { u"café; c.sh"_s } << u"cafe"_s << QString();
    }

    void blocks()
    {
        QFETCH(QStringList, scripts);
        QFETCH(QString, text);
        const Scripts made(scripts);
        QTEST(described(SearchCatalog(made.searchable()).results(text)), "expected");
    }

    // Ranking by use: only ties of the text's ranking change, and with no runs or the setting
    // off the order is the text's alone.
    void rankByUse_data()
    {
        QTest::addColumn<QStringList>("scripts");
        // Each "PATH:RUNS:DAYS": that many runs of the script at PATH (below /scripts; "-" for
        // records without a path, as older versions wrote), the last DAYS days ago.
        QTest::addColumn<QStringList>("runs");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("off");
        QTest::addColumn<QString>("on");

        const QStringList ab { u"a; a.sh"_s, u"b; b.sh"_s };
        QTest::newRow("equal hits: the script used first")
            << QStringList { u"gitb; b.sh"_s, u"gita; a.sh"_s } << QStringList { u"a.sh:1:0"_s }
            << u"git"_s << u"match: gitb, match: gita"_s << u"match: gita, match: gitb"_s;
        QTest::newRow("use never beats a better hit")
            << QStringList { u"my-git; a.sh"_s, u"git-log; b.sh"_s }
            << QStringList { u"a.sh:50:0"_s } << u"git"_s << u"match: git-log, match: my-git"_s
            << u"match: git-log, match: my-git"_s;
        QTest::newRow("use never beats pinned")
            << QStringList { u"!pin; p.sh"_s, u"a; a.sh"_s, u"b; b.sh"_s }
            << QStringList { u"b.sh:5:0"_s } << QString() << u"match: pin, match: a, match: b"_s
            << u"match: pin, match: b, match: a"_s;
        QTest::newRow("the more recent first")
            << ab << QStringList { u"a.sh:1:30"_s, u"b.sh:1:1"_s } << QString()
            << u"match: a, match: b"_s << u"match: b, match: a"_s;
        QTest::newRow("runs older than 90 days count only by their date")
            << ab << QStringList { u"a.sh:20:100"_s, u"b.sh:1:40"_s } << QString()
            << u"match: a, match: b"_s << u"match: b, match: a"_s;
        QTest::newRow("records without a path name no script")
            << ab << QStringList { u"-:5:0"_s } << QString() << u"match: a, match: b"_s
            << u"match: a, match: b"_s;
    }
    void rankByUse()
    {
        QFETCH(QStringList, scripts);
        QFETCH(QStringList, runs);
        QFETCH(QString, text);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QList<LogRecord> records;
        for (const QString &run : runs) {
            const QStringList parts = run.split(u':');
            for (int i = parts[1].toInt(); i > 0; --i) {
                LogRecord &record = records.emplaceBack();
                record.scriptPath = parts[0] == u"-" ? QString() : u"/scripts/"_s + parts[0];
                // One a minute up to the last; the log's order is by date.
                record.date = now.addDays(-parts[2].toInt()).addSecs(-60 * (i - 1));
            }
        }
        std::sort(records.begin(), records.end(),
            [](const LogRecord &a, const LogRecord &b) { return a.date < b.date; });
        const RunHistory history = RunHistory::fromRecords(records, now);

        const Scripts made(scripts);
        const SearchCatalog catalog(made.searchable());
        QTEST(described(catalog.results(text)), "off");
        QTEST(described(catalog.results(text, catalog.useScores(history, now))), "on");
        QTEST(described(catalog.results(text, catalog.useScores(RunHistory(), now))), "off");
    }

    // The rows as the HUD shows them, and the title above them.
    void display_data()
    {
        QTest::addColumn<QStringList>("scripts");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("rows");

        QTest::newRow("no subtitle when the name is the file name")
            << QStringList { u"deploy; git/deploy.sh"_s } << u"DEP"_s << u"deploy"_s
            << QStringList { u"doc.fill | deploy 0+3 | - - | - | 0"_s };
        QTest::newRow("decomposed name is still the file name")
            << QStringList { u"cafe\u0301; café.sh"_s } << u"é"_s << u"cafe\u0301"_s
            << QStringList { u"doc.fill | cafe\u0301 3+1 | - - | - | 0"_s };
        QTest::newRow("hit in the path only")
            << QStringList { u"Ship It; git/ship.sh"_s } << u"git"_s << u"Ship It"_s
            << QStringList { u"doc.fill | Ship It - | git/ship.sh 0+3 | - | 0"_s };
        QTest::newRow("hit in both lines, several results counted")
            << QStringList { u"Git Push; tools/git-push.sh"_s, u"Push All; push.sh"_s } << u"push"_s
            << u"2 Scripts"_s
            << QStringList { u"doc.fill | Push All 0+4 | push.sh 0+4 | - | 0"_s,
                   u"doc.fill | Git Push 4+4 | tools/git-push.sh 10+4 | - | 0"_s };
        QTest::newRow("no highlight and a plain title for empty text")
            << QStringList { u"!Backup; backup.sh"_s } << QString() << u"Search"_s
            << QStringList { u"pin.fill | Backup - | backup.sh - | - | 0"_s };
        QTest::newRow("no results are counted")
            << QStringList { u"Index; i.sh"_s } << u"zzz"_s << u"0 Scripts"_s << QStringList {};
    }

    void display()
    {
        QFETCH(QStringList, scripts);
        QFETCH(QString, text);
        const Scripts made(scripts);
        const SearchCatalog catalog(made.searchable());
        const std::vector<SearchResult> results = catalog.results(text);
        QStringList shown;
        for (const ResultDisplayItem &item : catalog.displayItems(results, text))
            shown.append(describe(item));
        QTEST(shown, "rows");
        QTEST(searchTitle(text, results), "title");
    }

    // One catalog per index while it is in use; it holds its index, so it stays usable after
    // the store has let go of it, and once it goes the cache keeps no superseded index alive.
    void catalogOfIndex()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath(u"git/deploy.sh"_s));
        const auto build = [&] {
            return std::shared_ptr<const ScriptIndex>(
                ScriptIndex::scanAndBuild(dir.path(), {}).value().release());
        };
        std::shared_ptr<const ScriptIndex> index = build();
        std::shared_ptr<const SearchCatalog> catalog = SearchCatalog::of(index);
        QCOMPARE(SearchCatalog::of(index), catalog);
        const std::weak_ptr<const ScriptIndex> superseded = index;
        index = build();
        QVERIFY(SearchCatalog::of(index) != catalog);
        QCOMPARE(described(catalog->results(u"dep"_s)), u"match: Deploy"_s);
        catalog.reset();
        QVERIFY(superseded.expired());
    }

    void matchPosition_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("query");
        QTest::addColumn<qint64>("offset"); // -1: no match
        QTest::addColumn<qint64>("count");

        QTest::newRow("hit inside a character is skipped for a whole one")
            << u"xe\u20DDe"_s << u"e"_s << 2ll << 1ll;
        QTest::newRow("hit only inside a character is none")
            << u"e\u20DD"_s << u"e"_s << -1ll << 0ll;
        QTest::newRow("dotted capital I counts as one character")
            << u"x i\u0307"_s << u"İ"_s << 2ll << 1ll;
    }

    void matchPosition()
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

    void bucketSortKeepsTheRankingOrder_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("offsets"); // offsets drawn below this
        QTest::addColumn<bool>("matched");

        QTest::newRow("many items, short fields") << 2000 << 40 << true;
        QTest::newRow("empty query: priority only") << 2000 << 1 << false;
    }

    void bucketSortKeepsTheRankingOrder()
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
};

QTEST_GUILESS_MAIN(TstSearch)
#include "tst_hud_search.moc"
