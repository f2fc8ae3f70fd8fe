#include "ResultRowText.h"
#include "TestEnvironment.h"
#include "hud/SearchCatalog.h"
#include "hud/SearchEvaluation.h"
#include "index/ScriptIndex.h"

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

QString blockName(SearchBlock block)
{
    switch (block) {
    case SearchBlock::patternFallback:
        return u"pattern"_s;
    case SearchBlock::enabledFallback:
        return u"enabled"_s;
    case SearchBlock::match:
        break;
    }
    return u"match"_s;
}

QStringList described(const std::vector<SearchResult> &results)
{
    QStringList list;
    for (const SearchResult &result : results)
        list.append(blockName(result.block) + u": "_s + result.item->displayName);
    return list;
}

} // namespace

class TstSearch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void blocks_data();
    void blocks();
    void display_data();
    void display();
    void title_data();
    void title();
    void catalogOfIndex();
};

void TstSearch::blocks_data()
{
    QTest::addColumn<QStringList>("scripts");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    const QStringList web { u"Open URL; web/open-url.sh; ^https?://"_s, u"Web Search; web.sh; *"_s,
        u"Notes; notes.sh"_s, u"!Backup; backup.sh"_s };
    QTest::newRow("matching pattern fallback, then enabled ones when nothing else matches")
        << web << u"https://example.org/notes"_s
        << QStringList { u"pattern: Open URL"_s, u"enabled: Web Search"_s };
    QTest::newRow("matching pattern fallback comes before the ranking")
        << QStringList { u"Notes; notes.sh"_s, u"Note Taker; nt.sh; ^no"_s } << u"notes"_s
        << QStringList { u"pattern: Note Taker"_s, u"match: Notes"_s };
    QTest::newRow("enabled fallbacks when nothing matches")
        << web << u"weather"_s << QStringList { u"enabled: Web Search"_s };
    QTest::newRow("no enabled fallbacks while a script matches")
        << web << u"NOTE"_s << QStringList { u"match: Notes"_s };
    QTest::newRow("empty text lists the ranked scripts, pinned first")
        << web << QString() << QStringList { u"match: Backup"_s, u"match: Notes"_s };
    QTest::newRow("no enabled fallbacks for empty text")
        << QStringList { u"Web Search; web.sh; *"_s } << QString() << QStringList {};
    QTest::newRow("pattern may match empty text") << QStringList { u"Empty; e.sh; ^$"_s,
        u"Any; a.sh; x"_s } << QString() << QStringList { u"pattern: Empty"_s };
    QTest::newRow("pattern matches anywhere in the text")
        << QStringList { u"Call; c.sh; \\d{3}"_s } << u"call 555 now"_s
        << QStringList { u"pattern: Call"_s };
    QTest::newRow("pattern is case-sensitive as written") << QStringList { u"Call; c.sh; ^CALL"_s,
        u"Web; w.sh; *"_s } << u"call"_s << QStringList { u"enabled: Web"_s };
    QTest::newRow("fallbacks sorted by name, digit runs by value, case aside")
        << QStringList { u"Script 10; a.sh; x"_s, u"script 9; b.sh; x"_s, u"alpha; c.sh; x"_s,
               u"Beta; d.sh; x"_s }
        << u"x"_s
        << QStringList { u"pattern: alpha"_s, u"pattern: Beta"_s, u"pattern: script 9"_s,
               u"pattern: Script 10"_s };
    QTest::newRow("enabled fallbacks sorted the same way")
        << QStringList { u"web 10; a.sh; *"_s, u"Web 2; b.sh; *"_s, u"Ask; c.sh; *"_s } << u"q"_s
        << QStringList { u"enabled: Ask"_s, u"enabled: Web 2"_s, u"enabled: web 10"_s };
    QTest::newRow("pattern that does not compile is skipped")
        << QStringList { u"Broken; b.sh; (unclosed"_s, u"Good; g.sh; ."_s } << u"abc"_s
        << QStringList { u"pattern: Good"_s };
    QTest::newRow("fallback script is never ranked by its name")
        << QStringList { u"Search; s.sh; ^zzz"_s, u"Web Search; w.sh; *"_s } << u"search"_s
        << QStringList { u"enabled: Web Search"_s };
    QTest::newRow("pathological pattern counts as no match") << QStringList {
        u"Slow; s.sh; (a+)+$"_s, u"Also slow; t.sh; ^(\\w+\\s?)*$"_s, u"Fast; f.sh; aa"_s
    } << QString(60, u'a') + u'!' << QStringList { u"pattern: Fast"_s };
}

