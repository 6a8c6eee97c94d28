#pragma once

#include <array>
#include <string>

namespace vx::link {

inline constexpr int kLineSettingsCount = 12;
inline constexpr int kDefaultLineSettingsIndex = 5;

// The twelve line settings the tool offers, in the order of the baud-rate list.
extern const std::array<std::string, kLineSettingsCount> LineSettingsList;

}  // namespace vx::link
