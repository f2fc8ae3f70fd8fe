#pragma once

#include <QStyledItemDelegate>

namespace runel::gui {

// Draws one result row from the roles of ResultListModel: the icon, the title with its
// highlight in bold accent, the subtitle in the secondary colour with its highlight and the
// part after the file-name stem dimmed, the key hint badge at the trailing edge, and the
// selected row's rounded background.
class ResultRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static constexpr int rowHeight = 40; // with or without a subtitle line
    static constexpr int subtitledRowHeight = 48;
};

} // namespace runel::gui
