#pragma once

#include <string>

namespace vx::ui {

// What a screen reader says of the window's controls beyond their captions:
// the names of controls that show no text, and what each control does. Like
// the captions, they come in the three languages and follow the language
// buttons; the window itself never shows them.
enum class Spoken : int {
    LockBaudRate,
    LockBaudRateHelp,
    LinkLamp,
    LinkLampHelp,
    InputLampHelp,
    IdScrollBarHelp,
    BaudRateListHelp,
    Mode,
    ModeListHelp,
    ScanHelp,
    SetIdHelp,
    SetBaudRateHelp,
    SetModeHelp,
    ProcessHelp,
    AllOutputs,
    AllOutputsHelp,
    FactoryHelp,
    EnglishHelp,
    ChineseGBHelp,
    ChineseBIG5Help,
    ExitHelp,
    NoNcBoxHelp,
    OutputBoxHelp,
};

inline constexpr int kSpokenCount = static_cast<int>(Spoken::OutputBoxHelp) + 1;

// Text `s` in language `languageNo` (0 English, 1 simplified, 2 traditional
// Chinese, as UTF-8); any other language number gives the English text.
const std::string& SpokenText(Spoken s, int languageNo);

// The language buttons are named in their own language whatever the window
// shows, so that a reader of any of the three can find theirs.
inline constexpr const char* kEnglishButtonName = "English";
inline constexpr const char* kChineseGBButtonName = "简体中文";
inline constexpr const char* kChineseBIG5ButtonName = "繁體中文";

}  // namespace vx::ui
