#include "StatusIcon.h"

#include "gui/style/HudIcons.h"
#include "gui/style/HudStyle.h"

#include <QPainter>

namespace runel::gui {

StatusIcon::StatusIcon(QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(16, 16);
    m_fade.setDuration(150);
    m_fade.setEasingCurve(QEasingCurve::OutCubic);
    m_fade.setStartValue(0.0);
    m_fade.setEndValue(1.0);
    connect(&m_fade, &QVariantAnimation::valueChanged, this, [this] { update(); });
    m_spin.setDuration(900);
    m_spin.setStartValue(0.0);
    m_spin.setEndValue(360.0);
    m_spin.setLoopCount(-1);
    connect(&m_spin, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

void StatusIcon::setStatus(Kind kind, const QString &symbol, bool secondary)
{
    if (kind == m_kind && symbol == m_symbol && secondary == m_secondary)
        return;
    m_kind = kind;
    m_symbol = symbol;
    m_secondary = secondary;
    if (kind == Kind::spinner)
        m_spin.start();
    else
        m_spin.stop();
    m_fade.stop();
    if (!HudStyle::reduceMotion() && kind != Kind::none)
        m_fade.start();
    update();
}

void StatusIcon::paintEvent(QPaintEvent *)
{
    if (m_kind == Kind::none)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_fade.state() == QAbstractAnimation::Running)
        painter.setOpacity(m_fade.currentValue().toDouble());
    const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (m_kind == Kind::spinner) {
        // An indeterminate spinner at about 0.7 of the frame.
        const QRectF ring = frame.adjusted(2, 2, -2, -2);
        painter.setPen(QPen(HudStyle::tint(palette(), 0.2), 1.6));
        painter.drawEllipse(ring);
        painter.setPen(QPen(HudStyle::secondary(palette()), 1.6, Qt::SolidLine, Qt::RoundCap));
        const int start = -int(m_spin.currentValue().toDouble() * 16);
        painter.drawArc(ring, start, 100 * 16);
        return;
    }
    const QColor color
        = m_secondary ? HudStyle::secondary(palette()) : HudStyle::primary(palette());
    const QPixmap pixmap = HudIcons::pixmap(
        m_symbol, 14, devicePixelRatioF(), color, palette().color(QPalette::Window));
    painter.drawPixmap(QPointF(1, 1), pixmap);
}

} // namespace runel::gui
