#pragma once

#include "IndexCandidate.h"
#include "Keys.h"

#include <QHash>
#include <QString>
#include <deque>
#include <span>
#include <vector>

namespace runel {

// The folders and files of one index build as a tree, for deriving each path component's keys:
// the shortest prefix of its lower-cased name that no reachable sibling shares.
class SequencePathTree {
public:
    struct Node {
        const IndexCandidate *candidate = nullptr; // file nodes only
        Node *parent = nullptr; // null for the root only
        std::vector<Node *> children; // insertion order, folders and files mixed
        QHash<QString, Node *> childFoldersByName; // by lower-cased name
        bool hasReachableDescendant = false;

        QString lowerName; // lower-cased and composed, for prefix tests
        std::vector<qsizetype> characterEnds; // where each character of lowerName ends
        bool isTypable = false; // every character of name can be typed
        KeyGroup keyGroup; // the shortest unique prefix among the siblings, as keys
    };

    // candidates must outlive the tree. Every node's keys are worked out here, so a built tree
    // is only read and may be shared between threads.
    explicit SequencePathTree(const std::vector<IndexCandidate> &candidates);
    SequencePathTree(const SequencePathTree &) = delete;
    SequencePathTree &operator=(const SequencePathTree &) = delete;

    // The key groups along the path of candidates[candidate], top folder first; empty for a
    // file without a path.
    std::vector<KeyGroup> keyGroups(size_t candidate) const;

private:
    // name: the folder name as on disk, or the file name without its last extension.
    Node *newNode(Node *parent, QStringView name, const IndexCandidate *candidate);
    Node *folder(Node &parent, QStringView name);
    static bool markReachable(Node &node, bool foldersTypable);
    // rivals: the competing siblings that may share a prefix with node.
    static KeyGroup uniquePrefix(const Node &node, std::span<const Node *const> rivals);
    void assignKeyGroups();

    std::deque<Node> m_nodes; // m_nodes[0] is the root; a deque keeps nodes in place as it grows
    Node *m_root = nullptr;
    std::vector<const Node *> m_files; // the file node of each candidate, or null
};

} // namespace runel
