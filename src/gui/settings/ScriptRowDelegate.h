#pragma once

#include "StatusRowDelegate.h"

namespace runel::gui {

// Draws a row of the Scripts tab: the status dot, the name, the availability badge, the path
// cut in the middle, and the key caps at the trailing edge. Reads the ScriptHealthModel.
class ScriptRowDelegate : public StatusRowDelegate {
    Q_OBJECT
public:
    using StatusRowDelegate::StatusRowDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The badge of an availability other than sequence-and-search; empty for that one.
    static QString badgeText(int availability);
    // What follows the first finding under the name when there are more: " (and 2 more)".
    static QString moreFindingsText(int more);
};

} // namespace runel::gui
