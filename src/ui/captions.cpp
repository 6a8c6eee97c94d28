#include "ui/captions.h"

#include <QAbstractButton>

namespace vx::ui {

namespace {
const QString kMnemonicMark = QStringLiteral("&");
const QString kEscapedMark = QStringLiteral("&&");
}  // namespace

QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}
std::string FromQt(const QString& text) {
    return text.toStdString();
}

QString LiteralCaption(const std::string& text) {
    return ToQt(text).replace(kMnemonicMark, kEscapedMark);
}

void SetButtonCaption(QAbstractButton* button, const std::string& text) {
    button->setText(LiteralCaption(text));
}

std::string ButtonCaption(const QAbstractButton* button) {
    return FromQt(QString(button->text()).replace(kEscapedMark, kMnemonicMark));
}

}  // namespace vx::ui
