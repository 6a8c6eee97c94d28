#pragma once

#include <QFont>
#include <QStringList>

class QWidget;

namespace vx::ui {

// The Latin typeface the window is laid out for. It travels inside the
// program, so every machine draws the same widths whatever sans fonts it has.
inline constexpr const char* kWindowFamily = "Liberation Sans";

// Makes the carried typeface known to the toolkit; the application object
// calls it once before any window exists.
void RegisterWindowFont();

enum class FontSystem { Linux, Windows };
#ifdef Q_OS_WIN
inline constexpr FontSystem kThisFontSystem = FontSystem::Windows;
#else
inline constexpr FontSystem kThisFontSystem = FontSystem::Linux;
#endif

// The carried typeface, then the CJK families in the order that draws the
// language's texts in its own glyph forms on that system: traditional
// Chinese from a traditional font first, simplified from a simplified one,
// each with the other language's fonts last, whichever the machine has.
QStringList WindowFamilies(int languageNo, FontSystem system);

// The window's typeface at a pixel size, for the language chosen last.
QFont WindowFont(int pixelSize, bool bold);

// Chooses the language whose fonts come first, for `root` and every control
// in it that has a font of its own, and for every font made from now on.
void UseLanguageFonts(QWidget& root, int languageNo);

}  // namespace vx::ui
