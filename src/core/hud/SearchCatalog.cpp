#include "SearchCatalog.h"

#include "core/index/ScriptStore.h"
#include "core/text/Regex.h"
#include "core/text/Text.h"

#include <algorithm>
#include <mutex>
#include <unicode/regex.h>

using namespace Qt::StringLiterals;

namespace runel {

// What the row shows is read from the index the catalog holds (shared strings, no copies): a
// view builds only the rows it shows, so the few lookups per row cost less than a second copy
// of every name and path.
struct SearchCatalog::Row {
    const SearchItem *item = nullptr;
    Field name;
    Field path;
    std::unique_ptr<icu::RegexPattern> pattern; // a pattern fallback's compiled expression
    qint8 priority = 1;
    bool showsPath = false; // the name is not just the file name: the path is the subtitle
};

namespace {

// Whether the pattern matches somewhere in text within the time limit. Running out of time
// (or of backtracking stack) counts as no match, so that one pathological expression cannot
// hold up the HUD.
bool matchesSomewhere(const icu::RegexPattern &pattern, const icu::UnicodeString &text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    if (U_FAILURE(status) || !matcher)
        return false;
    matcher->setTimeLimit(SearchCatalog::patternTimeLimit, status);
    if (U_FAILURE(status))
        return false;
    const bool found = matcher->find(status);
    return found && U_SUCCESS(status);
}

void setHighlight(const std::optional<TextMatch> &match, qint64 &offset, qint64 &count)
{
    if (match) {
        offset = match->offset;
        count = match->count;
    }
}

// Stands between fields in the catalog's text. Hits are checked against field bounds anyway;
// the separator only spares the search hits that run from one field into the next.
constexpr char16_t fieldSeparator = u'\0';

} // namespace

SearchCatalog::SearchCatalog(const std::vector<const SearchItem *> &searchableItems)
{
    m_rows.reserve(searchableItems.size());
    for (const SearchItem *item : searchableItems) {
        const FileItem &file = *item->file;
        Row row;
        row.item = item;
        row.priority = file.metadata.pinned ? 0 : 1;
        row.showsPath = !text::canonicallyEqual(item->displayName, file.nameWithoutExtension());
        const qsizetype index = qsizetype(m_rows.size());
        switch (file.metadata.fallback.kind) {
        case FallbackMode::Kind::disabled:
            m_rankedRows.push_back({ {}, {}, item, index, row.priority });
            break;
        case FallbackMode::Kind::enabled:
            m_enabledRows.push_back(index);
            break;
        case FallbackMode::Kind::pattern:
            // An expression that is not valid offers nothing; `runel check` says why.
            if (auto compiled = text::compileRegex(file.metadata.fallback.pattern)) {
                row.pattern = std::move(compiled).value();
                m_patternRows.push_back(index);
            }
            break;
        }
        m_rows.push_back(std::move(row));
    }

    const auto addField = [this](QStringView text) {
        const MatchText prepared(text);
        Field field { qint32(m_text.size()), qint32(prepared.folded().size()),
            quint32(m_characterEnds.size()), quint32(prepared.characterEnds().size()) };
        m_longestField = std::max(m_longestField, qsizetype(field.size));
        m_text += prepared.folded();
        m_text += fieldSeparator;
        m_characterEnds.insert(m_characterEnds.end(), prepared.characterEnds().begin(),
            prepared.characterEnds().end());
        return field;
    };
    const auto addFields = [&](Row &row) {
        row.name = addField(row.item->displayName);
        row.path = addField(row.item->file->relativePath);
    };
    m_rankedEnds.reserve(m_rankedRows.size());
    for (RankedRow &ranked : m_rankedRows) {
        Row &row = m_rows[size_t(ranked.row)];
        addFields(row);
        ranked.name = row.name;
        ranked.path = row.path;
        m_rankedEnds.push_back(m_text.size());
    }
    for (Row &row : m_rows) {
        if (row.item->file->metadata.fallback.kind != FallbackMode::Kind::disabled)
            addFields(row);
    }
    // Kept as long as the index: without the room that growing them left.
    m_text.squeeze();
    m_characterEnds.shrink_to_fit();
    m_rankedRows.shrink_to_fit();

    const auto byDisplayName = [this](qsizetype a, qsizetype b) {
        return text::compareLocalizedStandard(
                   m_rows[size_t(a)].item->displayName, m_rows[size_t(b)].item->displayName)
            < 0;
    };
    std::stable_sort(m_patternRows.begin(), m_patternRows.end(), byDisplayName);
    std::stable_sort(m_enabledRows.begin(), m_enabledRows.end(), byDisplayName);
}

SearchCatalog::~SearchCatalog() = default;

std::shared_ptr<const SearchCatalog> SearchCatalog::of(std::shared_ptr<const ScriptIndex> index)
{
    // The newest is held, so that a catalog built on a worker thread for an index about to be
    // published waits for it. The one before is only remembered: while a HUD still searches
    // the index it was made of, the HUD holds it; once nothing does, it goes with its index
    // (at 5,000 scripts the two hold about ten megabytes).
    static std::mutex mutex;
    static std::shared_ptr<const SearchCatalog> newest;
    static std::weak_ptr<const SearchCatalog> previous;
    if (!index)
        return nullptr;
    {
        const std::lock_guard lock(mutex);
        if (newest && newest->m_index == index)
            return newest;
        if (auto held = previous.lock(); held && held->m_index == index)
            return held;
    }
    // Built outside the lock: a large index takes a while, and another thread's request for
    // a different index need not wait for it.
    auto made = std::make_shared<SearchCatalog>(index->search.searchableItems);
    made->m_index = std::move(index);
    std::shared_ptr<const SearchCatalog> superseded;
    const std::lock_guard lock(mutex);
    previous = newest;
    superseded = std::exchange(newest, made);
    return made;
}

void SearchCatalog::buildWithIndexes(ScriptStore &store)
{
    store.setPreparation(
        [](const std::shared_ptr<const ScriptIndex> &index) { SearchCatalog::of(index); });
}

FoldedText SearchCatalog::folded(const Field &field) const
{
    return { QStringView(m_text).sliced(field.start, field.size),
        std::span<const qsizetype>(m_characterEnds).subspan(field.endsStart, field.endsSize) };
}

// The ranking of the matcher, done as one search through the ranked rows' text rather than
// two per row: hits come in order, so the first one inside a row's name is the first
// occurrence there, and a row without one is matched by its first hit inside its path.
std::vector<SearchCatalog::Hit> SearchCatalog::rank(
    const MatchQuery &query, std::span<const double> useScores) const
{
    std::vector<Hit> hits;
    if (query.isEmpty()) {
        hits.reserve(m_rankedRows.size());
        for (const RankedRow &row : m_rankedRows)
            hits.push_back({ row.item, qint32(row.row), -1, 0, qint16(row.priority) });
        sortHits(hits);
        sortTiesByUse(hits, useScores);
        return hits;
    }
    const QString &needle = query.folded();
    const QStringView text
        = QStringView(m_text).first(m_rankedEnds.empty() ? 0 : m_rankedEnds.back());
    auto rowEnd = m_rankedEnds.begin();
    for (qsizetype hit = text.indexOf(needle); hit >= 0;) {
        // Hits rise, so the row is found by walking on: one pass over the rows in all.
        while (*rowEnd <= hit)
            ++rowEnd;
        const qsizetype k = rowEnd - m_rankedEnds.begin();
        const RankedRow &row = m_rankedRows[size_t(k)];
        std::optional<Hit> kept;
        for (const auto &[fieldIndex, field] : { std::pair { 0, &row.name }, { 1, &row.path } }) {
            if (hit < field->start || hit + needle.size() > field->start + field->size)
                continue;
            if (const std::optional<qint64> offset
                = folded(*field).characterOffset(hit - field->start, needle.size()))
                kept = Hit { row.item, qint32(row.row), qint32(*offset), qint16(fieldIndex),
                    qint16(row.priority) };
            break;
        }
        if (!kept) {
            hit = text.indexOf(needle, hit + 1);
            continue;
        }
        hits.push_back(*kept);
        hit = text.indexOf(needle, *rowEnd);
    }
    sortHits(hits);
    sortTiesByUse(hits, useScores);
    return hits;
}

// Within each run of hits that the text ranks equal (sorted, so they are side by side and in
// index order), the higher use score first; equal scores keep index order. Most scripts have
// never run (score 0): they keep their places after the ones that have, so only those are
// sorted, which keeps a key press that nearly every script matches cheap.
void SearchCatalog::sortTiesByUse(std::vector<Hit> &hits, std::span<const double> useScores)
{
    if (useScores.empty())
        return;
    const auto sameRank = [](const Hit &a, const Hit &b) {
        return a.priority == b.priority && a.fieldIndex == b.fieldIndex && a.offset == b.offset;
    };
    const auto scoreOf = [useScores](const Hit &hit) { return useScores[size_t(hit.row)]; };
    std::vector<Hit> unused; // the run's hits of score 0, in order
    for (auto first = hits.begin(); first != hits.end();) {
        auto last = std::next(first);
        size_t used = scoreOf(*first) > 0.0 ? 1 : 0;
        for (; last != hits.end() && sameRank(*first, *last); ++last)
            used += scoreOf(*last) > 0.0 ? 1 : 0;
        if (used > 0 && last - first > 1) {
            unused.clear();
            auto out = first;
            for (auto hit = first; hit != last; ++hit) {
                if (scoreOf(*hit) > 0.0)
                    *out++ = *hit;
                else
                    unused.push_back(*hit);
            }
            std::copy(unused.begin(), unused.end(), out);
            std::stable_sort(first, out,
                [&scoreOf](const Hit &a, const Hit &b) { return scoreOf(a) > scoreOf(b); });
        }
        first = last;
    }
}

std::vector<double> SearchCatalog::useScores(const RunHistory &history, const QDateTime &now) const
{
    if (history.isEmpty())
        return {};
    std::vector<double> scores(m_rows.size(), 0.0);
    bool any = false;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        scores[i] = history.useScore(m_rows[i].item->file->standardizedPath(), now);
        any = any || scores[i] > 0.0;
    }
    return any ? scores : std::vector<double> {};
}

