#include "TestEnvironment.h"
#include "core/execution/ListEntry.h"
#include "core/hud/ResultRows.h"
#include "core/hud/SearchCatalog.h"
#include "core/hud/SearchEvaluation.h"
#include "core/hud/TextMatcher.h"
#include "core/index/ScriptIndex.h"

#include <QRandomGenerator>
#include <QtTest>
#include <deque>

using namespace runel;
using namespace Qt::StringLiterals;

namespace {

// What a result row shows, written on one line so that a test compares whole rows at once:
// "icon | title title-highlight | subtitle subtitle-highlight | hint | stem", with "-" for an
// absent part and highlights as "offset+count".
QString span(qint64 offset, qint64 count)
{
    return count == 0 ? u"-"_s : u"%1+%2"_s.arg(offset).arg(count);
}

QString describe(const ResultDisplayItem &item)
{
    return u"%1 | %2 %3 | %4 %5 | %6 | %7"_s.arg(item.icon, item.title,
        span(item.titleHighlightOffset, item.titleHighlightCount), item.subtitle.value_or(u"-"_s),
        span(item.subtitleHighlightOffset, item.subtitleHighlightCount),
        item.keyHint.value_or(u"-"_s), QString::number(item.subtitleStemCount));
}

KeyGroup keysOf(const QString &typed)
{
    KeyGroup result;
    for (QChar c : typed)
        result.emplace_back(c);
    return result;
}

// The decoded entries as "icon | title | subtitle | script | arguments", "-" for an absent
// part, joined by "; "; "not a list" when the line is not one.
QString decoded(const QByteArray &line)
{
    const std::optional<std::vector<ListEntry>> entries
        = decodeListEntries(std::string_view(line.constData(), size_t(line.size())));
    if (!entries)
        return u"not a list"_s;
    QStringList described;
    for (const ListEntry &entry : *entries) {
        const QString arguments
            = entry.arguments ? u"[%1]"_s.arg(entry.arguments->join(u',')) : u"-"_s;
        described.append(QStringList { entry.icon.value_or(u"-"_s), entry.title,
            entry.subtitle.value_or(u"-"_s), entry.script, arguments }
                             .join(u" | "_s));
    }
    return described.join(u"; "_s);
}

const QString pinnedScript = u"=# @runel.pinned\n"_s;

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

// The rows the HUD shows: for keys typed over real folders, for a text searched (where it
// matches, how results are ranked and put in blocks) with the title above them, and the decoding
// of a script's list.
class TstRows : public QObject {
    Q_OBJECT

private:
    IndexTree m_tree;
    Evaluation evaluate(const QStringList &files, const QString &typed, bool enhanceLabels = true)
    {
        const ScriptIndex &index = m_tree.build(files, enhanceLabels);
        return evaluateKeys(keysOf(typed), index.sequence.reachableItems, enhanceLabels);
    }

private Q_SLOTS:
    // The rows, as the HUD shows them, and the title for keys typed over a real tree.
    void sequence_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enhance");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("rows");

        const QStringList git { u"git/deploy.sh"_s, u"git/fetch.sh"_s,
            u"git/status.sh"_s + pinnedScript };
        QTest::newRow("completed folder lists its scripts, pinned first, hinted by their labels")
            << git << u"g"_s << true << u"Git"_s
            << QStringList { u"pin.fill | Status - | status.sh - | s | 6"_s,
                   u"doc.fill | Deploy - | deploy.sh - | d | 6"_s,
                   u"doc.fill | Fetch - | fetch.sh - | f | 5"_s };
        QTest::newRow("full match highlights the typed keys on the file name when the name differs")
            << git << u"gs"_s << true << u"Status"_s
            << QStringList { u"pin.fill | Status - | status.sh 0+1 | - | 6"_s };
        QTest::newRow("full match highlights the title when it is the file name")
            << git << u"gd"_s << false << u"deploy"_s
            << QStringList { u"doc.fill | deploy 0+1 | deploy.sh - | - | 6"_s };

