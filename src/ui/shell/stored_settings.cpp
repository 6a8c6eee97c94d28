#include "ui/shell/stored_settings.h"

#include <cstdint>
#include <optional>

#include "protocol/line_settings.h"
#include "ui/shell/text_table.h"

namespace vx::ui {

namespace {

constexpr const char* kScanCommNo = "ScanCommNo";
constexpr const char* kScanBaudRate = "ScanBaudRate";
constexpr const char* kScanBaudRateNo = "ScanBaudRateNo";
constexpr const char* kLanguageFlag = "LanguageFlag";

// The store keeps 32-bit words; the program's integers are their signed view.
int FromStored(std::uint32_t word) {
    return static_cast<int>(static_cast<std::int32_t>(word));
}
std::uint32_t ToStored(int value) {
    return static_cast<std::uint32_t>(value);
}

// Each reader leaves `target` alone and answers false when the value exists
// but cannot be read, which ends the whole reading; an absent value gives
// the fallback.
bool ReadInteger(const platform::SettingsKey& key, const char* name, int fallback, int& target) {
    if (!key.Exists(name)) {
        target = fallback;
        return true;
    }
    const std::optional<std::uint32_t> word = key.ReadInteger(name);
    if (!word)
        return false;
    target = FromStored(*word);
    return true;
}

bool ReadText(const platform::SettingsKey& key, const char* name, const char* fallback,
              std::string& target) {
    if (!key.Exists(name)) {
        target = fallback;
        return true;
    }
    std::optional<std::string> text = key.ReadText(name);
    if (!text)
        return false;
    target = std::move(*text);
    return true;
}

}  // namespace

int LanguageNoFromFlag(const std::string& languageFlag) {
    int languageNo = kLanguageEnglish;
    if (languageFlag == kLanguageFlagChineseGB)
        languageNo = kLanguageChineseGB;
    if (languageFlag == kLanguageFlagChineseBIG5)
        languageNo = kLanguageChineseBIG5;
    return languageNo;
}

void ReadStoredSettings(platform::SettingsStore& store, StoredSettings& settings) {
    const StoredSettings defaults;
    const std::unique_ptr<platform::SettingsKey> key = store.OpenKey(platform::kProgramKeyPath);
    if (!key)
        return;
    if (!ReadInteger(*key, kScanCommNo, defaults.ScanCommNo, settings.ScanCommNo))
        return;
    if (!ReadText(*key, kScanBaudRate, defaults.ScanBaudRate.c_str(), settings.ScanBaudRate)) {
        return;
    }
    if (!ReadInteger(*key, kScanBaudRateNo, defaults.ScanBaudRateNo, settings.ScanBaudRateNo)) {
        return;
    }
    if (!protocol::IsLineSettingsIndex(settings.ScanBaudRateNo)) {
        settings.ScanBaudRateNo = protocol::kDefaultLineSettingsIndex;
    }
    if (!ReadText(*key, kLanguageFlag, kLanguageFlagEnglish, settings.LanguageFlag))
        return;
    settings.LanguageNo = LanguageNoFromFlag(settings.LanguageFlag);
}

void SaveScanSettings(platform::SettingsStore& store, const ops::SharedState& state) {
    const std::unique_ptr<platform::SettingsKey> key = store.CreateKey(platform::kProgramKeyPath);
    if (!key)
        return;
    if (!key->WriteInteger(kScanCommNo, ToStored(state.ScanCommNo)))
        return;
    if (!key->WriteInteger(kScanBaudRateNo, ToStored(state.ScanBaudRateNo)))
        return;
    key->WriteText(kScanBaudRate, state.ScanBaudRate);
}

void SaveLanguageFlag(platform::SettingsStore& store, const std::string& languageFlag) {
    const std::unique_ptr<platform::SettingsKey> key = store.CreateKey(platform::kProgramKeyPath);
    if (key)
        key->WriteText(kLanguageFlag, languageFlag);
}

}  // namespace vx::ui
