#include "ui/window_font.h"

#include <QStringList>

namespace vx::ui {

QFont WindowFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK TC"),
                      QStringLiteral("Droid Sans Fallback"), QStringLiteral("Microsoft YaHei"),
                      QStringLiteral("Microsoft JhengHei")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace vx::ui
