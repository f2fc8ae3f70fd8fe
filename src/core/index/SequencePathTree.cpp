#include "SequencePathTree.h"

#include "text/Text.h"

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
    m_root = newNode(QString(), nullptr);
    for (const IndexCandidate &candidate : candidates) {
        const QStringList components = candidate.file->relativePath.split(u'/', Qt::SkipEmptyParts);
        if (components.isEmpty())
            continue;
        PathNodes path;
        Node *cursor = m_root;
        for (qsizetype i = 0; i < components.size(); ++i) {
            path.parents.push_back(cursor);
            if (i + 1 < components.size()) {
                const QString key = text::lowercased(text::nfc(components[i]));
                Node *&folder = cursor->childFoldersByName[key];
                if (!folder) {
                    folder = newNode(components[i], nullptr);
                    cursor->children.push_back(folder);
                }
                cursor = folder;
            } else {
                Node *file = newNode(candidate.file->nameWithoutExtension(), &candidate);
                cursor->children.push_back(file);
                cursor = file;
            }
            path.nodes.push_back(cursor);
        }
        m_paths.insert(candidate.file->standardizedPath(), std::move(path));
    }
    markReachable(*m_root, true);
}

SequencePathTree::Node *SequencePathTree::newNode(QString name, const IndexCandidate *candidate)
{
    auto node = std::make_unique<Node>();
    node->lowerName = text::lowercased(text::nfc(name));
    node->characterEnds = text::characterEnds(node->lowerName);
    node->isTypable = allTypable(name);
    node->name = std::move(name);
    node->candidate = candidate;
    m_nodes.push_back(std::move(node));
    return m_nodes.back().get();
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

const KeyGroup &SequencePathTree::keyGroupOf(const Node &node, const Node &parent)
{
    if (node.keyGroup)
        return *node.keyGroup;
    // The shortest unique prefix is one character longer than the longest prefix shared with
    // a sibling that competes: itself, and every sibling with a reachable script.
    const size_t count = node.characterEnds.size();
    size_t length = 1;
    for (const Node *sibling : parent.children) {
        if (sibling != &node && sibling->hasReachableDescendant)
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
    node.keyGroup = std::move(group);
    return *node.keyGroup;
}

std::vector<KeyGroup> SequencePathTree::keyGroups(const QString &standardizedPath) const
{
    std::vector<KeyGroup> groups;
    const auto found = m_paths.constFind(standardizedPath);
    if (found == m_paths.cend())
        return groups;
    for (size_t i = 0; i < found->nodes.size(); ++i)
        groups.push_back(keyGroupOf(*found->nodes[i], *found->parents[i]));
    return groups;
}

} // namespace runel
