// Writes the four stored values into a settings file, as another run of the
// program would: settings-writer <file> <ScanCommNo> <ScanBaudRateNo> <ScanBaudRate> <LanguageFlag>
#include <cstdio>
#include <string>

#include "platform/settings_store.h"
#include "ui/shell/stored_settings.h"

int main(int argc, char** argv) {
    constexpr int kArguments = 6;
    if (argc != kArguments) {
        std::fprintf(stderr, "usage: %s file commNo baudNo baud flag\n", argv[0]);
        return 2;
    }
    const auto store = vx::platform::OpenFileSettingsStore(argv[1]);
    vx::ops::SharedState state;
    state.ScanCommNo = std::stoi(argv[2]);
    state.ScanBaudRateNo = std::stoi(argv[3]);
    state.ScanBaudRate = argv[4];
    vx::ui::SaveScanSettings(*store, state);
    vx::ui::SaveLanguageFlag(*store, argv[5]);
    return 0;
}
