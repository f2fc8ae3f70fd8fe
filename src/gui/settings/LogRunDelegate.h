#pragma once

#include <QStyledItemDelegate>

namespace runel::gui {

// Draws a run of the Log tab: the status dot, the script's name with the start date and time,
// and the status text under them. Reads the LogRunModel.
class LogRunDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace runel::gui
