#include "ResultRows.h"

#include "TextMatcher.h"
#include "core/index/Labels.h"
#include "core/text/Text.h"

#include <QStringList>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace runel {

namespace {

// The component the typed keys stand in, read from the reference item: the first group that
// ends past the typed count (the group count when none does), and how many keys of that group
// are typed.
struct ComponentPosition {
    size_t component = 0;
    size_t typedInComponent = 0;
};

ComponentPosition componentPosition(const SequenceItem *reference, size_t typed)
{
    if (!reference)
        return {};
    const auto &ends = reference->groupEnds;
    const auto next = std::upper_bound(ends.begin(), ends.end(), typed);
    const size_t consumed = next == ends.begin() ? 0 : *(next - 1);
    return { size_t(next - ends.begin()), typed - consumed };
}

QString fileName(const FileItem &file)
{
    return file.path.sliced(file.path.lastIndexOf(u'/') + 1);
}

} // namespace

QString scriptIcon(const ShellFileMetadata &metadata, ScriptType scriptType)
{
    if (metadata.pinned)
        return u"pin.fill"_s;
    if (metadata.icon && !metadata.icon->isEmpty())
        return *metadata.icon;
    return scriptType == ScriptType::appleScript ? u"applescript"_s : u"doc.fill"_s;
}

std::vector<ListItem> resultItems(
    const KeyGroup &keys, const CommandResolver::ResolveResult &resolved, bool enhanceLabels)
{
    if (keys.empty())
        return {};
    const SequenceItem *reference = !resolved.prefixMatches.empty()
        ? resolved.prefixMatches.front()
        : (resolved.fullMatches.empty() ? nullptr : resolved.fullMatches.front());
    const auto [c, t] = componentPosition(reference, keys.size());

    std::vector<const SequenceItem *> scripts = resolved.fullMatches;
    std::vector<ListItem> folders;
    std::vector<std::span<const Key>> folderGroups; // the key group of each folder row, in order
    for (const SequenceItem *item : resolved.prefixMatches) {
        // c comes from the reference item: a script whose own file label is at c, or which
        // has fewer groups than that (a file "ab" beside a folder "a" being typed through), is
        // a script here, not a folder.
        if (item->groupCount() <= c + 1) {
            scripts.push_back(item);
            continue;
        }
        const std::span<const Key> group = item->keyGroup(c);
        // The scan keeps a folder's scripts together, so the newest folder row is the likely
        // one: looked at first, and without joining keys into a string per script.
        if (std::any_of(
                folderGroups.rbegin(), folderGroups.rend(), [&](std::span<const Key> folder) {
                    return std::ranges::equal(folder, group, sameKey);
                }))
            continue;
        folderGroups.push_back(group);
        const QStringList parts = item->file->relativePath.split(u'/', Qt::SkipEmptyParts);
        if (qsizetype(c) >= parts.size())
            continue;
        const QString &rawName = parts[qsizetype(c)];
        const size_t typedHere = std::min(t, group.size());
        folders.push_back(ListItem::folder({ componentLabel(rawName, enhanceLabels), rawName,
            KeyGroup(group.begin() + std::ptrdiff_t(typedHere), group.end()), qint64(typedHere) }));
    }

    std::vector<ListItem> rows;
    rows.reserve(scripts.size() + folders.size());
    for (const SequenceItem *item : scripts) {
        if (item->file->metadata.pinned)
            rows.push_back(ListItem::file(item));
    }
    std::move(folders.begin(), folders.end(), std::back_inserter(rows));
    for (const SequenceItem *item : scripts) {
        if (!item->file->metadata.pinned)
            rows.push_back(ListItem::file(item));
    }
    return rows;
}

ResultDisplayItem displayItem(const ListItem &row, qsizetype typedKeyCount)
{
    ResultDisplayItem display;
    if (row.isFolder()) {
        const FolderRow &folder = row.folderRow();
        display.icon = u"folder.fill"_s;
        display.title = folder.displayName;
        display.subtitle = folder.rawName;
        display.subtitleStemCount = text::characterCount(folder.rawName);
        if (!folder.keys.empty())
            display.keyHint = joinedKeys(folder.keys);
        display.subtitleHighlightCount = folder.matchedKeyCount;
        return display;
    }

    const SequenceItem &item = *row.sequenceItem();
    const FileItem &file = *item.file;
    const QString stem = file.nameWithoutExtension();
    display.icon = scriptIcon(file.metadata, file.scriptType);
    display.title = item.displayName;
    display.subtitle = fileName(file);
    display.subtitleStemCount = text::characterCount(stem);

    const auto [component, typedInComponent]
        = componentPosition(&item, size_t(std::max<qsizetype>(typedKeyCount, 0)));
    if (component < item.groupCount())
        display.keyHint = joinedKeys(item.keyGroup(component).subspan(typedInComponent));

    // The keys typed into the file's own label, highlighted where that label is shown.
    const qint64 lastGroup
        = item.groupCount() == 0 ? 0 : qint64(item.keyGroup(item.groupCount() - 1).size());
    const qint64 typedInLast = std::clamp(
        qint64(typedKeyCount) - (qint64(item.flatKeys.size()) - lastGroup), qint64(0), lastGroup);
    if (text::canonicallyEqual(item.displayName, stem))
        display.titleHighlightCount = typedInLast;
    else
        display.subtitleHighlightCount = typedInLast;
    return display;
}

std::vector<ResultDisplayItem> displayItems(
    const std::vector<ListItem> &rows, qsizetype typedKeyCount)
{
    std::vector<ResultDisplayItem> items;
    items.reserve(rows.size());
    for (const ListItem &row : rows)
        items.push_back(displayItem(row, typedKeyCount));
    return items;
}

std::vector<ResultDisplayItem> displayItems(
    const std::vector<ListEntry> &filteredEntries, QStringView filterText)
{
    const MatchQuery query(filterText);
    std::vector<ResultDisplayItem> items;
    items.reserve(filteredEntries.size());
    for (const ListEntry &entry : filteredEntries) {
        ResultDisplayItem display;
        display.icon = entry.icon ? *entry.icon : u"doc.text"_s;
        display.title = entry.title;
        display.subtitle = entry.subtitle;
        if (const std::optional<TextMatch> match = TextMatcher::firstMatch(entry.title, query)) {
            display.titleHighlightOffset = match->offset;
            display.titleHighlightCount = match->count;
        }
        if (entry.subtitle) {
            if (const std::optional<TextMatch> match
                = TextMatcher::firstMatch(*entry.subtitle, query)) {
                display.subtitleHighlightOffset = match->offset;
                display.subtitleHighlightCount = match->count;
            }
        }
        items.push_back(std::move(display));
    }
    return items;
}

} // namespace runel
