#include <gtest/gtest.h>

#include "ui/vx_application.h"
#include "window_rig.h"

namespace vx::ui::testing {
std::vector<QString>& ReportedErrors() {
    static std::vector<QString> reported;
    return reported;
}
}  // namespace vx::ui::testing

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    vx::ui::VxApplication application(argc, argv, [](const QString& message) {
        vx::ui::testing::ReportedErrors().push_back(message);
    });
    return RUN_ALL_TESTS();
}
