#pragma once

#include "core/execution/ListEntry.h"
#include "core/index/SearchIndex.h"

#include <QString>
#include <QStringView>
#include <algorithm>
#include <optional>
#include <span>
#include <vector>

namespace runel {

// Where a query was found in one item: which of its two text fields (0 or 1), and the span in
// characters (extended grapheme clusters) of the lower-cased field.
struct TextMatch {
    qint64 fieldIndex = 0;
    qint64 offset = 0; // characters before the match
    qint64 count = 0; // characters of the lower-cased query
    bool operator==(const TextMatch &) const = default;
};

// A query as the matcher compares it: lower-cased with the locale-independent Unicode default
// mapping and canonically composed, so that canonically equivalent texts compare equal while
// an accented letter still differs from its plain letter.
class MatchQuery {
public:
    MatchQuery() = default;
    explicit MatchQuery(QStringView query);

    bool isEmpty() const { return m_folded.isEmpty(); }
    const QString &folded() const { return m_folded; }
    qint64 characterCount() const { return m_characterCount; }

private:
    QString m_folded;
    qint64 m_characterCount = 0;
};

// A text field folded like a query, by reference: what a table of prepared fields hands out.
struct FoldedText {
    QStringView folded;
    // Where each character ends, in code units of folded; empty when every code unit is a
    // character (ASCII without a carriage return), the common case, which needs no table.
    std::span<const qsizetype> characterEnds;

    // The first occurrence of query that starts and ends on character boundaries, with offset
    // and count in characters; nothing for an empty query or no occurrence. fieldIndex is 0.
    std::optional<TextMatch> find(const MatchQuery &query) const;
    // Characters before code unit start, when [start, start + length) begins and ends on
    // character boundaries: a hit that cuts a character in two is no hit.
    std::optional<qint64> characterOffset(qsizetype start, qsizetype length) const;
};

// One text field prepared for matching: folded once, so that whoever keeps it pays the
// lower-casing once rather than on every key press.
class MatchText {
public:
    MatchText() = default;
    explicit MatchText(QStringView text);

    FoldedText view() const { return { m_folded, m_characterEnds }; }
    std::optional<TextMatch> find(const MatchQuery &query) const { return view().find(query); }
    const QString &folded() const { return m_folded; }
    const std::vector<qsizetype> &characterEnds() const { return m_characterEnds; }

private:
    QString m_folded;
    std::vector<qsizetype> m_characterEnds;
};

// The free-text ranking shared by script search and the filter of a script-produced list. Pure
// functions: no state, nothing kept between calls.
namespace TextMatcher {

// What the ranking reads of one item: its two optional fields and its priority (lower first).
struct MatchFields {
    const MatchText *field0 = nullptr; // null when the item has no such field
    const MatchText *field1 = nullptr;
    qint64 priority = 0;
};

// One kept item, by its position in the input. match is absent for an empty query.
struct RankedItem {
    std::optional<TextMatch> match;
    qint64 priority = 0;
    qint64 sourceIndex = 0;
};

// Whether a sorts before b: priority, then (both matched) field and offset, then input order.
bool ranksBefore(const RankedItem &a, const RankedItem &b);

// Sorts kept items by ranksBefore. They must come in input order (rising sourceIndex), which
// lets a stable bucket sort on priority, field and offset do the work in linear time.
void sortRanked(std::vector<RankedItem> &kept);

// The kept items in ranked order. fieldsAt(i) gives the MatchFields of input item i, for i in
// [0, count); an empty query keeps every item, otherwise an item is kept when either field
// contains the query, its match being the one in the lower-numbered field.
template<typename FieldsAt>
std::vector<RankedItem> rank(qsizetype count, const MatchQuery &query, FieldsAt &&fieldsAt)
{
    std::vector<RankedItem> kept;
    kept.reserve(size_t(query.isEmpty() ? count : std::min<qsizetype>(count, 64)));
    for (qsizetype i = 0; i < count; ++i) {
        const MatchFields fields = fieldsAt(i);
        if (query.isEmpty()) {
            kept.push_back({ std::nullopt, fields.priority, i });
            continue;
        }
        std::optional<TextMatch> match = fields.field0 ? fields.field0->find(query) : std::nullopt;
        if (!match && fields.field1) {
            match = fields.field1->find(query);
            if (match)
                match->fieldIndex = 1;
        }
        if (match)
            kept.push_back({ match, fields.priority, i });
    }
    sortRanked(kept);
    return kept;
}

// The filter of a script-produced list: entries ranked on title and subtitle, all of the same
// priority, so an empty query returns the list unchanged.
std::vector<ListEntry> filter(QStringView query, const std::vector<ListEntry> &entries);

// The highlight of a shown text: the first occurrence of the lower-cased query in the
// lower-cased text, as in the ranking; nothing for an empty query or no occurrence.
std::optional<TextMatch> firstMatch(QStringView text, QStringView query);
std::optional<TextMatch> firstMatch(QStringView text, const MatchQuery &query);

} // namespace TextMatcher
} // namespace runel
