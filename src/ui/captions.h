#pragma once

#include <QString>
#include <string>

class QAbstractButton;

namespace vx::ui {

// Texts travel as UTF-8 between the operations and the window.
QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

// A caption shown as it is: an ampersand in it stays an ampersand and never
// turns into a keyboard accelerator.
QString LiteralCaption(const std::string& text);
void SetButtonCaption(QAbstractButton* button, const std::string& text);
std::string ButtonCaption(const QAbstractButton* button);

}  // namespace vx::ui
