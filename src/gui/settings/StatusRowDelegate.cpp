#include "StatusRowDelegate.h"

#include <QApplication>

namespace runel::gui {

void StatusRowDelegate::paintBackgroundAndDot(QPainter &painter, const QStyleOptionViewItem &option,
    const QModelIndex &index, const QRect &line, SettingsForm::DotColor dot) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    QApplication::style()->drawControl(
        QStyle::CE_ItemViewItem, &background, &painter, option.widget);
    SettingsForm::paintStatusDot(painter, QRect(line.left(), line.top(), dotColumn, line.height()),
        SettingsForm::dotColor(dot, option.palette));
}

} // namespace runel::gui
