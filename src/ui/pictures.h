#pragma once

#include <QByteArray>
#include <QIcon>
#include <QSize>
#include <QString>
#include <optional>

namespace vx::ui {

// The pictures the window draws for itself, each at normal and double
// density so they stay sharp on high-resolution screens.

inline constexpr QSize kFactoryPictureSize{100, 50};
inline constexpr QSize kCharactersPictureSize{40, 22};

// The red characters on the two Chinese language buttons.
enum class Characters { Simplified, Traditional };

// The window's icon: a module with two rows of lamps.
QIcon ProgramIcon();

// The red characters 簡体 or 繁體, for the language buttons.
QIcon CharactersPicture(Characters characters);

// Every picture of characters, drawn as the window draws it at the display
// densities met most, in the form the program carries them in: with them the
// window shows in English without looking up a CJK font (the largest single
// cost of its start-up). Other densities are drawn when first shown. Nothing
// when no font on this machine has the characters.
std::optional<QByteArray> DrawCarriedPictures();

// The maker's name over the module's factory settings.
QIcon FactoryPicture();

// A block of ticked boxes, for the all-outputs button.
QIcon AllOutputsPicture(QSize size);

}  // namespace vx::ui