        const QStringList tools { u"tools/a.sh"_s, u"tools/b.sh"_s, u"tests/c.sh"_s };
        QTest::newRow("a single prefix match names its component")
            << tools << u"te"_s << true << u"Tests"_s
            << QStringList { u"doc.fill | C - | c.sh - | c | 1"_s };
        QTest::newRow("a pinned script being typed comes before the folders, others after")
            << (tools + QStringList { u"top.sh"_s + pinnedScript, u"tip.sh"_s }) << u"t"_s << true
            << u"5 Matches"_s
            << QStringList { u"pin.fill | Top - | top.sh 0+1 | op | 3"_s,
                   u"folder.fill | Tests - | tests 0+1 | e | 5"_s,
                   u"folder.fill | Tools - | tools 0+1 | oo | 5"_s,
                   u"doc.fill | Tip - | tip.sh 0+1 | i | 3"_s };

        const QStringList json { u"json_tools/x.sh"_s, u"jq/y.sh"_s };
        QTest::newRow("folder names enhanced when asked")
            << json << u"j"_s << true << u"2 Matches"_s
            << QStringList { u"folder.fill | Jq - | jq 0+1 | q | 2"_s,
                   u"folder.fill | JSON Tools - | json_tools 0+1 | s | 10"_s };
        QTest::newRow("file with fewer groups than the reference is a script")
            << QStringList { u"a/x.sh"_s, u"ab.sh"_s } << u"a"_s << true << u"A"_s
            << QStringList { u"doc.fill | X - | x.sh - | x | 1"_s,
                   u"doc.fill | Ab - | ab.sh 0+1 | b | 2"_s };
        QTest::newRow("hint is what remains of the group being typed")
            << QStringList { u"git/stash.sh"_s, u"git/status.sh"_s } << u"gst"_s << false
            << u"2 Matches"_s
            << QStringList { u"doc.fill | stash 0+2 | stash.sh - | as | 5"_s,
                   u"doc.fill | status 0+2 | status.sh - | at | 6"_s };
        // A pin wins over an icon annotation, which is shown as written; AppleScript has its own.
        QTest::newRow("icons") << QStringList { u"i/a.applescript"_s,
            u"i/b.sh=# @runel.icon network-wired\n"_s,
            u"i/c.sh=# @runel.pinned\n# @runel.icon network-wired\n"_s }
                               << u"i"_s << false << u"i"_s
                               << QStringList { u"pin.fill | c - | c.sh - | c | 1"_s,
                                      u"applescript | a - | a.applescript - | a | 1"_s,
                                      u"network-wired | b - | b.sh - | b | 1"_s };
        QTest::newRow("stem counted in characters")
            << QStringList { u"café.sh"_s } << u"c"_s << false << u"café"_s
            << QStringList { u"doc.fill | café 0+1 | café.sh - | - | 4"_s };
    }

