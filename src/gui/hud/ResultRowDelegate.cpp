#include "ResultRowDelegate.h"

#include "core/hud/ResultListModel.h"
#include "gui/style/HudIcons.h"
#include "gui/style/HudStyle.h"

#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <optional>

namespace runel::gui {

namespace {

constexpr int horizontalMargin = 8; // between the panel's edge and the row background
constexpr int padding = 12; // inside the row background
constexpr int iconSize = 15;
constexpr int iconGap = 10;
constexpr int badgeGap = 8;

struct Highlight {
    int start = 0;
    int length = 0;
};

// Draws text elided to width, with its highlight in bold accent and, from dimFrom on,
// at half opacity. Returns nothing; the text's baseline is taken from the font.
void drawStyledText(QPainter *painter, const QRectF &box, const QString &text, const QFont &font,
    const QColor &color, const QColor &accent, Highlight highlight, int dimFrom,
    Qt::LayoutDirection direction)
{
    QColor dimmed = color;
    dimmed.setAlphaF(color.alphaF() * 0.5f);
    std::optional<QTextLayout> layout;
    const auto layOut = [&](const QString &shown) {
        QList<QTextLayout::FormatRange> formats;
        auto add = [&](int start, int length, auto apply) {
            start = std::min<int>(start, int(shown.size()));
            length = std::min<int>(length, int(shown.size()) - start);
            if (length <= 0)
                return;
            QTextLayout::FormatRange range;
            range.start = start;
            range.length = length;
            apply(range.format);
            formats.append(range);
        };
        if (dimFrom >= 0 && dimFrom < text.size())
            add(dimFrom, int(text.size()) - dimFrom,
                [&](QTextCharFormat &format) { format.setForeground(dimmed); });
        add(highlight.start, highlight.length, [&](QTextCharFormat &format) {
            format.setForeground(accent);
            format.setFontWeight(QFont::Bold);
        });
        layout.emplace(shown, font);
        QTextOption textOption;
        textOption.setTextDirection(direction);
        layout->setTextOption(textOption);
        layout->setFormats(formats);
        layout->beginLayout();
        QTextLine line = layout->createLine();
        line.setLineWidth(box.width() + 40); // bold may widen a little; the box clips
        layout->endLayout();
        return line;
    };
    // Most texts fit: laid out once, and elided and laid out again only when they do not. The
    // elision measures in the regular font, so a text that only its bold part widens is
    // clipped, not elided.
    const QString whole = ResultRowDelegate::withoutDirectionControls(text);
    QTextLine line = layOut(whole);
    if (line.naturalTextWidth() > box.width()) {
        const QString shown = QFontMetricsF(font).elidedText(whole, Qt::ElideRight, box.width());
        if (shown != whole)
            line = layOut(shown);
    }
    painter->save();
    painter->setClipRect(box);
    painter->setPen(color);
    const qreal y = box.top() + (box.height() - line.height()) / 2;
    layout->draw(painter, QPointF(box.left(), y));
    painter->restore();
}

} // namespace

QString ResultRowDelegate::withoutDirectionControls(const QString &text)
{
    const auto isControl = [](QChar c) {
        return (c.unicode() >= 0x202a && c.unicode() <= 0x202e)
            || (c.unicode() >= 0x2066 && c.unicode() <= 0x2069);
    };
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString shown = text;
    std::replace_if(shown.begin(), shown.end(), isControl, QChar(0x2060));
    return shown;
}

QSize ResultRowDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const bool subtitled = !index.data(ResultListModel::SubtitleRole).toString().isEmpty();
    return { HudStyle::panelWidth, subtitled ? subtitledRowHeight : rowHeight };
}

void ResultRowDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QPalette &palette = option.palette;
    const QRectF row = QRectF(option.rect).adjusted(horizontalMargin, 0, -horizontalMargin, 0);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (index.data(ResultListModel::SelectedRole).toBool()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(128, 128, 128, 61)); // gray at 0.24
        painter->drawRoundedRect(row, 14, 14);
    }

    const QColor primary = HudStyle::primary(palette);
    const QColor secondary = HudStyle::secondary(palette);
    const QColor accent = HudStyle::accent(palette);
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;

    const QPixmap icon = HudIcons::pixmap(index.data(ResultListModel::IconRole).toString(),
        iconSize, ratio, secondary, palette.color(QPalette::Window));
    const QPointF iconAt(row.left() + padding, row.center().y() - iconSize / 2.0);
    painter->drawPixmap(iconAt, icon);

    qreal right = row.right() - padding;
    const QString hint = index.data(ResultListModel::KeyHintRole).toString();
    if (!hint.isEmpty()) {
        const QFont badgeFont = HudStyle::monospaceFont(11);
        const QFontMetricsF metrics(badgeFont);
        const qreal width = std::max(18.0, metrics.horizontalAdvance(hint) + 10);
        const QRectF badge(right - width, row.center().y() - 9, width, 18);
        painter->setPen(Qt::NoPen);
        painter->setBrush(HudStyle::tint(palette, 0.1));
        painter->drawRoundedRect(badge, 5, 5);
        painter->setFont(badgeFont);
        painter->setPen(index.data(ResultListModel::SelectedRole).toBool() ? primary : secondary);
        painter->drawText(badge, Qt::AlignCenter, hint);
        right = badge.left() - badgeGap;
    }

    const qreal left = iconAt.x() + iconSize + iconGap;
    const QString title = index.data(ResultListModel::TitleRole).toString();
    const QString subtitle = index.data(ResultListModel::SubtitleRole).toString();
    const QFont titleFont = HudStyle::systemFont(14);
    const QFont subtitleFont = HudStyle::systemFont(12);
    const Highlight titleHighlight { index.data(ResultListModel::TitleHighlightStartRole).toInt(),
        index.data(ResultListModel::TitleHighlightLengthRole).toInt() };
    if (subtitle.isEmpty()) {
        drawStyledText(painter, QRectF(left, row.top(), right - left, row.height()), title,
            titleFont, primary, accent, titleHighlight, -1, option.direction);
    } else {
        const qreal titleHeight = QFontMetricsF(titleFont).height();
        const qreal subtitleHeight = QFontMetricsF(subtitleFont).height();
        const qreal top = row.center().y() - (titleHeight + subtitleHeight + 1) / 2;
        drawStyledText(painter, QRectF(left, top, right - left, titleHeight), title, titleFont,
            primary, accent, titleHighlight, -1, option.direction);
        const int stem = index.data(ResultListModel::SubtitleStemLengthRole).toInt();
        drawStyledText(painter, QRectF(left, top + titleHeight + 1, right - left, subtitleHeight),
            subtitle, subtitleFont, secondary, accent,
            { index.data(ResultListModel::SubtitleHighlightStartRole).toInt(),
                index.data(ResultListModel::SubtitleHighlightLengthRole).toInt() },
            stem > 0 ? stem : -1, option.direction);
    }
    painter->restore();
}

} // namespace runel::gui
