// What reading the settings store costs: a store of 10,000 values, the worst
// text a mebibyte can hold, and the refusal of files that are too large or
// not text. The targets: under 50 ms for 10,000 values, under 10 ms to refuse.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/settings_store.h"
#include "temp_folder.h"

namespace {

using namespace vx;

constexpr const char* kHeader =
    "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\TAVRO\\VXConfig]\n";
constexpr std::size_t kMebibyte = std::size_t{1} << 20;

void ReadStore(benchmark::State& state, const std::string& text, bool expectKey) {
    platform::testing::TempFolder folder;
    const std::string path = folder.File("VXConfig.reg");
    platform::testing::WriteFileText(path, text);
    for (auto _ : state) {
        auto key = platform::OpenFileSettingsStore(path)->OpenKey(platform::kProgramKeyPath);
        if ((key != nullptr) != expectKey)
            state.SkipWithError("the store was not read as expected");
        benchmark::DoNotOptimize(key);
    }
}

void BM_ReadStoreOfTenThousandValues(benchmark::State& state) {
    std::string text = kHeader;
    constexpr int kValues = 10000;
    for (int i = 0; i < kValues; ++i) text += "\"Value" + std::to_string(i) + "\"=dword:00000001\n";
    ReadStore(state, text, true);
}
BENCHMARK(BM_ReadStoreOfTenThousandValues)->Unit(benchmark::kMillisecond);

// The most lines, and the most values, that fit under the size limit.
void BM_ReadMebibyteOfTinyLines(benchmark::State& state) {
    std::string text = kHeader;
    while (text.size() + 2 <= kMebibyte) text += "x\n";
    ReadStore(state, text, true);
}
BENCHMARK(BM_ReadMebibyteOfTinyLines)->Unit(benchmark::kMillisecond);

void BM_ReadMebibyteOfTinyValues(benchmark::State& state) {
    std::string text = kHeader;
    for (int i = 0; text.size() + 16 <= kMebibyte; ++i) text += "\"" + std::to_string(i) + "\"=-\n";
    ReadStore(state, text, true);
}
BENCHMARK(BM_ReadMebibyteOfTinyValues)->Unit(benchmark::kMillisecond);

void BM_RefuseHundredMegabyteStore(benchmark::State& state) {
    platform::testing::TempFolder folder;
    const std::string path = folder.File("VXConfig.reg");
    platform::testing::WriteFileText(path, kHeader);
    constexpr off_t kHundredMegabytes = off_t{100} << 20;
    if (truncate(path.c_str(), kHundredMegabytes) != 0)
        state.SkipWithError("cannot grow the file");
    for (auto _ : state) {
        auto key = platform::OpenFileSettingsStore(path)->OpenKey(platform::kProgramKeyPath);
        benchmark::DoNotOptimize(key);
    }
}
BENCHMARK(BM_RefuseHundredMegabyteStore)->Unit(benchmark::kMillisecond);

// A binary file is found out only at its end, after a full mebibyte.
void BM_RefuseBinaryStore(benchmark::State& state) {
    std::string text = kHeader;
    text.resize(kMebibyte - 1, 'x');
    text += '\0';
    ReadStore(state, text, false);
}
BENCHMARK(BM_RefuseBinaryStore)->Unit(benchmark::kMillisecond);

}  // namespace
