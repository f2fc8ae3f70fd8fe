// Key resolution over a random scripts tree, built from file items in memory as the scan would
// list them. Every reachable script is named completely by its own keys and by no other, its key
// groups are prefixes of its path's names, and whatever is typed, a full match is exactly the
// typed keys.
#include "FuzzSupport.h"

#include "core/index/CommandResolver.h"
#include "core/index/ScriptIndex.h"
#include "core/text/Text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QSet>
#include <QStringList>

using namespace runel;

namespace {

// Characters that make names collide, differ only in case or composition, lower-case to more
// than one code unit, or cannot be typed at all.
const QString alphabet[] = {
    QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("A"),
    QStringLiteral("B"), QStringLiteral("1"), QStringLiteral("-"), QStringLiteral(" "),
    QStringLiteral("."),
    QString(QChar(0x00E9)), // é, composed
    QStringLiteral("e") + QChar(0x0301), // é, decomposed
    QString(QChar(0x0130)), // İ: lower-cases to two code points
    QString(QChar(0x03A3)), // Σ
    QString(QChar(0x00DF)), // ß
    QString(QChar(0x00A7)), // §: typable, not ASCII
    QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7"), // a flag: one character, four units
};
constexpr size_t alphabetSize = std::size(alphabet);

QString characterFrom(FuzzedDataProvider &input)
{
    return alphabet[input.ConsumeIntegralInRange<size_t>(0, alphabetSize - 1)];
}

// A name the scan would list: not empty and not hidden.
QString nameFrom(FuzzedDataProvider &input)
{
    QString name;
    const int length = input.ConsumeIntegralInRange(1, 5);
    for (int i = 0; i < length; ++i)
        name += characterFrom(input);
    if (name.startsWith(u'.'))
        name.prepend(u'a');
    return name;
}

const QString extensions[]
    = { QStringLiteral(".sh"), QStringLiteral(".SH"), QStringLiteral(".applescript") };

FileIndex filesFrom(FuzzedDataProvider &input)
{
    const QString root = QStringLiteral("/fuzz/scripts");
    FileIndex files;
    QSet<QString> seen;
    const int count = input.ConsumeIntegralInRange(0, 24);
    for (int i = 0; i < count && input.remaining_bytes() > 0; ++i) {
        QStringList components;
        const int depth = input.ConsumeIntegralInRange(0, 3);
        for (int level = 0; level < depth; ++level)
            components.append(nameFrom(input));
        const QString &extension = extensions[input.ConsumeIntegralInRange<size_t>(0, 2)];
        components.append(nameFrom(input) + extension);
        FileItem item;
        item.relativePath = components.join(u'/');
        if (seen.contains(item.relativePath))
            continue;
        seen.insert(item.relativePath);
        item.path = root + u'/' + item.relativePath;
        item.scriptType
            = extension == u".applescript" ? ScriptType::appleScript : ScriptType::shell;
        const uint8_t flags = input.ConsumeIntegral<uint8_t>();
        if (flags & 1)
            item.metadata.label = nameFrom(input);
        if (flags & 2)
            item.metadata.apply(u"ignore", (flags & 4) ? std::optional(u"sequence") : std::nullopt);
        if (flags & 8)
            item.metadata.apply(u"ignore", u"search");
        if (flags & 16) {
            item.status = IndexStatus::invalid(IndexInvalidReason::readFailure);
            item.readError = QStringLiteral("unreadable");
        }
        files.entries.push_back(std::move(item));
    }
    return files;
}

KeyGroup concatenated(const std::vector<KeyGroup> &groups)
{
    KeyGroup flat;
    for (const KeyGroup &group : groups)
        flat.insert(flat.end(), group.begin(), group.end());
    return flat;
}

KeyGroup lowered(const KeyGroup &keys)
{
    KeyGroup lower;
    for (const Key &key : keys)
        lower.push_back(text::lowercased(key));
    return lower;
}

void checkReachable(const SequenceItem &item, const SequenceIndex &sequence, bool enhanceLabels)
{
    FUZZ_CHECK(item.status.isValid());
    const QStringList components = item.file->relativePath.split(u'/');
    FUZZ_CHECK(item.groupCount() == size_t(components.size()));
    FUZZ_CHECK(item.groupEnds.back() == item.flatKeys.size());
    for (size_t i = 0; i < item.groupCount(); ++i) {
        const std::span<const Key> group = item.keyGroup(i);
        const bool isFile = i + 1 == item.groupCount();
        const KeyGroup name
            = keysOf(isFile ? item.file->nameWithoutExtension() : components[qsizetype(i)]);
        FUZZ_CHECK(!group.empty() && group.size() <= name.size());
        FUZZ_CHECK(std::equal(group.begin(), group.end(), name.begin()));
        for (const Key &key : group)
            FUZZ_CHECK(isTypableKey(key));
    }
    const CommandResolver::ResolveResult result
        = CommandResolver::resolve(item.flatKeys, sequence.reachableItems);
    FUZZ_CHECK(result.fullMatches.size() == 1 && result.fullMatches.front() == &item);
    FUZZ_CHECK(CommandResolver::isAtComponentBoundary(item.flatKeys, &item));
    const std::vector<QString> labels
        = CommandResolver::matchedLabels(item.flatKeys, &item, enhanceLabels);
    FUZZ_CHECK(labels.size() == item.groupCount() && labels.back() == item.displayName);
}

void checkTyped(const KeyGroup &typed, const SequenceIndex &sequence, bool enhanceLabels)
{
    const CommandResolver::ResolveResult result
        = CommandResolver::resolve(typed, sequence.reachableItems);
    const KeyGroup lower = lowered(typed);
    FUZZ_CHECK(result.fullMatches.size() <= 1);
    for (const SequenceItem *item : result.fullMatches)
        FUZZ_CHECK(item->flatKeys == lower);
    for (const SequenceItem *item : result.prefixMatches) {
        FUZZ_CHECK(item->flatKeys.size() > lower.size());
        FUZZ_CHECK(std::equal(lower.begin(), lower.end(), item->flatKeys.begin()));
    }
    const SequenceItem *primary = CommandResolver::primaryMatch(result);
    FUZZ_CHECK(concatenated(CommandResolver::displayKeyGroups(typed, primary)) == typed);
    CommandResolver::matchedLabels(typed, primary, enhanceLabels);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    ScriptIndex::Configuration configuration;
    configuration.enhanceLabels = input.ConsumeBool();
    const std::unique_ptr<ScriptIndex> index = ScriptIndex::build(filesFrom(input), configuration);
    const SequenceIndex &sequence = index->sequence;

    QSet<QString> sequences;
    for (const SequenceItem *item : sequence.reachableItems) {
        checkReachable(*item, sequence, configuration.enhanceLabels);
        const QString joined = keySequenceString(item->flatKeys);
        FUZZ_CHECK(!sequences.contains(joined));
        sequences.insert(joined);
    }
    while (input.remaining_bytes() > 0) {
        KeyGroup typed;
        const int length = input.ConsumeIntegralInRange(1, 8);
        for (int i = 0; i < length; ++i)
            typed.push_back(characterFrom(input));
        checkTyped(typed, sequence, configuration.enhanceLabels);
    }
    return 0;
}
