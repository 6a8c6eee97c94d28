#include "ui/window_font.h"

#include <QByteArray>
#include <QFontDatabase>
#include <QResource>
#include <QWidget>
#include <algorithm>
#include <array>
#include <iterator>

#include "ui/shell/text_table.h"

namespace vx::ui {

namespace {

constexpr std::size_t kCjkFamilyCount = 4;
using CjkFamilies = std::array<const char*, kCjkFamilyCount>;

struct FontOrder {
    FontSystem system;
    int languageNo;
    CjkFamilies families;
};

// A stock Windows 10 or 11 has the two Microsoft families; the Noto ones
// come with a language pack or by hand. Linux has whichever its packages
// bring. English needs no CJK glyphs but the language buttons' names, which
// the simplified order draws as well as any.
constexpr std::array kFontOrders{
    FontOrder{FontSystem::Windows,
              kLanguageChineseBIG5,
              {"Microsoft JhengHei", "Noto Sans CJK TC", "Microsoft YaHei", "Noto Sans CJK SC"}},
    FontOrder{FontSystem::Windows,
              kLanguageChineseGB,
              {"Microsoft YaHei", "Noto Sans CJK SC", "Microsoft JhengHei", "Noto Sans CJK TC"}},
    FontOrder{
        FontSystem::Linux,
        kLanguageChineseBIG5,
        {"Noto Sans CJK TC", "WenQuanYi Micro Hei", "Noto Sans CJK SC", "Droid Sans Fallback"}},
    FontOrder{
        FontSystem::Linux,
        kLanguageChineseGB,
        {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans CJK TC", "Droid Sans Fallback"}},
};

int chosenLanguage = kLanguageEnglish;

}  // namespace

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

QStringList WindowFamilies(int languageNo, FontSystem system) {
    const int ordered =
        languageNo == kLanguageChineseBIG5 ? kLanguageChineseBIG5 : kLanguageChineseGB;
    const auto order = std::find_if(
        std::begin(kFontOrders), std::end(kFontOrders),
        [&](const FontOrder& o) { return o.system == system && o.languageNo == ordered; });
    QStringList families{QString::fromLatin1(kWindowFamily)};
    for (const char* family : order->families) families.append(QString::fromLatin1(family));
    return families;
}

QFont WindowFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(WindowFamilies(chosenLanguage, kThisFontSystem));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void UseLanguageFonts(QWidget& root, int languageNo) {
    chosenLanguage = languageNo;
    const QStringList families = WindowFamilies(languageNo, kThisFontSystem);
    QList<QWidget*> widgets = root.findChildren<QWidget*>();
    widgets.prepend(&root);
    for (QWidget* widget : widgets) {
        if (!widget->testAttribute(Qt::WA_SetFont))
            continue;
        QFont font = widget->font();
        font.setFamilies(families);
        widget->setFont(font);
    }
}

}  // namespace vx::ui
