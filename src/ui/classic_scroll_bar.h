#pragma once

#include <QScrollBar>

namespace vx::ui {

// A horizontal scroll bar whose keys move it the way a desktop scroll bar
// control does: Left/Up and Page Up towards the minimum, Right/Down and
// Page Down towards the maximum, Home and End to the ends.
class ClassicScrollBar final : public QScrollBar {
    Q_OBJECT

public:
    explicit ClassicScrollBar(QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vx::ui
