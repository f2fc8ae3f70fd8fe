#include "SequencePathTree.h"

#include "core/text/Text.h"

#include <algorithm>

namespace runel {
namespace {

// Every typable key is one code unit that combines with nothing, so a name is typable exactly
// when each of its code units is.
bool allTypable(QStringView name)
{
    for (QChar c : name) {
        if (!isTypableKey(QStringView(&c, 1)))
            return false;
    }
    return true;
}

// How many leading characters two names share.
size_t commonCharacters(const SequencePathTree::Node &a, const SequencePathTree::Node &b)
{
    const QStringView x(a.lowerName), y(b.lowerName);
    qsizetype units = 0;
    const qsizetype limit = std::min(x.size(), y.size());
    while (units < limit && x[units] == y[units])
        ++units;
    // Equal code units make equal characters only where both names end a character there.
    size_t shared = 0;
    while (shared < a.characterEnds.size() && shared < b.characterEnds.size()
        && a.characterEnds[shared] <= units && a.characterEnds[shared] == b.characterEnds[shared])
        ++shared;
    return shared;
}

} // namespace
SequencePathTree::SequencePathTree(const std::vector<IndexCandidate> &candidates)
{
    m_root = newNode(nullptr, {}, nullptr);
    m_files.reserve(candidates.size());
    // The scan lists a folder's files one after the other, so a file is mostly in the folder of
    // the file before it, and that folder's path is not looked up again.
    QStringView previousFolder;
    Node *previousCursor = nullptr;
    for (const IndexCandidate &candidate : candidates) {
        QStringView relative(candidate.file->relativePath);
        while (relative.endsWith(u'/'))
            relative.chop(1);
        if (relative.isEmpty()) {
            m_files.push_back(nullptr);
            continue;
        }
        const qsizetype slash = relative.lastIndexOf(u'/');
        const QStringView folderPath = relative.first(std::max<qsizetype>(slash, 0));
        Node *cursor = previousCursor;
        if (!cursor || folderPath != previousFolder) {
            cursor = m_root;
            for (const QStringView component : folderPath.tokenize(u'/', Qt::SkipEmptyParts))
                cursor = folder(*cursor, component);
            previousFolder = folderPath;
            previousCursor = cursor;
        }
        Node *file = newNode(cursor, candidate.file->nameWithoutExtension(), &candidate);
        cursor->children.push_back(file);
        m_files.push_back(file);
    }
    markReachable(*m_root, true);
    assignKeyGroups();
}

SequencePathTree::Node *SequencePathTree::newNode(
    Node *parent, QStringView name, const IndexCandidate *candidate)
{
    Node &node = m_nodes.emplace_back();
    node.lowerName = text::lowercasedComposed(name);
    node.characterEnds = text::characterEnds(node.lowerName);
    node.isTypable = allTypable(name);
    node.candidate = candidate;
    node.parent = parent;
    return &node;
}

// Folders are told apart by their lower-cased, composed names, as the file system of a typist
// would.
SequencePathTree::Node *SequencePathTree::folder(Node &parent, QStringView name)
{
    Node *&found = parent.childFoldersByName[text::lowercasedComposed(name)];
    if (!found) {
        found = newNode(&parent, name, nullptr);
        parent.children.push_back(found);
    }
    return found;
}

// A script is reachable when it is valid and every folder on its path and its own name can be
// typed; foldersTypable says whether that holds for the folders above node.
bool SequencePathTree::markReachable(Node &node, bool foldersTypable)
{
    bool reachable
        = node.candidate && node.candidate->status.isValid() && foldersTypable && node.isTypable;
    const bool childFoldersTypable = foldersTypable && node.isTypable;
    for (Node *child : node.children)
        reachable = markReachable(*child, childFoldersTypable) || reachable;
    node.hasReachableDescendant = reachable;
    return reachable;
}

KeyGroup SequencePathTree::uniquePrefix(const Node &node, std::span<const Node *const> rivals)
{
    // The shortest unique prefix is one character longer than the longest prefix shared with
    // a sibling that competes: one with a reachable script.
    const size_t count = node.characterEnds.size();
    size_t length = 1;
    for (const Node *sibling : rivals) {
        if (sibling != &node)
            length = std::max(length, commonCharacters(node, *sibling) + 1);
    }
    // No unique prefix: the whole name.
    length = std::min(length, count);
    KeyGroup group;
    group.reserve(length);
    qsizetype start = 0;
    for (size_t i = 0; i < length; ++i) {
        group.push_back(
            keyOf(QStringView(node.lowerName).sliced(start, node.characterEnds[i] - start)));
        start = node.characterEnds[i];
    }
    return group;
}

void SequencePathTree::assignKeyGroups()
{
    // A sibling whose name begins with another code unit shares no character with a node: each
    // node is compared only with the competing siblings that begin as it does, which a folder's
    // competitors sorted by first code unit give at once.
    const auto firstUnit = [](const Node *node) { return node->lowerName.front(); };
    const auto byFirstUnit
        = [&firstUnit](const Node *a, const Node *b) { return firstUnit(a) < firstUnit(b); };
    std::vector<const Node *> competitors;
    for (const Node &folder : m_nodes) {
        competitors.clear();
        for (const Node *child : folder.children) {
            if (child->hasReachableDescendant && !child->lowerName.isEmpty())
                competitors.push_back(child);
        }
        std::sort(competitors.begin(), competitors.end(), byFirstUnit);
        for (Node *child : folder.children) {
            std::span<const Node *const> rivals;
            if (!child->lowerName.isEmpty()) {
                const auto [from, to] = std::equal_range(
                    competitors.cbegin(), competitors.cend(), child, byFirstUnit);
                rivals = { from, to };
            }
            child->keyGroup = uniquePrefix(*child, rivals);
        }
    }
}

std::vector<KeyGroup> SequencePathTree::keyGroups(size_t candidate) const
{
    size_t depth = 0;
    for (const Node *node = m_files[candidate]; node && node->parent; node = node->parent)
        ++depth;
    std::vector<KeyGroup> groups(depth);
    for (const Node *node = m_files[candidate]; depth > 0; node = node->parent)
        groups[--depth] = node->keyGroup;
    return groups;
}

} // namespace runel
