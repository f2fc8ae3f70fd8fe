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

    // A title or subtitle as a row draws it: each explicit direction control (embeddings,
    // overrides and isolates, U+202A to U+202E and U+2066 to U+2069) becomes an invisible word
    // joiner, so a script's name cannot reverse itself or what follows it; marks and
    // right-to-left letters keep their order. One code unit for one, so highlight offsets fit.
    // Each text is laid out on its own, in the view's direction.
    static QString withoutDirectionControls(const QString &text);

    static constexpr int rowHeight = 40; // with or without a subtitle line
    static constexpr int subtitledRowHeight = 48;
};

} // namespace runel::gui
