#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QString>
#include <cstdio>
#include <vector>

#include "ui/vx_application.h"

int main(int argc, char** argv) {
    // The module must answer within 150 ms of a command, on a machine that may
    // be busy building. Where allowed, this process and the vxsim it starts
    // get the processor ahead of ordinary jobs; elsewhere they run as they are.
    constexpr int kAheadOfOrdinaryJobs = -10;
    setpriority(PRIO_PROCESS, 0, kAheadOfOrdinaryJobs);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    std::vector<QString> reported;
    vx::ui::VxApplication application(argc, argv,
                                      [&reported](const QString& m) { reported.push_back(m); });
    const int result = RUN_ALL_TESTS();
    if (!reported.empty()) {
        std::fprintf(stderr, "an exception escaped a handler: %s\n",
                     reported.front().toStdString().c_str());
        return 1;
    }
    return result;
}
