// The application object: an exception that escapes an event handler is
// reported, and the program goes on.
#include <gtest/gtest.h>

#include <QTimer>
#include <stdexcept>

#include "window_rig.h"

namespace vx::ui::testing {
namespace {

TEST(ApplicationObject, ReportsAnEscapedExceptionAndGoesOn) {
    class Thrower final : public QObject {
    public:
        bool event(QEvent* event) override {
            if (event->type() == QEvent::User)
                throw std::runtime_error("handler failed");
            return QObject::event(event);
        }
    } thrower;
    ReportedErrors().clear();
    QEvent user(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &user);
    ASSERT_EQ(ReportedErrors().size(), 1u);
    EXPECT_EQ(ReportedErrors().front(), "handler failed");
    bool later = false;
    QTimer::singleShot(0, [&later] { later = true; });
    EXPECT_TRUE(RunEventsUntil([&later] { return later; }));
}

}  // namespace
}  // namespace vx::ui::testing
