#pragma once

#include <memory>

#include "platform/settings_store.h"

namespace vx::ctl {

// A store that lives only as long as the program: --no-store runs against
// it, so the machine's store is neither read nor written.
std::unique_ptr<platform::SettingsStore> CreateMemoryStore();

}  // namespace vx::ctl
