#pragma once

#include <string>

#include "operations/module_window.h"
#include "platform/settings_store.h"

namespace vx::ui {

inline constexpr const char* kLanguageFlagEnglish = "English";
inline constexpr const char* kLanguageFlagChineseGB = "ChineseGB";
inline constexpr const char* kLanguageFlagChineseBIG5 = "ChineseBIG5";

// The four values that survive between runs, with the language number that
// follows from the stored language name. Built with the start-up defaults.
struct StoredSettings {
    int ScanCommNo = 0;
    std::string ScanBaudRate = "19200,e,8,1";
    int ScanBaudRateNo = 5;
    std::string LanguageFlag = kLanguageFlagEnglish;
    int LanguageNo = 0;
};

// "ChineseGB" -> 1, "ChineseBIG5" -> 2, any other text -> 0; exact bytes.
int LanguageNoFromFlag(const std::string& languageFlag);

// Replaces each value of `settings` that the store holds. The first value
// that cannot be read (wrong type, unreadable) ends the reading silently:
// what was read before it stays, it and the later ones keep what they had.
// A stored line-settings index outside the list becomes the default index,
// so it can never select beyond the list.
void ReadStoredSettings(platform::SettingsStore& store, StoredSettings& settings);

// Writes ScanCommNo, ScanBaudRateNo and ScanBaudRate, in this order, creating
// the key if needed; the first failure ends the writing silently.
void SaveScanSettings(platform::SettingsStore& store, const ops::SharedState& state);

// Writes LanguageFlag, creating the key if needed; failures are silent.
void SaveLanguageFlag(platform::SettingsStore& store, const std::string& languageFlag);

}  // namespace vx::ui
