#pragma once

#include "StatusRowDelegate.h"

namespace runel::gui {

// Draws a run of the Log tab: the status dot, the script's name with the start date and time,
// and the status text under them. Reads the LogRunModel.
class LogRunDelegate : public StatusRowDelegate {
    Q_OBJECT
public:
    using StatusRowDelegate::StatusRowDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace runel::gui
