#pragma once

#include <QFont>

namespace vx::ui {

// The window's typeface at a pixel size: a plain sans-serif close to the
// classic dialog font in width, with CJK fonts behind it for the Chinese
// texts, whichever of them the machine has.
QFont WindowFont(int pixelSize, bool bold);

}  // namespace vx::ui
