#include "SequencePathTree.h"

#include "text/Text.h"

namespace runel {
namespace {

bool allTypable(QStringView name)
{
    for (const QString &character : text::characters(name)) {
        if (!isTypableKey(character))
            return false;
    }
    return true;
}

// Whether every folder of the script's path and its name without extension can be typed.
bool isTypablePath(const IndexCandidate &candidate)
{
    const QStringList components = candidate.file->relativePath.split(u'/', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i + 1 < components.size(); ++i) {
        if (!allTypable(components[i]))
            return false;
    }
    return allTypable(candidate.file->nameWithoutExtension());
}

bool startsWith(const KeyGroup &characters, const KeyGroup &prefix, size_t length)
{
    if (characters.size() < length)
        return false;
    return std::equal(prefix.begin(), prefix.begin() + std::ptrdiff_t(length), characters.begin());
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
    markReachable(*m_root);
}

SequencePathTree::Node *SequencePathTree::newNode(QString name, const IndexCandidate *candidate)
{
    auto node = std::make_unique<Node>();
    node->lowerCharacters = keysOf(name);
    node->name = std::move(name);
    node->candidate = candidate;
    m_nodes.push_back(std::move(node));
    return m_nodes.back().get();
}

bool SequencePathTree::markReachable(Node &node)
{
    bool reachable
        = node.candidate && node.candidate->status.isValid() && isTypablePath(*node.candidate);
    for (Node *child : node.children)
        reachable = markReachable(*child) || reachable;
    node.hasReachableDescendant = reachable;
    return reachable;
}

const KeyGroup &SequencePathTree::keyGroupOf(const Node &node, const Node &parent)
{
    if (node.keyGroup)
        return *node.keyGroup;
    const KeyGroup &name = node.lowerCharacters;
    KeyGroup group = name;
    for (size_t length = 1; length <= name.size(); ++length) {
        int sharing = 0;
        for (const Node *sibling : parent.children) {
            if ((sibling == &node || sibling->hasReachableDescendant)
                && startsWith(sibling->lowerCharacters, name, length))
                ++sharing;
        }
        if (sharing == 1) {
            group.resize(length);
            break;
        }
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
