#include "ui/classic_scroll_bar.h"

#include <QKeyEvent>
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

}  // namespace vx::ui
