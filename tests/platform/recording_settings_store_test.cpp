// The recording store that the window's and the shell's tests run over, held
// to what every store promises, values of another type included.
#include "doubles/recording_settings_store.h"

#include "settings_store_contract.h"

namespace vx::platform::testing {
namespace {

struct RecordingStoreMaker {
    std::unique_ptr<SettingsStore> Open() {
        auto store = std::make_unique<doubles::RecordingSettingsStore>();
        made = store.get();
        return store;
    }
    void PlantOther(const std::string& keyPath, const std::string& name) {
        made->Put(name, doubles::OtherValue{}, keyPath);
    }
    doubles::RecordingSettingsStore* made = nullptr;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Recording, SettingsStoreContract, RecordingStoreMaker);
INSTANTIATE_TYPED_TEST_SUITE_P(Recording, SettingsStoreOtherTypes, RecordingStoreMaker);

}  // namespace
}  // namespace vx::platform::testing
