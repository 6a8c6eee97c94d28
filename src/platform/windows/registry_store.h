#pragma once

#include <memory>

#include "platform/settings_store.h"

namespace vx::platform {

// Whether the machine key takes this user's writes. Windows answers from the
// key's security; tests make it refuse, as Windows does for a standard user,
// since Wine lets every user write there.
enum class MachineWrites { AsTheSystemAllows, Denied };

// The registry store of OpenSystemSettingsStore, with the machine key's
// answer to writes as given.
std::unique_ptr<SettingsStore> OpenRegistryStore(MachineWrites machineWrites);

}  // namespace vx::platform
