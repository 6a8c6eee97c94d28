#pragma once

#include <cstdint>
#include <string>

#include "link/link.h"
#include "operations/operations.h"
#include "protocol/commands.h"

namespace vx::ops {

// Every pause between commands, and around the live run's link check.
inline constexpr std::uint32_t kCommandPauseMs = 100;

// The two outcome tones: high for success (and a user's stop), low for a
// failure or a refusal.
inline constexpr unsigned kSuccessToneHz = 1000;
inline constexpr unsigned kFailureToneHz = 300;
inline constexpr unsigned kToneMs = 300;

// The busy indication's on value; anything else switches it off.
inline constexpr int kBusyOn = 1;
inline constexpr int kBusyOff = 0;

void BeepSuccess(OperationContext& ctx);
void BeepFailure(OperationContext& ctx);

// How a scan that found nothing ends: red lamp, the default line setting,
// "Module Not Find" and the low tone. The parallel search ends the same way.
void ShowModuleNotFound(OperationContext& ctx);

// "B00B" answered with a verified reply of exactly the identification length:
// the one test by which every operation decides that the module is there.
bool ModuleAnswersIdentify(link::Link& link);

// The port and line settings an operation reaches the module at.
ModuleFacts LinkFacts(const SharedState& state);
// What an identification reply (the whole frame, LF first) tells: the ID
// field and the serial number.
void TakeIdentity(const std::string& identifyReply, ModuleFacts& facts);

// The boxes of one row as flags, channel 1 first: `ticked` is
// NoNcTicked or OutputTicked.
protocol::ChannelFlags TickedBoxes(const ModuleWindow& w, bool (ModuleWindow::*ticked)(int) const);

// A line-settings index that is safe to look up: anything outside the list
// (a stored value nobody range-checked, an empty selection) is the default.
int SafeLineSettingsIndex(int index);

}  // namespace vx::ops
