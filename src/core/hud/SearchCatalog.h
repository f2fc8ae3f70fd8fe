#pragma once

#include "ResultRows.h"
#include "TextMatcher.h"
#include "core/index/ScriptIndex.h"
#include "core/index/SearchIndex.h"
#include "core/log/RunHistory.h"

#include <QString>
#include <QStringView>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace runel {

class ScriptStore;

// The three blocks of search results, in the order they are listed.
enum class SearchBlock {
    patternFallback, // fallback scripts whose pattern matches the search text
    match, // scripts whose name or path contains the text, ranked
    enabledFallback, // fallback scripts offered when nothing else matches
};

struct SearchResult {
    const SearchItem *item = nullptr;
    SearchBlock block = SearchBlock::match;
    qsizetype sourceIndex = 0; // position among the searchable items the catalog was made of
    std::optional<TextMatch> match; // where the ranking found the text; absent for fallbacks
    bool operator==(const SearchResult &) const = default;
};

// The searchable scripts prepared for searching: fields lower-cased, patterns compiled and
// fallbacks sorted once, so that each key press only matches. Immutable and safe to share
// between threads. It points into the SearchIndex its items come from: keep that alive (the
// catalog of a ScriptIndex, from of(), does so itself).
class SearchCatalog {
public:
    explicit SearchCatalog(const std::vector<const SearchItem *> &searchableItems);
    ~SearchCatalog();
    SearchCatalog(const SearchCatalog &) = delete;
    SearchCatalog &operator=(const SearchCatalog &) = delete;

    // The catalog of the index's searchable items, holding the index. The last one made is
    // kept (and with it its index), the one before only while something else holds it, so
    // that asking again for the same index on every key press costs nothing and a superseded
    // index is not kept alive by the cache. Thread-safe.
    static std::shared_ptr<const SearchCatalog> of(std::shared_ptr<const ScriptIndex> index);
    // Has store build the catalog of every new index on the worker thread that builds the
    // index, so that the first search key finds it ready.
    static void buildWithIndexes(ScriptStore &store);

    // The search results for text: pattern fallbacks whose expression matches somewhere in
    // text, sorted by display name; the ranking of the non-fallback scripts; and, only when
    // that ranking is empty and text is not, the enabled fallbacks sorted by display name.
    // A pattern that does not compile is skipped; one that runs past the match time limit
    // counts as not matching. With useScores (from useScores()), ranked scripts that match
    // equally well (priority, field, offset) come by falling score before index order;
    // without, the order is the text's alone.
    std::vector<SearchResult> results(
        QStringView text, std::span<const double> useScores = {}) const;

    // Each searchable item's RunHistory::useScore at now, in the catalog's order, for
    // results; empty when no item has been run (the order is then the text's alone). Made
    // once per history and catalog, not per key.
    std::vector<double> useScores(const RunHistory &history, const QDateTime &now) const;

    // What the result rows show for text: icon, display name, and the relative path unless it
    // only repeats the display name, each highlighted where the text first occurs.
    std::vector<ResultDisplayItem> displayItems(
        const std::vector<SearchResult> &results, QStringView text) const;
    // One of those rows, for a view that builds only the rows it shows (a common first letter
    // finds nearly every script). query is MatchQuery(text), made once per text.
    ResultDisplayItem displayItem(const SearchResult &result, const MatchQuery &query) const;

    // How long one pattern may try to match before it counts as no match, in ICU's match-time
    // units (ten thousand steps of the matcher each, a fraction of a millisecond): far more
    // than any sensible pattern needs for a line of search text.
    static constexpr int patternTimeLimit = 25;

private:
    struct Row;
    struct Field {
        // 32 bits: the catalog's text is the names and paths of one folder's scripts, far
        // below 2^31 characters, and every row holds four fields.
        qint32 start = 0; // in m_text
        qint32 size = 0;
        quint32 endsStart = 0; // in m_characterEnds
        quint32 endsSize = 0;
    };
    // What the ranking reads of a row whose fallback is disabled, kept apart from the rows so
    // that the scan over them stays in cache.
    struct RankedRow {
        Field name;
        Field path;
        const SearchItem *item = nullptr;
        qsizetype row = 0; // in m_rows
        qint64 priority = 1;
    };
    // One ranked row kept by a query, small so that ten thousand of them stay in cache.
    struct Hit {
        const SearchItem *item = nullptr;
        qint32 row = 0; // in m_rows
        qint32 offset = -1; // of the match in characters; -1 for an empty query
        qint16 fieldIndex = 0;
        qint16 priority = 0;
    };
    FoldedText folded(const Field &field) const;
    std::vector<Hit> rank(const MatchQuery &query, std::span<const double> useScores) const;
    void sortHits(std::vector<Hit> &hits) const;
    static void sortTiesByUse(std::vector<Hit> &hits, std::span<const double> useScores);

    std::vector<Row> m_rows; // one per searchable item, in order
    std::vector<qsizetype> m_patternRows; // compiled patterns, by display name
    std::vector<qsizetype> m_enabledRows; // enabled fallbacks, by display name
    std::vector<RankedRow> m_rankedRows; // fallback disabled, in index order
    // Every field folded, one after the other: the names and paths of the ranked rows first,
    // in order, so that one search through them finds every hit; a row's fields are followed
    // by a separator. Then the fallbacks' fields.
    QString m_text;
    std::vector<qsizetype> m_rankedEnds; // where each ranked row's fields end in m_text
    qsizetype m_longestField = 0; // in characters: the highest offset a match can have
    std::vector<qsizetype> m_characterEnds; // of the fields that need them, field by field
    std::shared_ptr<const ScriptIndex> m_index; // held when made by of()
};

// The HUD title in search mode: "Search" for empty text, the display name of a single result,
// else the number of results followed by " Scripts".
QString searchTitle(QStringView text, const std::vector<SearchResult> &results);

} // namespace runel
