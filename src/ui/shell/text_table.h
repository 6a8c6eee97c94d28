#pragma once

#include <array>
#include <string>

#include "operations/messages.h"

namespace vx::ui {

inline constexpr int kLanguageCount = 3;
inline constexpr int kLanguageEnglish = 0;
inline constexpr int kLanguageChineseGB = 1;
inline constexpr int kLanguageChineseBIG5 = 2;

// Every language-dependent text of the window: one row per message, one
// column per language (English, simplified Chinese, traditional Chinese).
// The Chinese texts are kept as UTF-8 so that they reach the screen as the
// characters they are, whatever the machine's locale.
class TextTable {
public:
    using Row = std::array<std::string, kLanguageCount>;

    TextTable();

    // Message `m` in language `languageNo`; a language number outside 0..2
    // gives the English text.
    const std::string& Text(ops::Msg m, int languageNo) const;

private:
    std::array<Row, ops::kMessageCount> rows_;
};

// The one table of the program, built on first use and never changed.
const TextTable& Texts();

// Shorthand for Texts().Text(m, languageNo).
const std::string& Text(ops::Msg m, int languageNo);

}  // namespace vx::ui
