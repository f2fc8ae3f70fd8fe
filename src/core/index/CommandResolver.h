#pragma once

#include "Keys.h"
#include "SequenceIndex.h"

#include <QString>
#include <QStringView>
#include <optional>
#include <span>
#include <vector>

namespace runel {

// Answers, for typed keys, which reachable scripts they name completely and which they begin.
// Every result points into the SequenceIndex whose items were passed in.
namespace CommandResolver {

struct ResolveResult {
    std::vector<const SequenceItem *> fullMatches;
    std::vector<const SequenceItem *> prefixMatches;
};

ResolveResult resolve(const KeyGroup &keySequence, const std::vector<const SequenceItem *> &items);

// Keys played one after the other, as a user shortcut or `runel run` plays them.
struct Playback {
    KeyGroup keys; // the keys that were played and matched something
    ResolveResult resolved; // what keys name
    // The key that, after keys, named nothing. It ended the play: the caller runs nothing,
    // since what keys name is not what the whole sequence meant.
    std::optional<Key> unknownKey;
};

// Plays the characters of text: stops before the next character once the keys name one
// script and begin no other (the rest is not needed), and at a key that names nothing.
Playback play(QStringView text, const std::vector<const SequenceItem *> &items);

// The first full match, else the first prefix match, else null.
const SequenceItem *primaryMatch(const ResolveResult &result);

// The typed keys cut into groups that end where groupEnds say (as a SequenceItem's); the last
// may be partly typed.
std::vector<KeyGroup> groupKeys(const KeyGroup &keys, std::span<const quint16> groupEnds);

// One label per path component that the typed keys touch.
std::vector<QString> matchedLabels(
    const KeyGroup &keys, const SequenceItem *item, bool enhanceLabels);

// Whether the typed keys end where one of the item's path components ends.
bool isAtComponentBoundary(const KeyGroup &keys, const SequenceItem *item);

// The typed keys in groups for display: the item's grouping, or one key a group without one.
std::vector<KeyGroup> displayKeyGroups(const KeyGroup &keys, const SequenceItem *item);

} // namespace CommandResolver
} // namespace runel
