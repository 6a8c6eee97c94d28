#pragma once

#include "platform/settings_store.h"
#include "vxctl/options.h"
#include "vxctl/output.h"

namespace vx::ctl {

// `vxctl ports`: lists, sets or removes the entries of the Ports table in
// `store`, and answers the exit code. A value the table's reader would not
// take is a usage error, and nothing is written.
int RunPorts(const Options& options, platform::SettingsStore& store, Printer& printer);

}  // namespace vx::ctl
