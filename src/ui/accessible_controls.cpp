#include "ui/accessible_controls.h"

#include <QAccessibleWidget>

#include "ui/circle_shape.h"

namespace vx::ui {

namespace {

// A lamp reads as a check box that cannot be ticked: checked while on.
class LampAccessible final : public QAccessibleWidget {
public:
    explicit LampAccessible(CircleShape* lamp) : QAccessibleWidget(lamp, QAccessible::CheckBox) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        const auto* lamp = static_cast<const CircleShape*>(widget());
        s.checkable = true;
        s.checked = lamp->ReportedOn();
        s.readOnly = true;
        s.busy = lamp->Busy();
        return s;
    }
};

// The status panel's text, read-only, so that its changes reach assistive
// tools as text changes of a status bar.
class StatusAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit StatusAccessible(StatusPanel* panel)
        : QAccessibleWidget(panel, QAccessible::StatusBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return Shown();
        return QAccessibleWidget::text(t);
    }

    // QAccessibleTextInterface: the whole text, nothing to select or edit.
    void selection(int, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        return Shown().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(Shown().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    QString Shown() const { return static_cast<const QLabel*>(widget())->text(); }
};

QAccessibleInterface* AccessibleFor(const QString&, QObject* object) {
    if (auto* lamp = qobject_cast<CircleShape*>(object))
        return new LampAccessible(lamp);
    if (auto* panel = qobject_cast<StatusPanel*>(object))
        return new StatusAccessible(panel);
    if (auto* announcement = qobject_cast<StatusAnnouncement*>(object))
        return new QAccessibleWidget(announcement, QAccessible::Notification);
    return nullptr;
}

// Long enough for a screen reader to work through the events of the window
// being disabled or enabled; short enough to follow the operation at once.
constexpr int kSettleMs = 600;

}  // namespace

StatusAnnouncement::StatusAnnouncement(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pnMsgAnnouncement"));
    setGeometry(0, 0, 0, 0);
}

void StatusAnnouncement::Announce(const QString& text) {
    setAccessibleName(text);
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

StatusPanel::StatusPanel(QWidget* parent)
    : QLabel(parent), announcement_(new StatusAnnouncement(this)) {
    settled_.setSingleShot(true);
    settled_.setInterval(kSettleMs);
    connect(&settled_, &QTimer::timeout, this, [this] { announcement_->Announce(text()); });
}

void StatusPanel::ShowStatus(const QString& status) {
    const QString before = text();
    setText(status);
    // Told even when the text is the same: a refusal or a second failure is
    // news to someone who cannot see the lamp.
    if (!QAccessible::isActive())
        return;
    QAccessibleTextUpdateEvent changed(this, 0, before, status);
    QAccessible::updateAccessibility(&changed);
    settled_.start();
}

void InstallAccessibleControls() {
    QAccessible::installFactory(&AccessibleFor);
}

}  // namespace vx::ui
