#include "platform/memory_settings_store.h"

#include "settings_store_contract.h"

namespace vx::platform::testing {
namespace {

struct MemoryStoreMaker {
    std::unique_ptr<SettingsStore> Open() { return std::make_unique<MemorySettingsStore>(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, SettingsStoreContract, MemoryStoreMaker);

}  // namespace
}  // namespace vx::platform::testing
