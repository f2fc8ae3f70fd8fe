#include "HudPanel.h"

#include "gui/style/HudStyle.h"

#include <QCloseEvent>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace runel::gui {

HudPanel::HudPanel(bool takesFocus)
    : QWidget(nullptr,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
            | (takesFocus ? Qt::WindowFlags() : Qt::WindowDoesNotAcceptFocus))
    , m_translucent(HudStyle::hasCompositor())
{
    if (!takesFocus) {
        // Both are needed: some window managers hand the focus to a window that only
        // declines it in its hints.
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFocusPolicy(Qt::NoFocus);
    }
    setAttribute(Qt::WA_TranslucentBackground, m_translucent);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setFixedWidth(HudStyle::panelWidth);
    fitContent();
}

void HudPanel::setContent(QWidget *content)
{
    if (content == m_content)
        return;
    if (QWidget *previous = std::exchange(m_content, content)) {
        layout()->removeWidget(previous);
        previous->hide();
        previous->deleteLater();
    }
    if (content)
        layout()->addWidget(content);
    fitContent();
}

void HudPanel::fitContent()
{
    // The panel's layout keeps the content's size hint from before a change inside it until
    // the content's own posted layout request has gone through: ask the content afresh. Not
    // from a layout request: updateGeometry() posts the next one, and the panel would spin.
    if (m_content)
        m_content->updateGeometry();
    fitHeight();
}

void HudPanel::fitHeight()
{
    const int height = std::max(1, layout()->sizeHint().height());
    if (height != this->height() || minimumHeight() != height)
        setFixedHeight(height);
}

bool HudPanel::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::LayoutRequest:
        fitHeight();
        break;
    case QEvent::WindowDeactivate:
        Q_EMIT deactivated();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void HudPanel::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT deactivated();
}

namespace {

// Whether a repaint of area stays clear of the panel's outline: its border and the
// antialiased pixel beside it. The outline is convex, so area's four corners tell.
bool insideOutline(const QRect &area, const QSize &panel)
{
    constexpr qreal margin = 2;
    constexpr qreal radius = HudStyle::cornerRadius - margin;
    const QRectF inner
        = QRectF(QPointF(0, 0), QSizeF(panel)).adjusted(margin, margin, -margin, -margin);
    const auto inside = [&](QPointF point) {
        if (!inner.contains(point))
            return false;
        // Within a corner's square, inside its arc.
        const QPointF centre(std::clamp(point.x(), inner.left() + radius, inner.right() - radius),
            std::clamp(point.y(), inner.top() + radius, inner.bottom() - radius));
        const QPointF offset = point - centre;
        return QPointF::dotProduct(offset, offset) <= radius * radius;
    };
    const QRectF edges(area);
    return inside(edges.topLeft()) && inside(edges.topRight()) && inside(edges.bottomLeft())
        && inside(edges.bottomRight());
}

} // namespace

void HudPanel::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QBrush background = HudStyle::panelBackground(palette(), m_translucent);
    // A typed key repaints a few boxes well inside the panel. There the outline would draw
    // plain background, and filling it takes a sixth of the work of rasterising the whole
    // antialiased outline again.
    const QRegion region = event->region();
    if (std::all_of(region.begin(), region.end(),
            [&](const QRect &area) { return insideOutline(area, size()); })) {
        for (const QRect &area : region)
            painter.fillRect(area, background);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(HudStyle::panelBorder(palette()), 1));
    painter.setBrush(background);
    painter.drawRoundedRect(bounds, HudStyle::cornerRadius, HudStyle::cornerRadius);
}

void HudPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_translucent) {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), HudStyle::cornerRadius, HudStyle::cornerRadius);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }
    Q_EMIT resized();
}

} // namespace runel::gui
