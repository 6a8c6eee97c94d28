#pragma once

#include <QLabel>
#include <QTimer>

namespace vx::ui {

// What the status panel says to a screen reader once a status has settled:
// an empty, never-drawn notification inside the panel. Screen readers speak a
// notification as it appears, wherever the focus is, and keep it in their
// history of messages.
class StatusAnnouncement final : public QWidget {
    Q_OBJECT

public:
    explicit StatusAnnouncement(QWidget* parent);

    void Announce(const QString& text);
};

// The status panel: shown as a plain panel, but read by assistive tools as
// the window's status bar. Every new status is told to them as a change of
// its text, and once it has stood for a moment it is announced: disabling
// and enabling the window at the start and end of an operation sends a burst
// of events that screen readers drop news in, so the announcement waits for
// that to pass. Nothing of this runs without an assistive tool.
class StatusPanel final : public QLabel {
    Q_OBJECT

public:
    explicit StatusPanel(QWidget* parent);

    void ShowStatus(const QString& text);

private:
    StatusAnnouncement* announcement_;
    QTimer settled_;
};

// Teaches the toolkit's accessibility layer the window's own controls: the
// lamps (on or off, busy), the status panel and its announcement. Called
// once by the application object.
void InstallAccessibleControls();

}  // namespace vx::ui
