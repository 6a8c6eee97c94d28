#include "ui/window_font.h"

#include <QByteArray>
#include <QFontDatabase>
#include <QResource>
#include <QStringList>
#include <array>

namespace vx::ui {

void RegisterWindowFont() {
    constexpr std::array kFaces{":/fonts/window-regular.ttf", ":/fonts/window-bold.ttf"};
    for (const char* face : kFaces) {
        // The faces are kept uncompressed inside the program, so the toolkit
        // reads them where they lie instead of unpacking a copy of each.
        const QResource resource(QString::fromLatin1(face));
        QFontDatabase::addApplicationFontFromData(
            QByteArray::fromRawData(reinterpret_cast<const char*>(resource.data()),
                                    static_cast<qsizetype>(resource.size())));
    }
}

QFont WindowFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies({QString::fromLatin1(kWindowFamily), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK TC"),
                      QStringLiteral("Droid Sans Fallback"), QStringLiteral("Microsoft YaHei"),
                      QStringLiteral("Microsoft JhengHei")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace vx::ui
