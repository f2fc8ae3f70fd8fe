#pragma once

#include "ResultRows.h"
#include "core/index/CommandResolver.h"

#include <QString>
#include <QStringView>
#include <vector>

namespace runel {

// The typed keys evaluated against the reachable scripts. Pointers go into the SequenceIndex
// the keys were resolved against.
struct Evaluation {
    CommandResolver::ResolveResult resolveResult;
    std::vector<QString> matchedLabels; // labels of the path components the keys reach
    bool isAtComponentBoundary = false; // the keys end where a component ends
    std::vector<ListItem> resultItems; // the rows of the results list

    bool operator==(const Evaluation &other) const;
};

// Resolves keys against items (the reachable items of the current sequence index) and builds
// labels, boundary and rows. No keys give the empty evaluation.
Evaluation evaluateKeys(
    const KeyGroup &keys, const std::vector<const SequenceItem *> &items, bool enhanceLabels);
// The same with the keys already resolved (the caller resolved them to see whether a typed key
// matches anything at all).
Evaluation evaluateKeys(
    const KeyGroup &keys, CommandResolver::ResolveResult resolved, bool enhanceLabels);

// The HUD title in sequence mode: "Runel" without keys; else the label the keys reach, or the
// number of matches followed by " Matches" while they still stand for several scripts.
QString sequenceTitle(const KeyGroup &keys, const Evaluation &evaluation);

} // namespace runel
