#include "ScriptRowDelegate.h"

#include "ScriptHealthModel.h"
#include "SettingsForm.h"

#include <QPainter>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

constexpr int padding = 8;
constexpr int spacing = 6;
constexpr int keyCapMinimum = 20;

SettingsForm::DotColor dotFor(HealthSeverity severity)
{
    switch (severity) {
    case HealthSeverity::green:
        return SettingsForm::DotColor::green;
    case HealthSeverity::yellow:
        return SettingsForm::DotColor::yellow;
    case HealthSeverity::red:
        return SettingsForm::DotColor::red;
    case HealthSeverity::gray:
        break;
    }
    return SettingsForm::DotColor::gray;
}

// A rounded label on the quaternary fill; returns its width. Draws only when painter is given.
int drawCap(QPainter *painter, const QFont &font, const QString &text, int x, int centreY,
    int minimum, int inset, const QPalette &palette)
{
    const QFontMetrics metrics(font);
    const int height = std::max(minimum, metrics.height());
    const int width = std::max(minimum, metrics.horizontalAdvance(text) + 2 * inset);
    if (painter) {
        const QRect rect(x, centreY - height / 2, width, height);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(SettingsForm::quaternaryColor(palette));
        painter->drawRoundedRect(rect, 4, 4);
        painter->setFont(font);
        painter->setPen(SettingsForm::secondaryColor(palette));
        painter->drawText(rect, Qt::AlignCenter, text);
        painter->restore();
    }
    return width;
}

} // namespace

QString ScriptRowDelegate::badgeText(int availability)
{
    switch (ScriptAvailability(availability)) {
    case ScriptAvailability::sequenceOnly:
        return u"Sequence only"_s;
    case ScriptAvailability::searchOnly:
        return u"Search only"_s;
    case ScriptAvailability::ignored:
        return u"Ignored"_s;
    case ScriptAvailability::sequenceAndSearch:
        break;
    }
    return {};
}

QString ScriptRowDelegate::moreFindingsText(int more)
{
    return u" (and %1 more)"_s.arg(more);
}

namespace {

int mainLineHeight(const QStyleOptionViewItem &option)
{
    return std::max(keyCapMinimum, QFontMetrics(option.font).height()) + 2 * padding;
}

QFont findingFont(const QFont &font)
{
    return SettingsForm::relativeFont(font, 11);
}

} // namespace

QSize ScriptRowDelegate::sizeHint(
    const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    int height = mainLineHeight(option);
    // A row with a finding gets a second line for it, under the name.
    if (!index.data(ScriptHealthModel::findingRole).toString().isEmpty())
        height += QFontMetrics(findingFont(option.font)).height();
    return { 0, height };
}

void ScriptRowDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto *model = static_cast<const ScriptHealthModel *>(index.model());
    const ScriptHealthItem &item = model->item(index.row());
    const QPalette &palette = option.palette;

    const QString finding = index.data(ScriptHealthModel::findingRole).toString();
    const QRect whole = option.rect.adjusted(padding, 0, -padding, 0);
    // The name's line keeps its height; a finding's line goes below it.
    const QRect rect = finding.isEmpty()
        ? whole
        : QRect(whole.left(), whole.top(), whole.width(), mainLineHeight(option));
    const int centreY = rect.center().y();
    paintBackgroundAndDot(*painter, option, index, rect, dotFor(item.severity()));

    // The key caps first, from the trailing edge: the text gets what is left.
    const QFont capFont = SettingsForm::relativeFont(option.font, 11, QFont::Medium);
    int right = rect.right();
    if (item.sequenceItem) {
        const KeyGroup &keys = item.sequenceItem->flatKeys;
        int width = 0;
        for (const Key &key : keys)
            width += drawCap(nullptr, capFont, key, 0, 0, keyCapMinimum, key.size() > 1 ? 4 : 0,
                         palette)
                + 3;
        int x = right - width + 3;
        for (const Key &key : keys)
            x += drawCap(painter, capFont, key, x, centreY, keyCapMinimum, key.size() > 1 ? 4 : 0,
                     palette)
                + 3;
        right -= width + spacing;
    }

    int x = rect.left() + dotColumn + spacing;
    painter->save();
    painter->setFont(option.font);
    painter->setPen(palette.color(
        option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    const QFontMetrics nameMetrics(option.font);
    const QString name = nameMetrics.elidedText(item.displayName, Qt::ElideRight, right - x);
    painter->drawText(
        QRect(x, rect.top(), right - x, rect.height()), Qt::AlignLeft | Qt::AlignVCenter, name);
    x += nameMetrics.horizontalAdvance(name) + spacing;

    const QString badge = badgeText(int(item.availability));
    if (!badge.isEmpty() && x < right) {
        const QFont badgeFont = SettingsForm::relativeFont(option.font, 10, QFont::Medium);
        x += drawCap(painter, badgeFont, badge, x, centreY, 0, 5, palette) + spacing;
    }
    if (x < right) {
        const QFont pathFont = SettingsForm::relativeFont(option.font, 11);
        painter->setFont(pathFont);
        painter->setPen(SettingsForm::secondaryColor(palette));
        painter->drawText(QRect(x, rect.top(), right - x, rect.height()),
            Qt::AlignLeft | Qt::AlignVCenter,
            QFontMetrics(pathFont).elidedText(
                item.script->relativePath, Qt::ElideMiddle, right - x));
    }
    if (!finding.isEmpty()) {
        const QFont font = findingFont(option.font);
        const int left = rect.left() + dotColumn + spacing;
        const QRect line(
            left, rect.bottom() + 1 - padding, whole.right() - left, QFontMetrics(font).height());
        painter->setFont(font);
        painter->setPen(option.state & QStyle::State_Selected
                ? palette.color(QPalette::HighlightedText)
                : SettingsForm::secondaryColor(palette));
        // The count of the others stays whole; the first finding gives way.
        const int more = index.data(ScriptHealthModel::moreFindingsRole).toInt();
        const QString suffix = more > 0 ? moreFindingsText(more) : QString();
        const QFontMetrics metrics(font);
        const QString text = metrics.elidedText(finding, Qt::ElideRight,
                                 line.width() - metrics.horizontalAdvance(suffix))
            + suffix;
        painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    painter->restore();
}

} // namespace runel::gui
