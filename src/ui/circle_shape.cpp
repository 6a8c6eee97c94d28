#include "ui/circle_shape.h"

#include <QAccessible>
#include <QPainter>

namespace vx::ui {

namespace {

constexpr qreal kOutlineWidth = 1.0;

void TellAssistiveTools(QObject* lamp, void (*mark)(QAccessible::State&)) {
    if (!QAccessible::isActive())
        return;
    QAccessible::State changed;
    mark(changed);
    QAccessibleStateChangeEvent event(lamp, changed);
    QAccessible::updateAccessibility(&event);
}

}  // namespace

CircleShape::CircleShape(const QColor& brush, const QColor& litBrush, QWidget* parent)
    : QWidget(parent), brush_(brush), litBrush_(litBrush), reportedOn_(brush == litBrush) {}

void CircleShape::SetBrush(const QColor& brush) {
    if (brush == brush_)
        return;
    brush_ = brush;
    update();
    ReportOnOff();
}

void CircleShape::SetBusy(bool busy) {
    if (busy == busy_)
        return;
    busy_ = busy;
    TellAssistiveTools(this, [](QAccessible::State& s) { s.busy = true; });
    ReportOnOff();
}

void CircleShape::ReportOnOff() {
    const bool on = brush_ == litBrush_;
    if (busy_ || on == reportedOn_)
        return;
    reportedOn_ = on;
    TellAssistiveTools(this, [](QAccessible::State& s) { s.checked = true; });
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
