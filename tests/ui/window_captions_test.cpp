// The window's captions in each language: the entries of the text table,
// each fitting its control, and never a text of another language painted.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <array>
#include <map>
#include <optional>
#include <set>

#include "protocol/line_settings.h"
#include "ui/circle_shape.h"
#include "ui/shell/text_table.h"
#include "ui/window_font.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

using ops::Msg;

QString Message(Msg m, int languageNo) {
    return QString::fromStdString(Text(m, languageNo));
}

QString ButtonText(const QAbstractButton* b) {
    return QString(b->text()).replace("&&", "&");
}

constexpr const char* kLanguageNames[] = {"English", "ChineseGB", "ChineseBIG5"};

// The caption of every control that shows one, by the control's name: the
// window's title, the tab, labels, group boxes and buttons with a text.
std::map<QString, QString> Captions(const TfrmModule& w) {
    std::map<QString, QString> captions{
        {w.objectName(), w.windowTitle()},
        {w.tsDefault->objectName(), w.pcDefault->tabText(w.pcDefault->indexOf(w.tsDefault))}};
    for (const QWidget* control : w.findChildren<QWidget*>()) {
        const QString name = control->objectName();
        const auto* button = qobject_cast<const QAbstractButton*>(control);
        if (!control->isVisible())
            continue;
        if (auto* label = qobject_cast<const QLabel*>(control))
            captions[name] = label->text();
        else if (auto* group = qobject_cast<const QGroupBox*>(control))
            captions[name] = group->title();
        else if (button && !button->text().isEmpty())
            captions[name] = ButtonText(button);
    }
    return captions;
}

// A button that shows only a picture is known by its name, which a screen
// reader says; a bare box has its name too.
void ExpectPicturesNamed(const TfrmModule& w) {
    for (const QAbstractButton* button : w.findChildren<QAbstractButton*>()) {
        const bool named = !button->isVisible() || !button->text().isEmpty() ||
                           !button->accessibleName().isEmpty();
        EXPECT_TRUE(named) << button->objectName().toStdString();
    }
}

// A caption as an entry of the text table with text around it, the entry
// the longest that it holds; no message when it holds none.
struct Decorated {
    std::optional<Msg> message;
    QString before, after;
};

Decorated Decompose(const QString& caption, int languageNo) {
    Decorated made;
    qsizetype longest = 0;
    for (int m = 0; m < ops::kMessageCount; ++m) {
        const QString entry = Message(static_cast<Msg>(m), languageNo);
        const qsizetype at = caption.indexOf(entry);
        if (at >= 0 && entry.size() > longest) {
            longest = entry.size();
            made = {static_cast<Msg>(m), caption.left(at), caption.mid(at + entry.size())};
        }
    }
    return made;
}

// The window started in each stored language shows, wherever a caption
// changes with the language, that language's entry of the text table, with
// the same text around it in all three; every other caption is the same in
// all three and holds no entry of the table.
TEST(WindowCaptions, AreTheStoredLanguagesEntriesOfTheTextTable) {
    std::array<std::map<QString, QString>, kLanguageCount> shown;
    for (int languageNo = 0; languageNo < kLanguageCount; ++languageNo) {
        WindowRig rig;
        rig.store.Put("LanguageFlag", std::string(kLanguageNames[languageNo]));
        shown[languageNo] = Captions(rig.Show());
        ExpectPicturesNamed(*rig.window);
    }
    int fromTheTable = 0;
    for (const auto& [name, english] : shown[kLanguageEnglish]) {
        const std::string control = name.toStdString();
        EXPECT_FALSE(english.isEmpty()) << control << " shows nothing";
        const Decorated made = Decompose(english, kLanguageEnglish);
        fromTheTable += made.message ? 1 : 0;
        for (int languageNo = 0; languageNo < kLanguageCount; ++languageNo) {
            const QString expected =
                made.message ? made.before + Message(*made.message, languageNo) + made.after
                             : english;
            EXPECT_EQ(shown[languageNo][name], expected) << control << " in " << languageNo;
        }
    }
    EXPECT_GT(fromTheTable, 0);
}

class WindowLanguage : public ::testing::TestWithParam<int> {};

// The width a control's own content needs, leaving out the minimum sizes
// that styles give push buttons.
int ContentWidth(const QWidget* widget) {
    constexpr int kButtonPadding = 6, kIconGap = 4;
    if (auto* box = qobject_cast<const QCheckBox*>(widget))
        return box->sizeHint().width();
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->frameWidth();
    }
    auto* button = qobject_cast<const QAbstractButton*>(widget);
    const int text = button->fontMetrics().horizontalAdvance(ButtonText(button));
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width();
    const bool textUnderIcon = qobject_cast<const QToolButton*>(button) != nullptr;
    const int content =
        textUnderIcon ? std::max(text, icon) : text + icon + (text && icon ? kIconGap : 0);
    return content + 2 * kButtonPadding;
}

