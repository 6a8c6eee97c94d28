#pragma once

#include <QFont>

namespace vx::ui {

// The Latin typeface the window is laid out for. It travels inside the
// program, so every machine draws the same widths whatever sans fonts it has.
inline constexpr const char* kWindowFamily = "Liberation Sans";

// Makes the carried typeface known to the toolkit; the application object
// calls it once before any window exists.
void RegisterWindowFont();

// The window's typeface at a pixel size, with CJK fonts behind it for the
// Chinese texts, whichever of them the machine has.
QFont WindowFont(int pixelSize, bool bold);

}  // namespace vx::ui
