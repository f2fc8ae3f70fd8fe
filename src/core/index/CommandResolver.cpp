#include "CommandResolver.h"

#include "Labels.h"
#include "core/text/Text.h"

#include <QStringList>

namespace runel::CommandResolver {

ResolveResult resolve(const KeyGroup &keySequence, const std::vector<const SequenceItem *> &items)
{
    ResolveResult result;
    if (keySequence.empty() || items.empty())
        return result;
    // Item keys are lower case already; the typed keys are lowered once, not once per item.
    KeyGroup typed;
    typed.reserve(keySequence.size());
    for (const Key &key : keySequence)
        typed.push_back(text::lowercased(key));
    for (const SequenceItem *item : items) {
        const KeyGroup &keys = item->flatKeys;
        if (keys.size() < typed.size()
            || !std::equal(typed.begin(), typed.end(), keys.begin(), sameKey))
            continue;
        (keys.size() == typed.size() ? result.fullMatches : result.prefixMatches).push_back(item);
    }
    return result;
}

Playback play(QStringView text, const std::vector<const SequenceItem *> &items)
{
    Playback playback;
    for (const QString &character : text::characters(text)) {
        if (!playback.keys.empty() && playback.resolved.prefixMatches.empty()
            && playback.resolved.fullMatches.size() < 2)
            break;
        KeyGroup keys = playback.keys;
        keys.push_back(keyOf(character));
        ResolveResult resolved = resolve(keys, items);
        if (resolved.fullMatches.empty() && resolved.prefixMatches.empty()) {
            playback.unknownKey = keys.back();
            break;
        }
        playback.keys = std::move(keys);
        playback.resolved = std::move(resolved);
    }
    return playback;
}

const SequenceItem *primaryMatch(const ResolveResult &result)
{
    if (!result.fullMatches.empty())
        return result.fullMatches.front();
    if (!result.prefixMatches.empty())
        return result.prefixMatches.front();
    return nullptr;
}

std::vector<KeyGroup> groupKeys(const KeyGroup &keys, std::span<const quint16> groupEnds)
{
    std::vector<KeyGroup> cut;
    size_t start = 0;
    for (const quint16 groupEnd : groupEnds) {
        if (start >= keys.size())
            break;
        const size_t end = std::min(size_t(groupEnd), keys.size());
        cut.emplace_back(keys.begin() + std::ptrdiff_t(start), keys.begin() + std::ptrdiff_t(end));
        start = groupEnd;
    }
    return cut;
}

std::vector<QString> matchedLabels(
    const KeyGroup &keys, const SequenceItem *item, bool enhanceLabels)
{
    std::vector<QString> labels;
    if (keys.empty() || !item)
        return labels;
    const std::vector<KeyGroup> cut = groupKeys(keys, item->groupEnds);
    const QStringList components = item->file->relativePath.split(u'/', Qt::SkipEmptyParts);
    for (size_t i = 0; i < cut.size(); ++i) {
        const bool complete = i + 1 == cut.size() && keys.size() == item->flatKeys.size();
        if (complete) {
            labels.push_back(item->displayName);
        } else if (qsizetype(i) < components.size()) {
            const bool isFile = qsizetype(i) + 1 == components.size();
            labels.push_back(componentLabel(
                isFile ? item->file->nameWithoutExtension() : components[qsizetype(i)],
                enhanceLabels));
        } else {
            labels.push_back(joinedKeys(cut[i]));
        }
    }
    return labels;
}

bool isAtComponentBoundary(const KeyGroup &keys, const SequenceItem *item)
{
    if (keys.empty())
        return true;
    return item
        && std::find(item->groupEnds.begin(), item->groupEnds.end(), keys.size())
        != item->groupEnds.end();
}

std::vector<KeyGroup> displayKeyGroups(const KeyGroup &keys, const SequenceItem *item)
{
    if (keys.empty())
        return {};
    if (!item) {
        std::vector<KeyGroup> single;
        for (const Key &key : keys)
            single.push_back({ key });
        return single;
    }
    return groupKeys(keys, item->groupEnds);
}

} // namespace runel::CommandResolver
