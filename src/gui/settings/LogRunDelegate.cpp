#include "LogRunDelegate.h"

#include "LogRunModel.h"
#include "SettingsForm.h"

#include <QPainter>

namespace runel::gui {

namespace {

constexpr int padding = 6;
constexpr int spacing = 8;

SettingsForm::DotColor dotFor(const std::optional<RunExitStatus> &status)
{
    if (!status)
        return SettingsForm::DotColor::blue;
    switch (*status) {
    case RunExitStatus::success:
        return SettingsForm::DotColor::green;
    case RunExitStatus::failure:
        return SettingsForm::DotColor::red;
    case RunExitStatus::cancelled:
    case RunExitStatus::interrupted:
        break;
    }
    return SettingsForm::DotColor::gray;
}

} // namespace

QSize LogRunDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const QFontMetrics name(SettingsForm::relativeFont(option.font, 13, QFont::Medium));
    const QFontMetrics small(SettingsForm::relativeFont(option.font, 11));
    return { 0, name.height() + 2 + small.height() + 2 * padding };
}

void LogRunDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const LogRun &run = static_cast<const LogRunModel *>(index.model())->run(index.row());
    const QPalette &palette = option.palette;
    const QRect rect = option.rect.adjusted(spacing, padding, -spacing, -padding);
    paintBackgroundAndDot(*painter, option, index, rect, dotFor(run.exitStatus()));

    const bool selected = option.state & QStyle::State_Selected;
    const QColor primary = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    const QColor secondary = selected ? primary : SettingsForm::secondaryColor(palette);
    const QFont nameFont = SettingsForm::relativeFont(option.font, 13, QFont::Medium);
    const QFont smallFont = SettingsForm::relativeFont(option.font, 11);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics smallMetrics(smallFont);
    const int x = rect.left() + dotColumn + spacing;
    const int width = rect.right() - x;

    painter->save();
    const QString date = index.data(LogRunModel::dateTextRole).toString();
    const int dateWidth = smallMetrics.horizontalAdvance(date);
    const QString name
        = nameMetrics.elidedText(run.scriptName(), Qt::ElideRight, width - dateWidth - spacing);
    const QRect firstLine(x, rect.top(), width, nameMetrics.height());
    painter->setFont(nameFont);
    painter->setPen(primary);
    painter->drawText(firstLine, Qt::AlignLeft | Qt::AlignVCenter, name);
    painter->setFont(smallFont);
    painter->setPen(secondary);
    painter->drawText(firstLine.adjusted(nameMetrics.horizontalAdvance(name) + spacing, 0, 0, 0),
        Qt::AlignLeft | Qt::AlignVCenter, smallMetrics.elidedText(date, Qt::ElideRight, width));
    painter->drawText(QRect(x, firstLine.bottom() + 1 + 2, width, smallMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter, LogRunModel::statusText(run.exitStatus()));
    painter->restore();
}

} // namespace runel::gui
