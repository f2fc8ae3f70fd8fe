#include "ScriptHealthModel.h"

#include "text/Text.h"

#include <algorithm>

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
    case Qt::AccessibleTextRole:
        return row.displayName;
    case Qt::ToolTipRole:
        return row.message();
    case pathRole:
        return row.script->path;
    default:
        return {};
    }
}

} // namespace runel::gui
