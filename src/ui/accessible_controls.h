#pragma once

#include <QLabel>

namespace vx::ui {

// The status panel: shown as a plain panel, but read by assistive tools as
// the window's status bar, and every new status is told to them as it is
// written, so that a screen-reader user learns how an operation ended.
class StatusPanel final : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    void ShowStatus(const QString& text);
};

// Teaches the toolkit's accessibility layer the window's own controls: the
// lamps (on or off, busy) and the status panel. Called once by the
// application object.
void InstallAccessibleControls();

}  // namespace vx::ui
