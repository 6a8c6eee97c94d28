// How long the window takes from creation to its first paint: the part of the
// program's start that is ours (the toolkit's own start is measured once).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <memory>

#include "doubles/recording_tone.h"
#include "platform/event_pump.h"
#include "platform/settings_store.h"
#include "sim/sim_bus.h"
#include "ui/frm_module.h"
#include "ui/shell/text_table.h"
#include "ui/vx_application.h"

namespace {

using namespace vx;

void BM_WindowCreateAndShow(benchmark::State& state) {
    const std::unique_ptr<platform::SettingsStore> store =
        platform::OpenFileSettingsStore("/nonexistent/vxconfig-bench/VXConfig.reg");
    sim::VirtualClock clock;
    sim::SimBus bus(clock);
    doubles::RecordingTone tone(clock);
    platform::InstallableEventPump events;
    for (auto _ : state) {
        ui::TfrmModule window({*store, clock, events, tone, bus});
        window.show();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        benchmark::DoNotOptimize(window.grab());
    }
}
BENCHMARK(BM_WindowCreateAndShow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer toolkit;
    toolkit.start();
    ui::Texts();
    int appArgc = 1;
    ui::VxApplication application(appArgc, argv);
    std::printf("text table and toolkit start: %lld ms\n",
                static_cast<long long>(toolkit.elapsed()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
