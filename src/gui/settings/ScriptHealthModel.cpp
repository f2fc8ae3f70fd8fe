#include "ScriptHealthModel.h"

#include "ScriptRowDelegate.h"

#include "core/text/Text.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

const KeyGroup &keysOf(const ScriptHealthItem &item)
{
    static const KeyGroup none;
    return item.sequenceItem ? item.sequenceItem->flatKeys : none;
}

bool before(const ScriptHealthItem *a, const ScriptHealthItem *b)
{
    const KeyGroup &keysA = keysOf(*a);
    const KeyGroup &keysB = keysOf(*b);
    if (keysA.empty() != keysB.empty())
        return !keysA.empty();
    const auto [endA, endB] = std::mismatch(keysA.begin(), keysA.end(), keysB.begin(), keysB.end());
    if (endA != keysA.end() && endB != keysB.end())
        return text::compareScalars(*endA, *endB) < 0;
    if (endA != keysA.end() || endB != keysB.end())
        return endA == keysA.end(); // a proper prefix comes first
    return text::compareLocalizedStandard(a->script->relativePath, b->script->relativePath) < 0;
}

} // namespace

ScriptHealthModel::ScriptHealthModel(QObject *parent)
    : QAbstractListModel(parent)
{ }

std::vector<const ScriptHealthItem *> ScriptHealthModel::ordered(
    const std::vector<ScriptHealthItem> &items)
{
    std::vector<const ScriptHealthItem *> rows;
    rows.reserve(items.size());
    for (const ScriptHealthItem &item : items)
        rows.push_back(&item);
    std::stable_sort(rows.begin(), rows.end(), before);
    return rows;
}

void ScriptHealthModel::setIndex(std::shared_ptr<const ScriptIndex> index)
{
    beginResetModel();
    m_index = std::move(index);
    m_rows = m_index ? ordered(m_index->health) : std::vector<const ScriptHealthItem *> {};
    endResetModel();
}

std::span<const ScriptFinding> ScriptHealthModel::findings(int row) const
{
    // A file that cannot be read has only that finding, and the row's message says it already.
    const FileItem &script = *item(row).script;
    if (script.readError)
        return {};
    return m_index->findingsFor(script.path);
}

namespace {

QString findingText(const ScriptFinding &finding)
{
    return finding.line > 0 ? u"Line %1: %2"_s.arg(QString::number(finding.line), finding.message)
                            : finding.message;
}

QString firstFinding(std::span<const ScriptFinding> findings)
{
    return findings.empty() ? QString() : findingText(findings.front());
}

} // namespace

int ScriptHealthModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ScriptHealthModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_rows.size())
        return {};
    const ScriptHealthItem &row = *m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return row.displayName;
    case Qt::AccessibleTextRole: {
        const std::span<const ScriptFinding> found = findings(index.row());
        if (found.empty())
            return row.displayName;
        return row.displayName + u". "_s + firstFinding(found)
            + (found.size() > 1 ? ScriptRowDelegate::moreFindingsText(int(found.size() - 1))
                                : QString());
    }
    case Qt::ToolTipRole: {
        QString text = row.message();
        for (const ScriptFinding &finding : findings(index.row()))
            text += u'\n' + findingText(finding);
        return text;
    }
    case findingRole:
        return firstFinding(findings(index.row()));
    case moreFindingsRole:
        return std::max(0, int(findings(index.row()).size()) - 1);
    case pathRole:
        return row.script->path;
    default:
        return {};
    }
}

} // namespace runel::gui
