#pragma once

#include "SettingsForm.h"

#include <QStyledItemDelegate>

namespace runel::gui {

// What the rows of the Scripts and Log tabs have in common: the item's background, then a status
// dot in a column of its own at the leading edge. The rest of a row is its delegate's.
class StatusRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    // The width of the dot's column; a row's text starts after it.
    static constexpr int dotColumn = 12;

    // Paints the background the style gives the item (selection, hover), without its text, and
    // the dot centred in the column at the left of line, as high as line.
    void paintBackgroundAndDot(QPainter &painter, const QStyleOptionViewItem &option,
        const QModelIndex &index, const QRect &line, SettingsForm::DotColor dot) const;
};

} // namespace runel::gui
