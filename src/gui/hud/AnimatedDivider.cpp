#include "AnimatedDivider.h"

#include "gui/style/HudStyle.h"

#include <QLinearGradient>
#include <QPainter>

namespace runel::gui {

AnimatedDivider::AnimatedDivider(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(2);
    m_shimmer.setStartValue(0.0);
    m_shimmer.setEndValue(1.0);
    m_shimmer.setDuration(1000);
    m_shimmer.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_shimmer, &QVariantAnimation::valueChanged, this, [this] { update(); });
    // Forever, reversing at each end.
    connect(&m_shimmer, &QVariantAnimation::finished, this, [this] {
        if (!m_wanted)
            return;
        m_shimmer.setDirection(m_shimmer.direction() == QAbstractAnimation::Forward
                ? QAbstractAnimation::Backward
                : QAbstractAnimation::Forward);
        m_shimmer.start();
    });
}

void AnimatedDivider::setShimmering(bool shimmering)
{
    shimmering = shimmering && !HudStyle::reduceMotion();
    if (shimmering == m_wanted)
        return;
    m_wanted = shimmering;
    m_shimmer.stop();
    if (shimmering) {
        m_shimmer.setDirection(QAbstractAnimation::Forward);
        m_shimmer.start();
    }
    update();
}

void AnimatedDivider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(QRectF(0, 0, width(), 1), HudStyle::tint(palette(), 0.14));
    if (!isShimmering())
        return;
    const double phase = m_shimmer.currentValue().toDouble();
    const double band = width() * 0.35;
    const double left = -band + phase * (width() + band);
    QLinearGradient gradient(left, 0, left + band, 0);
    QColor shine = palette().color(QPalette::Window).lightness() < 128
        ? QColor(255, 255, 255)
        : HudStyle::primary(palette());
    shine.setAlphaF(0.9f);
    QColor clear = shine;
    clear.setAlphaF(0);
    gradient.setColorAt(0, clear);
    gradient.setColorAt(0.5, shine);
    gradient.setColorAt(1, clear);
    painter.fillRect(QRectF(left, 0, band, 1), gradient);
}

} // namespace runel::gui