    void sequence()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, typed);
        QFETCH(bool, enhance);
        const Evaluation evaluation = evaluate(files, typed, enhance);
        QStringList shown;
        for (const ResultDisplayItem &item : displayItems(evaluation.resultItems, typed.size()))
            shown.append(describe(item));
        QTEST(shown, "rows");
        QTEST(runel::sequenceTitle(keysOf(typed), evaluation), "title");
    }

    void decodeList_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("entries");

        QTest::newRow("every member kept")
            << QByteArray(R"([{"icon":"star","title":"Héllo","subtitle":"sub","script":)"
                          R"("tools/x.sh","arguments":["a","b c",""]},{"title":"T","script":"s"}])")
            << u"star | Héllo | sub | tools/x.sh | [a,b c,]; - | T | - | s | -"_s;
        QTest::newRow("empty array in white space is an empty list")
            << QByteArray(" [ ] \r") << QString();
        QTest::newRow("null optional members read as absent")
            << QByteArray(R"([{"title":"A","script":"a","icon":null,"arguments":null}])")
            << u"- | A | - | a | -"_s;
        for (const auto &[name, line] :
            std::initializer_list<std::pair<const char *, QByteArray>> {
                { "argument that is not a string",
                    R"([{"title":"A","script":"a","arguments":["x",2]}])" },
                { "one bad entry fails the list", R"([{"title":"A","script":"a"},{"title":"B"}])" },
                { "nested beyond reason", QByteArray(100000, '[') + QByteArray(100000, ']') } })
            QTest::newRow(name) << line << u"not a list"_s;
    }

    void decodeList()
    {
        QFETCH(QByteArray, line);
        QTEST(decoded(line), "entries");
    }
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
        QTest::newRow("pattern matches anywhere in the text")
            << QStringList { u"Call; c.sh; \\d{3}"_s } << u"call 555 now"_s << u"pattern: Call"_s;
        QTest::newRow("fallbacks sorted by name, digit runs by value, case aside") << QStringList {
            u"Script 10; a.sh; x"_s, u"script 9; b.sh; x"_s, u"alpha; c.sh; x"_s, u"Beta; d.sh; x"_s
        } << u"x"_s << u"pattern: alpha, pattern: Beta, pattern: script 9, pattern: Script 10"_s;
        QTest::newRow("broken or pathological patterns count as no match")
            << QStringList { u"Broken; b.sh; (unclosed"_s, u"Slow; s.sh; (a+)+$"_s,
                   u"Also slow; t.sh; ^(\\w+\\s?)*$"_s, u"Fast; f.sh; aa"_s }
            << QString(60, u'a') + u'!' << u"pattern: Fast"_s;
        QTest::newRow("name hit beats path hit whatever the offsets")
            << QStringList { u"zz; ab/zz.sh"_s, u"xab; tools/x.sh"_s } << u"ab"_s
            << u"match: xab, match: zz"_s;
        QTest::newRow("pinned path hit beats unpinned name hit") << QStringList { u"deploy; a.sh"_s,
            u"!x; folder/xxdeploy.sh"_s } << u"deploy"_s << u"match: x, match: deploy"_s;
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
        // Each "PATH:RUNS:DAYS": that many runs of the script at PATH (below /scripts), the last
        // DAYS days ago.
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
                record.scriptPath = u"/scripts/"_s + parts[0];
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
        QTest::newRow("hit in both lines, several results counted")
            << QStringList { u"Git Push; tools/git-push.sh"_s, u"Push All; push.sh"_s } << u"push"_s
            << u"2 Scripts"_s
            << QStringList { u"doc.fill | Push All 0+4 | push.sh 0+4 | - | 0"_s,
                   u"doc.fill | Git Push 4+4 | tools/git-push.sh 10+4 | - | 0"_s };
        QTest::newRow("no highlight and a plain title for empty text")
            << QStringList { u"!Backup; backup.sh"_s } << QString() << u"Search"_s
            << QStringList { u"pin.fill | Backup - | backup.sh - | - | 0"_s };
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

    // A script's list filtered: title hits rank by offset, before an earlier subtitle hit.
    void listFilter()
    {
        const std::vector<ListEntry> list {
            { u"star"_s, u"Deploy"_s, u"servers"_s, u"d.sh"_s, std::nullopt },
            { std::nullopt, u"Restart"_s, std::nullopt, u"r.sh"_s, std::nullopt },
            { std::nullopt, u"Stop"_s, std::nullopt, u"s.sh"_s, std::nullopt },
        };
        QStringList shown;
        for (const ResultDisplayItem &item :
            displayItems(TextMatcher::filter(u"S"_s, list), u"S"_s))
            shown.append(describe(item));
        QCOMPARE(shown,
            (QStringList { u"doc.text | Stop 0+1 | - - | - | 0"_s,
                u"doc.text | Restart 2+1 | - - | - | 0"_s,
                u"star | Deploy - | servers 0+1 | - | 0"_s }));
    }

    // The bucket sort, with matches (short fields) and for an empty query (priority only), puts
    // items where the comparison sort does.
    void bucketSortKeepsTheRankingOrder()
    {
        QRandomGenerator random(11);
        for (const bool matched : { true, false }) {
            std::vector<TextMatcher::RankedItem> kept;
            for (int i = 0; i < 2000; ++i) {
                std::optional<TextMatch> match;
                if (matched)
                    match = TextMatch { random.bounded(2), random.bounded(40), 1 };
                kept.push_back({ match, random.bounded(2), i * 3 });
            }
            std::vector<TextMatcher::RankedItem> expected = kept;
            std::sort(expected.begin(), expected.end(), &TextMatcher::ranksBefore);
            TextMatcher::sortRanked(kept);
            QCOMPARE(kept.size(), expected.size());
            for (size_t i = 0; i < kept.size(); ++i)
                QCOMPARE(kept[i].sourceIndex, expected[i].sourceIndex);
        }
    }
};

QTEST_GUILESS_MAIN(TstRows)
#include "tst_hud_rows.moc"
