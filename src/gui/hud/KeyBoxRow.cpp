#include "KeyBoxRow.h"

#include "gui/style/HudStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace runel::gui {

namespace {
constexpr int boxHeight = 40;
constexpr int inset = 14;
constexpr int spacing = 6;
constexpr int radius = 12;
} // namespace

KeyBoxRow::KeyBoxRow(QWidget *parent)
    : QWidget(parent)
{
    setFont(HudStyle::monospaceFont(20));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void KeyBoxRow::setKeys(const QStringList &keys)
{
    if (keys == m_keys)
        return;
    m_keys = keys;
    update();
}

QSize KeyBoxRow::sizeHint() const
{
    return { 200, boxHeight };
}

void KeyBoxRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int placeholderWidth = metrics.horizontalAdvance(QLatin1Char('M')) + 2 * inset;

    // Widths first, so that the newest keys and the placeholder stay in view.
    QList<int> widths;
    for (const QString &key : m_keys)
        widths.append(std::max(metrics.horizontalAdvance(key) + 2 * inset, boxHeight - 8));
    int total = placeholderWidth;
    for (int width : widths)
        total += width + spacing;
    int x = std::min(0, width() - total);

    auto drawBox = [&](int boxWidth, const QString &text, const QColor &color) {
        const QRectF box(x, 0, boxWidth, boxHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(HudStyle::tint(palette(), 0.12));
        painter.drawRoundedRect(box, radius, radius);
        painter.setPen(color);
        painter.drawText(box, Qt::AlignCenter, text);
        x += boxWidth + spacing;
    };
    for (qsizetype i = 0; i < m_keys.size(); ++i)
        drawBox(widths[i], m_keys[i], HudStyle::primary(palette()));
    drawBox(placeholderWidth, QString(), HudStyle::secondary(palette()));
}

} // namespace runel::gui
