#pragma once

#include <QColor>
#include <QWidget>

namespace vx::ui {

// A round lamp: a filled circle with a thin dark outline, centred in the
// widget. Only its fill colour changes at run time.
class CircleShape final : public QWidget {
    Q_OBJECT

public:
    CircleShape(const QColor& brush, QWidget* parent);

    QColor Brush() const { return brush_; }
    void SetBrush(const QColor& brush);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_;
};

}  // namespace vx::ui