void TstSearch::blocks()
{
    QFETCH(QStringList, scripts);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    const Scripts made(scripts);
    const SearchCatalog catalog(made.searchable());
    QCOMPARE(described(catalog.results(text)), expected);
}

void TstSearch::display_data()
{
    QTest::addColumn<QStringList>("scripts");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("no subtitle when the name is the file name")
        << QStringList { u"deploy; git/deploy.sh"_s } << u"DEP"_s
        << QStringList { u"doc.fill | deploy 0+3 | - - | - | 0"_s };
    QTest::newRow("decomposed name is still the file name")
        << QStringList { u"cafe\u0301; café.sh"_s } << u"é"_s
        << QStringList { u"doc.fill | cafe\u0301 3+1 | - - | - | 0"_s };
    QTest::newRow("hit in the path only")
        << QStringList { u"Ship It; git/ship.sh"_s } << u"git"_s
        << QStringList { u"doc.fill | Ship It - | git/ship.sh 0+3 | - | 0"_s };
    QTest::newRow("hit in both lines")
        << QStringList { u"Git Push; tools/git-push.sh"_s } << u"push"_s
        << QStringList { u"doc.fill | Git Push 4+4 | tools/git-push.sh 10+4 | - | 0"_s };
    QTest::newRow("no highlight for empty text")
        << QStringList { u"!Backup; backup.sh"_s } << QString()
        << QStringList { u"pin.fill | Backup - | backup.sh - | - | 0"_s };
    QTest::newRow("fallback rows highlighted too")
        << QStringList { u"Open URL; web/open-url.sh; ."_s } << u"url"_s
        << QStringList { u"doc.fill | Open URL 5+3 | web/open-url.sh 9+3 | - | 0"_s };
}

void TstSearch::display()
{
    QFETCH(QStringList, scripts);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    const Scripts made(scripts);
    const SearchCatalog catalog(made.searchable());
    QStringList shown;
    for (const ResultDisplayItem &item : catalog.displayItems(catalog.results(text), text))
        shown.append(describe(item));
    QCOMPARE(shown, expected);
}

void TstSearch::title_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty text") << QString() << u"Search"_s;
    QTest::newRow("one result is named") << u"dep"_s << u"Deploy Prod"_s;
    QTest::newRow("several are counted") << u"de"_s << u"2 Scripts"_s;
    QTest::newRow("none are counted") << u"zzz"_s << u"0 Scripts"_s;
}

void TstSearch::title()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const Scripts made({ u"Deploy Prod; d.sh"_s, u"Index; i.sh"_s });
    const SearchCatalog catalog(made.searchable());
    QCOMPARE(searchTitle(text, catalog.results(text)), expected);
}

void TstSearch::catalogOfIndex()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(u"git/deploy.sh"_s));
    writeFile(dir.filePath(u"notes.sh"_s));
    const auto build = [&] {
        return std::shared_ptr<const ScriptIndex>(
            ScriptIndex::scanAndBuild(dir.path(), {}).index.release());
    };
    std::shared_ptr<const ScriptIndex> index = build();
    const std::shared_ptr<const SearchCatalog> catalog = SearchCatalog::of(index);
    QCOMPARE(SearchCatalog::of(index), catalog);

    // The catalog holds its index: it stays usable after the store has let go of it.
    index = build();
    QVERIFY(SearchCatalog::of(index) != catalog);
    index.reset();
    const std::vector<SearchResult> results = catalog->results(u"dep"_s);
    QCOMPARE(described(results), QStringList { u"match: Deploy"_s });
    QCOMPARE(results.front().item->file->relativePath, u"git/deploy.sh"_s);
}

QTEST_GUILESS_MAIN(TstSearch)
#include "tst_hud_search.moc"
