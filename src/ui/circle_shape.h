#pragma once

#include <QColor>
#include <QWidget>

namespace vx::ui {

// A round lamp: a filled circle with a thin dark outline, centred in the
// widget. Only its fill colour changes at run time.
//
// For assistive tools the lamp is on while it shows its lit colour. While it
// is busy (blinking) the blinking is not reported, only that it is busy: a
// screen reader should not chatter five times a second.
class CircleShape final : public QWidget {
    Q_OBJECT

public:
    CircleShape(const QColor& brush, const QColor& litBrush, QWidget* parent);

    QColor Brush() const { return brush_; }
    void SetBrush(const QColor& brush);

    // What assistive tools are told: on or off, and busy.
    bool ReportedOn() const { return reportedOn_; }
    bool Busy() const { return busy_; }
    void SetBusy(bool busy);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ReportOnOff();

    QColor brush_;
    QColor litBrush_;
    bool busy_ = false;
    bool reportedOn_;
};

}  // namespace vx::ui
