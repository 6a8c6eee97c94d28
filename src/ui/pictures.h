#pragma once

#include <QIcon>
#include <QSize>
#include <QString>

namespace vx::ui {

// The pictures the window draws for itself, each at normal and double
// density so they stay sharp on high-resolution screens.

inline constexpr QSize kFactoryPictureSize{100, 50};

// The window's icon: a module with two rows of lamps.
QIcon ProgramIcon();

// The given characters in red, for the language buttons.
QIcon CharactersPicture(const QString& characters, QSize size);

// The maker's name over the module's factory settings.
QIcon FactoryPicture();

// A block of ticked boxes, for the all-outputs button.
QIcon AllOutputsPicture(QSize size);

}  // namespace vx::ui
