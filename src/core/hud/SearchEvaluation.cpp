#include "SearchEvaluation.h"

#include "core/index/ScriptStore.h"
#include "core/text/Text.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <unicode/regex.h>

using namespace Qt::StringLiterals;

namespace runel {

bool Evaluation::operator==(const Evaluation &other) const
{
    return resolveResult.fullMatches == other.resolveResult.fullMatches
        && resolveResult.prefixMatches == other.resolveResult.prefixMatches
        && matchedLabels == other.matchedLabels
        && isAtComponentBoundary == other.isAtComponentBoundary && resultItems == other.resultItems;
}

Evaluation evaluateKeys(
    const KeyGroup &keys, const std::vector<const SequenceItem *> &items, bool enhanceLabels)
{
    if (keys.empty())
        return {};
    return evaluateKeys(keys, CommandResolver::resolve(keys, items), enhanceLabels);
}

Evaluation evaluateKeys(
    const KeyGroup &keys, CommandResolver::ResolveResult resolved, bool enhanceLabels)
{
    Evaluation evaluation;
    if (keys.empty())
        return evaluation;
    const SequenceItem *primary = CommandResolver::primaryMatch(resolved);
    evaluation.matchedLabels = CommandResolver::matchedLabels(keys, primary, enhanceLabels);
    evaluation.isAtComponentBoundary = CommandResolver::isAtComponentBoundary(keys, primary);
    evaluation.resultItems = resultItems(keys, resolved, enhanceLabels);
    evaluation.resolveResult = std::move(resolved);
    return evaluation;
}

QString sequenceTitle(const KeyGroup &keys, const Evaluation &evaluation)
{
    if (keys.empty())
        return u"Runel"_s;
    const QString label
        = evaluation.matchedLabels.empty() ? u"Runel"_s : evaluation.matchedLabels.back();
    const size_t full = evaluation.resolveResult.fullMatches.size();
    const size_t prefix = evaluation.resolveResult.prefixMatches.size();
    if (full == 1)
        return label;
    if (full >= 2)
        return u"%1 Matches"_s.arg(full);
    if (prefix < 2 || evaluation.isAtComponentBoundary)
        return label;
    return u"%1 Matches"_s.arg(prefix);
}

} // namespace runel
