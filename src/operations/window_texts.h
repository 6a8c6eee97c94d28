#pragma once

#include <string>

#include "operations/module_window.h"

namespace vx::ops {

// What the window shows beside the text table's entries: the identity
// panels, and the literal suffixes of the status texts, the same in every
// language. The operations and the window's first drawing share them.

// What the panels show while no module is known.
inline constexpr const char* kSerialPlaceholder = "________";
inline constexpr const char* kVersionPlaceholder = "__.__-__";
inline constexpr const char* kIdPlaceholder = "__";

// pnSerial and pnVersion: the caption, " : " and the value.
std::string SerialPanelText(const ModuleWindow& w, const std::string& serial);
std::string VersionPanelText(const ModuleWindow& w, const std::string& version);

// " : #" and the port number, the suffix of the scan's port messages.
std::string PortSuffix(int portNumber);
// The live run's port that would not open: "Open COM : 3 Error".
std::string PortErrorText(const ModuleWindow& w, int portNumber);

}  // namespace vx::ops
