#include "ui/circle_shape.h"

#include <QPainter>

namespace vx::ui {

namespace {
constexpr qreal kOutlineWidth = 1.0;
}

CircleShape::CircleShape(const QColor& brush, QWidget* parent) : QWidget(parent), brush_(brush) {}

void CircleShape::SetBrush(const QColor& brush) {
    if (brush == brush_)
        return;
    brush_ = brush;
    update();
}

void CircleShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, kOutlineWidth));
    painter.setBrush(brush_);
    const qreal diameter = qMin(width(), height()) - 2 * kOutlineWidth;
    QRectF circle(0, 0, diameter, diameter);
    circle.moveCenter(QRectF(rect()).center());
    painter.drawEllipse(circle);
}

}  // namespace vx::ui
