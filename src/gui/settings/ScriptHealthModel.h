#pragma once

#include "core/index/ScriptIndex.h"

#include <QAbstractListModel>
#include <memory>
#include <span>
#include <vector>

namespace runel::gui {

// The health list of one script index as rows, in the order the Scripts tab lists them. Holds
// the index, so the rows it points into stay valid.
class ScriptHealthModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        pathRole = Qt::UserRole + 1, // the file's absolute path
        findingRole, // the first thing runel check finds, shown under the name
        moreFindingsRole, // how many more it finds (the tooltip lists them all)
    };

    explicit ScriptHealthModel(QObject *parent = nullptr);

    void setIndex(std::shared_ptr<const ScriptIndex> index);
    const std::shared_ptr<const ScriptIndex> &scriptIndex() const { return m_index; }
    const ScriptHealthItem &item(int row) const { return *m_rows[size_t(row)]; }
    // What runel check finds in the row's script, beyond the row's own message.
    std::span<const ScriptFinding> findings(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Items with keys first, by their keys compared key by key (a prefix first); then by
    // relative path in the file browser's order (file2 before file10).
    static std::vector<const ScriptHealthItem *> ordered(
        const std::vector<ScriptHealthItem> &items);

private:
    std::shared_ptr<const ScriptIndex> m_index;
    std::vector<const ScriptHealthItem *> m_rows;
};

} // namespace runel::gui
