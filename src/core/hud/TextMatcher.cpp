#include "TextMatcher.h"

#include "core/text/Text.h"

namespace runel {

namespace {

// Lower-casing first, then composition: lower-casing can decompose ("İ" gives "i" and a
// combining dot), and the search compares composed forms.
QString foldText(QStringView text)
{
    return text::nfc(text::lowercased(text));
}

// Whether every code unit of text is a character of its own.
bool isOneUnitPerCharacter(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80 || c == u'\r')
            return false;
    }
    return true;
}

} // namespace

MatchQuery::MatchQuery(QStringView query)
    : m_folded(foldText(query))
    , m_characterCount(text::characterCount(m_folded))
{ }

MatchText::MatchText(QStringView text)
    : m_folded(foldText(text))
{
    if (!isOneUnitPerCharacter(m_folded))
        m_characterEnds = text::characterEnds(m_folded);
}

std::optional<qint64> FoldedText::characterOffset(qsizetype start, qsizetype length) const
{
    if (characterEnds.empty())
        return qint64(start);
    const auto isBoundary = [this](qsizetype position) {
        return position == 0
            || std::binary_search(characterEnds.begin(), characterEnds.end(), position);
    };
    if (!isBoundary(start) || !isBoundary(start + length))
        return std::nullopt;
    return qint64(std::upper_bound(characterEnds.begin(), characterEnds.end(), start)
        - characterEnds.begin());
}

std::optional<TextMatch> FoldedText::find(const MatchQuery &query) const
{
    if (query.isEmpty())
        return std::nullopt;
    const QString &needle = query.folded();
    // In a field of one unit per character only a query of the same kind can occur, and then
    // on character boundaries; elsewhere a hit inside a character is passed over for a later
    // one ("e" does not match the "e" of an "e" with a combining mark that has no composed
    // form).
    for (qsizetype start = folded.indexOf(needle); start >= 0;
         start = folded.indexOf(needle, start + 1)) {
        if (const std::optional<qint64> offset = characterOffset(start, needle.size()))
            return TextMatch { 0, *offset, query.characterCount() };
    }
    return std::nullopt;
}

namespace TextMatcher {

bool ranksBefore(const RankedItem &a, const RankedItem &b)
{
    if (a.priority != b.priority)
        return a.priority < b.priority;
    if (a.match && b.match) {
        if (a.match->fieldIndex != b.match->fieldIndex)
            return a.match->fieldIndex < b.match->fieldIndex;
        if (a.match->offset != b.match->offset)
            return a.match->offset < b.match->offset;
    }
    return a.sourceIndex < b.sourceIndex;
}

void sortRanked(std::vector<RankedItem> &kept)
{
    // Small lists, or keys too spread for buckets, take the comparison sort.
    constexpr qint64 maxBuckets = 1 << 16;
    if (kept.size() < 64) {
        std::sort(kept.begin(), kept.end(), &ranksBefore);
        return;
    }
    const bool matched = kept.front().match.has_value();
    qint64 lowestPriority = kept.front().priority;
    qint64 highestPriority = lowestPriority;
    qint64 highestOffset = 0;
    for (const RankedItem &item : kept) {
        const bool usable = item.match.has_value() == matched
            && (!matched
                || (item.match->offset >= 0
                    && (item.match->fieldIndex == 0 || item.match->fieldIndex == 1)));
        if (!usable) {
            std::sort(kept.begin(), kept.end(), &ranksBefore);
            return;
        }
        lowestPriority = std::min(lowestPriority, item.priority);
        highestPriority = std::max(highestPriority, item.priority);
        if (matched)
            highestOffset = std::max(highestOffset, item.match->offset);
    }
    const qint64 priorities = highestPriority - lowestPriority + 1;
    const qint64 perPriority = matched ? 2 * (highestOffset + 1) : 1;
    if (priorities > maxBuckets || perPriority > maxBuckets
        || priorities * perPriority > maxBuckets) {
        std::sort(kept.begin(), kept.end(), &ranksBefore);
        return;
    }
    const auto bucketOf = [&](const RankedItem &item) {
        qint64 bucket = (item.priority - lowestPriority) * perPriority;
        if (matched)
            bucket += item.match->fieldIndex * (highestOffset + 1) + item.match->offset;
        return size_t(bucket);
    };
    std::vector<size_t> starts(size_t(priorities * perPriority) + 1, 0);
    for (const RankedItem &item : kept)
        ++starts[bucketOf(item) + 1];
    for (size_t i = 1; i < starts.size(); ++i)
        starts[i] += starts[i - 1];
    std::vector<RankedItem> sorted(kept.size());
    for (RankedItem &item : kept)
        sorted[starts[bucketOf(item)]++] = std::move(item);
    kept = std::move(sorted);
}

std::vector<ListEntry> filter(QStringView query, const std::vector<ListEntry> &entries)
{
    const MatchQuery folded(query);
    if (folded.isEmpty())
        return entries;
    std::vector<std::pair<MatchText, std::optional<MatchText>>> fields;
    fields.reserve(entries.size());
    for (const ListEntry &entry : entries) {
        fields.emplace_back(MatchText(entry.title),
            entry.subtitle ? std::optional<MatchText>(MatchText(*entry.subtitle)) : std::nullopt);
    }
    const std::vector<RankedItem> ranked
        = rank(qsizetype(entries.size()), folded, [&fields](qsizetype i) {
              const auto &[title, subtitle] = fields[size_t(i)];
              return MatchFields { &title, subtitle ? &*subtitle : nullptr, 0 };
          });
    std::vector<ListEntry> result;
    result.reserve(ranked.size());
    for (const RankedItem &kept : ranked)
        result.push_back(entries[size_t(kept.sourceIndex)]);
    return result;
}

std::optional<TextMatch> firstMatch(QStringView text, const MatchQuery &query)
{
    if (query.isEmpty())
        return std::nullopt;
    return MatchText(text).find(query);
}

std::optional<TextMatch> firstMatch(QStringView text, QStringView query)
{
    return firstMatch(text, MatchQuery(query));
}

} // namespace TextMatcher
} // namespace runel
