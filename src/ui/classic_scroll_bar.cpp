#include "ui/classic_scroll_bar.h"

#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStyleOptionSlider>
#include <QStylePainter>
#include <optional>

namespace vx::ui {

namespace {

std::optional<QAbstractSlider::SliderAction> ActionOf(int key) {
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            return QAbstractSlider::SliderSingleStepSub;
        case Qt::Key_Right:
        case Qt::Key_Down:
            return QAbstractSlider::SliderSingleStepAdd;
        case Qt::Key_PageUp:
            return QAbstractSlider::SliderPageStepSub;
        case Qt::Key_PageDown:
            return QAbstractSlider::SliderPageStepAdd;
        case Qt::Key_Home:
            return QAbstractSlider::SliderToMinimum;
        case Qt::Key_End:
            return QAbstractSlider::SliderToMaximum;
        default:
            return std::nullopt;
    }
}

}  // namespace

ClassicScrollBar::ClassicScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {}

void ClassicScrollBar::keyPressEvent(QKeyEvent* event) {
    if (const auto action = ActionOf(event->key())) {
        triggerAction(*action);
        event->accept();
        return;
    }
    QScrollBar::keyPressEvent(event);
}

void ClassicScrollBar::paintEvent(QPaintEvent* event) {
    QScrollBar::paintEvent(event);
    if (!hasFocus())
        return;
    // Styles draw no focus on a scroll bar; the desktop control marks its
    // thumb, and a keyboard user needs to see that the arrows will move it.
    QStyleOptionSlider slider;
    initStyleOption(&slider);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.state |= QStyle::State_KeyboardFocusChange;
    focus.rect =
        style()->subControlRect(QStyle::CC_ScrollBar, &slider, QStyle::SC_ScrollBarSlider, this);
    QStylePainter painter(this);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
}

}  // namespace vx::ui