TEST_P(WindowLanguage, CaptionsCarryNoAcceleratorAndFitTheirControls) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    const std::array<QPushButton*, 3> languageButtons{w.btnEng, w.btnGB, w.btnBIG5};
    languageButtons[GetParam()]->click();
    EXPECT_EQ(QFontInfo(w.btnScan->font()).family(), kWindowFamily);
    for (QAbstractButton* button : w.findChildren<QAbstractButton*>()) {
        EXPECT_TRUE(QKeySequence::mnemonic(button->text()).isEmpty())
            << button->objectName().toStdString();
    }
    std::vector<QWidget*> shown;
    for (QWidget* control : w.findChildren<QWidget*>()) {
        const bool hasText =
            qobject_cast<QLabel*>(control) || qobject_cast<QAbstractButton*>(control);
        if (hasText && control->isVisible() && control != w.pnMsg)
            shown.push_back(control);
    }
    ASSERT_GE(shown.size(), 66u);
    for (const QWidget* control : shown) {
        EXPECT_LE(ContentWidth(control), control->width()) << control->objectName().toStdString();
    }
    // The caption a live run shows instead.
    w.SetProcessCaption(Text(Msg::CancelProcessModule, GetParam()));
    EXPECT_LE(ContentWidth(w.btnProcess), w.btnProcess->width());
    EXPECT_TRUE(QKeySequence::mnemonic(w.gbDefault->title()).isEmpty());
    EXPECT_TRUE(QKeySequence::mnemonic(w.pcDefault->tabText(0)).isEmpty());
}

// Every status text the operations write, each with its longest suffix.
std::vector<std::string> StatusTexts(int languageNo) {
    const auto text = [languageNo](Msg m) { return Text(m, languageNo); };
    std::vector<std::string> texts{
        text(Msg::ScanModule) + " ....",
        text(Msg::ScanCom) + " : #16",
        text(Msg::GetModuleInfoOk) + " : #16)",
        text(Msg::GetModuleInfoError) + " : #16)",
        text(Msg::OpenCom) + " : 16 " + text(Msg::Error),
        text(Msg::SetModuleId) + " = 99",
    };
    for (Msg m : {Msg::StartScanModule, Msg::ModuleNotFind, Msg::SetModuleIdOk,
                  Msg::SetModuleIdError, Msg::SetModuleBaudRateOk, Msg::SetModuleBaudRateError,
                  Msg::SetModuleModeOk, Msg::SetModuleModeError, Msg::SetFactoryDefault,
                  Msg::SetFactoryDefaultOk, Msg::SetFactoryDefaultError}) {
        texts.push_back(text(m));
    }
    for (const std::string& setting : protocol::LineSettingsList) {
        texts.push_back(text(Msg::SetModuleBaudRate) + " = " + setting);
    }
    return texts;
}

TEST_P(WindowLanguage, EveryStatusTextFitsBesideTheLinkLamp) {
    constexpr int kClearance = 2;
    WindowRig rig;
    TfrmModule& w = rig.Show();
    const int lampLeft = w.shComm->geometry().left();
    for (const std::string& text : StatusTexts(GetParam())) {
        w.SetStatus(text);
        const QRect drawn = QStyle::alignedRect(
            Qt::LeftToRight, w.pnMsg->alignment(),
            w.pnMsg->fontMetrics().boundingRect(w.pnMsg->text()).size(), w.pnMsg->contentsRect());
        EXPECT_GE(drawn.left(), w.pnMsg->contentsRect().left()) << text;
        EXPECT_LE(drawn.right() + kClearance, lampLeft) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(AllLanguages, WindowLanguage, ::testing::Values(0, 1, 2),
                         [](const auto& info) { return std::string(kLanguageNames[info.param]); });

TEST(WindowLanguageStart, Big5WindowNeverPaintsAnEnglishText) {
    // Everything painted from the first paint on is collected, so a caption
    // of the design or of the English column would be caught.
    class PaintedTexts final : public QObject {
    public:
        std::vector<QString> texts;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() != QEvent::Paint)
                return false;
            if (auto* label = qobject_cast<QLabel*>(watched))
                texts.push_back(label->text());
            if (auto* button = qobject_cast<QAbstractButton*>(watched))
                texts.push_back(button->text());
            if (auto* group = qobject_cast<QGroupBox*>(watched))
                texts.push_back(group->title());
            if (auto* tabs = qobject_cast<QTabBar*>(watched))
                texts.push_back(tabs->tabText(0));
            if (auto* window = qobject_cast<TfrmModule*>(watched))
                texts.push_back(window->windowTitle());
            return false;
        }
    } painted;
    WindowRig rig;
    rig.store.Put("LanguageFlag", std::string("ChineseBIG5"));
    QCoreApplication::instance()->installEventFilter(&painted);
    TfrmModule& w = rig.Create();
    w.show();
    RunEventsUntil([&] { return painted.texts.size() > 20; });
    QCoreApplication::instance()->removeEventFilter(&painted);

    const std::set<QString> seen(painted.texts.begin(), painted.texts.end());
    EXPECT_TRUE(seen.contains(Message(Msg::ScanModule, kLanguageChineseBIG5)));
    EXPECT_TRUE(seen.contains(Message(Msg::WindowCaption, kLanguageChineseBIG5)));
    for (const QString& text : seen) {
        for (int m = 0; m < ops::kMessageCount; ++m) {
            EXPECT_FALSE(text.contains(Message(static_cast<Msg>(m), kLanguageEnglish)))
                << text.toStdString() << " shows English message " << m;
        }
    }
}

}  // namespace
}  // namespace vx::ui::testing
