// Which CJK font draws each language first: a stock Windows has a
// traditional and a simplified Microsoft family, and each language must get
// its own, so that traditional Chinese shows traditional glyph forms.
#include <gtest/gtest.h>

#include "ui/shell/text_table.h"
#include "ui/window_font.h"

namespace vx::ui {
namespace {

struct FontCase {
    const char* name;
    FontSystem system;
    int languageNo;
    const char* first;   // right after the carried Latin face
    const char* second;  // where the first is not installed
};

void PrintTo(const FontCase& c, std::ostream* os) {
    *os << c.name;
}

class FontOrderTest : public ::testing::TestWithParam<FontCase> {};

TEST_P(FontOrderTest, PutsTheLanguagesOwnFontsFirst) {
    const FontCase& c = GetParam();
    const QStringList families = WindowFamilies(c.languageNo, c.system);
    ASSERT_GE(families.size(), 3);
    EXPECT_EQ(families.at(0), QString::fromLatin1(kWindowFamily));
    EXPECT_EQ(families.at(1), QString::fromLatin1(c.first));
    EXPECT_EQ(families.at(2), QString::fromLatin1(c.second));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FontOrderTest,
    ::testing::Values(FontCase{"WindowsTraditional", FontSystem::Windows, kLanguageChineseBIG5,
                               "Microsoft JhengHei", "Noto Sans CJK TC"},
                      FontCase{"WindowsSimplified", FontSystem::Windows, kLanguageChineseGB,
                               "Microsoft YaHei", "Noto Sans CJK SC"},
                      FontCase{"WindowsEnglish", FontSystem::Windows, kLanguageEnglish,
                               "Microsoft YaHei", "Noto Sans CJK SC"},
                      FontCase{"LinuxTraditional", FontSystem::Linux, kLanguageChineseBIG5,
                               "Noto Sans CJK TC", "WenQuanYi Micro Hei"},
                      FontCase{"LinuxSimplified", FontSystem::Linux, kLanguageChineseGB,
                               "WenQuanYi Micro Hei", "Noto Sans CJK SC"}),
    [](const auto& info) { return std::string{info.param.name}; });

}  // namespace
}  // namespace vx::ui