// The matcher's order (priority, field, offset, then index order) as a stable bucket sort:
// the hits come in index order and the keys are small.
void SearchCatalog::sortHits(std::vector<Hit> &hits) const
{
    const size_t offsets = size_t(m_longestField) + 2; // -1 (no match) to the longest field
    const auto bucketOf = [offsets](const Hit &hit) {
        return (size_t(hit.priority) * 2 + size_t(hit.fieldIndex)) * offsets
            + size_t(hit.offset + 1);
    };
    if (offsets > 1 << 16) {
        // A name tens of thousands of characters long: buckets would cost more than sorting.
        std::stable_sort(hits.begin(), hits.end(),
            [&](const Hit &a, const Hit &b) { return bucketOf(a) < bucketOf(b); });
        return;
    }
    std::vector<qint32> starts(4 * offsets + 1, 0);
    for (const Hit &hit : hits)
        ++starts[bucketOf(hit) + 1];
    for (size_t i = 1; i < starts.size(); ++i)
        starts[i] += starts[i - 1];
    std::vector<Hit> sorted(hits.size());
    for (const Hit &hit : hits)
        sorted[size_t(starts[bucketOf(hit)]++)] = hit;
    hits = std::move(sorted);
}

std::vector<SearchResult> SearchCatalog::results(
    QStringView text, std::span<const double> useScores) const
{
    std::vector<SearchResult> results;
    if (!m_patternRows.empty()) {
        const icu::UnicodeString subject(
            false, reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
        for (const qsizetype index : m_patternRows) {
            const Row &row = m_rows[size_t(index)];
            if (matchesSomewhere(*row.pattern, subject))
                results.push_back({ row.item, SearchBlock::patternFallback, index, std::nullopt });
        }
    }

    const MatchQuery query(text);
    // Scores made for another catalog would point past its rows: the text's order then.
    if (useScores.size() != m_rows.size())
        useScores = {};
    const std::vector<Hit> ranked = rank(query, useScores);
    results.reserve(results.size() + ranked.size());
    for (const Hit &hit : ranked) {
        std::optional<TextMatch> match;
        if (hit.offset >= 0)
            match = TextMatch { hit.fieldIndex, hit.offset, query.characterCount() };
        results.push_back({ hit.item, SearchBlock::match, hit.row, match });
    }

    if (ranked.empty() && !text.isEmpty()) {
        for (const qsizetype index : m_enabledRows) {
            results.push_back(
                { m_rows[size_t(index)].item, SearchBlock::enabledFallback, index, std::nullopt });
        }
    }
    return results;
}

ResultDisplayItem SearchCatalog::displayItem(
    const SearchResult &result, const MatchQuery &query) const
{
    const Row &row = m_rows[size_t(result.sourceIndex)];
    const FileItem &file = *row.item->file;
    ResultDisplayItem display;
    display.icon = scriptIcon(file.metadata, file.scriptType);
    display.title = row.item->displayName;
    // The ranking looked at the name first, so a hit in the path means none in the name.
    const std::optional<TextMatch> inName = result.match
        ? (result.match->fieldIndex == 0 ? result.match : std::nullopt)
        : folded(row.name).find(query);
    setHighlight(inName, display.titleHighlightOffset, display.titleHighlightCount);
    if (row.showsPath) {
        display.subtitle = file.relativePath;
        const std::optional<TextMatch> inPath = result.match && result.match->fieldIndex == 1
            ? result.match
            : folded(row.path).find(query);
        setHighlight(inPath, display.subtitleHighlightOffset, display.subtitleHighlightCount);
    }
    return display;
}

std::vector<ResultDisplayItem> SearchCatalog::displayItems(
    const std::vector<SearchResult> &results, QStringView text) const
{
    const MatchQuery query(text);
    std::vector<ResultDisplayItem> items;
    items.reserve(results.size());
    for (const SearchResult &result : results)
        items.push_back(displayItem(result, query));
    return items;
}

QString searchTitle(QStringView text, const std::vector<SearchResult> &results)
{
    if (text.isEmpty())
        return u"Search"_s;
    if (results.size() == 1)
        return results.front().item->displayName;
    return u"%1 Scripts"_s.arg(results.size());
}

} // namespace runel
