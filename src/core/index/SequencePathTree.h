#pragma once

#include "IndexCandidate.h"
#include "Keys.h"

#include <QHash>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace runel {

// The folders and files of one index build as a tree, for deriving each path component's keys:
// the shortest prefix of its lower-cased name that no reachable sibling shares.
class SequencePathTree {
public:
    struct Node {
        QString name; // folder name as on disk, or file name without its last extension
        const IndexCandidate *candidate = nullptr; // file nodes only
        std::vector<Node *> children; // insertion order, folders and files mixed
        QHash<QString, Node *> childFoldersByName; // by lower-cased name
        bool hasReachableDescendant = false;

        QString lowerName; // lower-cased and composed, for prefix tests
        std::vector<qsizetype> characterEnds; // where each character of lowerName ends
        bool isTypable = false; // every character of name can be typed
        mutable std::optional<KeyGroup> keyGroup; // computed on first use
    };
    struct PathNodes {
        std::vector<Node *> nodes; // top folder down to the file
        std::vector<Node *> parents; // parents[i] is the parent of nodes[i]
    };

    // candidates must outlive the tree.
    explicit SequencePathTree(const std::vector<IndexCandidate> &candidates);
    SequencePathTree(const SequencePathTree &) = delete;
    SequencePathTree &operator=(const SequencePathTree &) = delete;

    // The key groups along the path of a file, by its standardized path; empty when unknown.
    std::vector<KeyGroup> keyGroups(const QString &standardizedPath) const;

    const QHash<QString, PathNodes> &paths() const { return m_paths; }
    const Node &root() const { return *m_root; }

private:
    Node *newNode(QString name, const IndexCandidate *candidate);
    static bool markReachable(Node &node, bool foldersTypable);
    static const KeyGroup &keyGroupOf(const Node &node, const Node &parent);

    std::vector<std::unique_ptr<Node>> m_nodes;
    Node *m_root = nullptr;
    QHash<QString, PathNodes> m_paths;
};

} // namespace runel
