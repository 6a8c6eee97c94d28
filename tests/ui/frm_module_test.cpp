#include <gtest/gtest.h>

#include "case_names.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <set>

#include "protocol/line_settings.h"
#include "ui/circle_shape.h"
#include "ui/shell/text_table.h"
#include "ui/window_font.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

using ops::Msg;

const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

QString Message(Msg m, int languageNo) {
    return QString::fromStdString(Text(m, languageNo));
}

TEST(WindowStart, WithoutStoredSettingsOpensIdleInEnglish) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    EXPECT_EQ(w.windowTitle(), "TAVRO VX-9400 Module Config V3.20-01");
    EXPECT_EQ(w.cmbBaudRate->currentText(), "19200,e,8,1");
    EXPECT_EQ(w.cmbMode->currentText(), "Hold(default)");
    EXPECT_EQ(w.cmbMode->count(), 2);
    EXPECT_EQ(w.cmbBaudRate->count(), 12);
    EXPECT_EQ(w.sbID->value(), 1);
    EXPECT_EQ(w.pnID->text(), "__");
    EXPECT_EQ(w.pnMsg->text(), "Start Scan Module!");
    EXPECT_EQ(w.pnSerial->text(), "S/N : ________");
    EXPECT_EQ(w.pnVersion->text(), "VER : __.__-__");
    EXPECT_TRUE(w.chkLock->isChecked());
    EXPECT_EQ(w.shComm->Brush(), kRed);
    EXPECT_FALSE(w.tmrBusy->isActive());
    EXPECT_EQ(w.tmrBusy->interval(), 200);
    EXPECT_FALSE(w.State().ModuleFound);
    EXPECT_FALSE(w.State().ProcessFlag);
    for (int i = 0; i < kChannelCount; ++i) {
        EXPECT_FALSE(w.chkDI[i]->isChecked());
        EXPECT_FALSE(w.chkDO[i]->isChecked());
        EXPECT_EQ(w.shDI[i]->Brush(), kWhite);
    }
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(rig.store.HasProgramKey()) << "reading must not create the key";
}

TEST(WindowStart, EveryControlCarriesItsDesignName) {
    WindowRig rig;
    TfrmModule& w = rig.Create();
    EXPECT_EQ(w.objectName(), "frmModule");
    QStringList names = {"pnMsg",       "shComm",     "pnSerial",    "pnVersion", "btnScan",
                         "lblID",       "pnID",       "sbID",        "btnID",     "lblBaudRate",
                         "cmbBaudRate", "chkLock",    "btnBaudRate", "cmbMode",   "btnMode",
                         "gbNONC",      "btnProcess", "btnAll",      "gbDefault", "pcDefault",
                         "tsDefault",   "btnFactory", "btnEng",      "btnGB",     "btnBIG5",
                         "btnExit",     "pnTAVRO",    "tmrBusy"};
    for (int n = 1; n <= kChannelCount; ++n) {
        for (const char* prefix : {"chkDI", "shDI", "lblDI", "chkDO"})
            names << prefix + QString::number(n);
    }
    for (const QString& name : names)
        EXPECT_NE(w.findChild<QObject*>(name), nullptr) << name.toStdString();
    EXPECT_EQ(w.findChild<QObject*>("chkDI12"), w.chkDI[11]);
    EXPECT_EQ(w.findChild<QObject*>("btnFactory"), w.btnFactory);
}

TEST(WindowFrame, IsFixedAt560By483WithoutMaximiseOrClose) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    EXPECT_EQ(w.size(), QSize(560, 483));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
}

TEST(WindowFrame, CloseRequestsAreRefusedUntilExit) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    w.btnExit->click();
    EXPECT_FALSE(w.isVisible());
}

TEST(WindowFrame, EndingSessionClosesTheWindow) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    EXPECT_FALSE(w.isVisible());
}

QString ButtonText(const QAbstractButton* b) {
    return QString(b->text()).replace("&&", "&");
}

// What a control shows as its caption, found by its name.
QString ShownCaption(const TfrmModule& w, const QString& name) {
    if (name == w.objectName())
        return w.windowTitle();
    if (name == w.tsDefault->objectName())
        return w.pcDefault->tabText(0);
    const QObject* control = w.findChild<QObject*>(name);
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (auto* group = qobject_cast<const QGroupBox*>(control))
        return group->title();
    return ButtonText(qobject_cast<const QAbstractButton*>(control));
}

// The captions FormShow puts in: prefix + message + suffix.
struct Caption {
    const char* name;
    Msg message;
    const char* prefix = "";
    const char* suffix = "";
};

constexpr Caption kCaptions[] = {
    {"frmModule", Msg::WindowCaption},
    {"pnTAVRO", Msg::MakerBanner},
    {"pnMsg", Msg::StartScanModule},
    {"pnSerial", Msg::SerialNo, "", " : ________"},
    {"pnVersion", Msg::Version, "", " : __.__-__"},
    {"lblID", Msg::Id, "", ":"},
    {"lblBaudRate", Msg::BaudRate, "", ":"},
    {"btnScan", Msg::ScanModule},
    {"btnID", Msg::SetModuleId},
    {"btnBaudRate", Msg::SetModuleBaudRateReset},
    {"btnMode", Msg::SetMode},
    {"btnProcess", Msg::ProcessModule},
    {"gbDefault", Msg::QuickSetting},
    {"tsDefault", Msg::Default},
    {"btnFactory", Msg::FactoryDefault, "(", ")"},
    {"btnExit", Msg::Exit},
};

class WindowLanguage : public ::testing::TestWithParam<int> {};

TEST_P(WindowLanguage, StartsWithEveryCaptionInTheStoredLanguage) {
    const int languageNo = GetParam();
    const char* flags[] = {"English", "ChineseGB", "ChineseBIG5"};
    WindowRig rig;
    rig.store.Put("LanguageFlag", std::string(flags[languageNo]));
    TfrmModule& w = rig.Show();
    for (const Caption& caption : kCaptions) {
        EXPECT_EQ(ShownCaption(w, caption.name),
                  caption.prefix + Message(caption.message, languageNo) + caption.suffix)
            << caption.name;
    }
    EXPECT_EQ(ButtonText(w.btnEng), "English");
    EXPECT_EQ(w.gbNONC->title(), "DI NO/NC");
}

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

constexpr const char* kLanguageNames[] = {"English", "ChineseGB", "ChineseBIG5"};

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

TEST(WindowLook, OwnColoursShowOnlyWhileEnabledExceptOnPanels) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    const QColor kYellow(255, 255, 0);
    struct Case {
        QWidget* control;
        QPalette::ColorRole role;
        QColor colour;
        bool keptWhenDisabled;
    };
    const Case cases[] = {
        {w.btnEng, QPalette::ButtonText, kRed, false},
        {w.cmbBaudRate, QPalette::Text, kYellow, false},
        {w.cmbMode, QPalette::Text, kYellow, false},
        {w.pnMsg, QPalette::WindowText, kWhite, true},
        {w.pnSerial, QPalette::WindowText, kYellow, true},
    };
    for (const Case& c : cases) {
        const QPalette& palette = c.control->palette();
        const std::string name = c.control->objectName().toStdString();
        EXPECT_EQ(palette.color(QPalette::Active, c.role), c.colour) << name;
        EXPECT_EQ(palette.color(QPalette::Disabled, c.role) == c.colour, c.keptWhenDisabled)
            << name;
    }
}

TEST(WindowLayout, InputLabelsSitBesideTheirLampsInFourRowsOfFour) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    for (int i = 0; i < kChannelCount; ++i) {
        const QRect lamp = w.shDI[i]->geometry();
        const QRect label = w.lblDI[i]->geometry();
        EXPECT_EQ(w.lblDI[i]->text(), "DI" + QString::number(i + 1));
        EXPECT_NEAR(label.center().y(), lamp.center().y(), 2) << i + 1;
        EXPECT_GE(label.left(), lamp.right());
        EXPECT_LE(label.left() - lamp.right(), 6) << "DI" << i + 1 << " is not beside its lamp";
        if (i % 4 != 0) {
            EXPECT_EQ(lamp.top(), w.shDI[i - 1]->geometry().top());
            EXPECT_GE(lamp.left(), w.lblDI[i - 1]->geometry().right());
            EXPECT_GT(w.chkDO[i]->x(), w.chkDO[i - 1]->geometry().right() - 1);
            EXPECT_GT(w.chkDI[i]->x(), w.chkDI[i - 1]->geometry().right() - 1);
        } else if (i > 0) {
            EXPECT_GT(lamp.top(), w.shDI[i - 1]->geometry().bottom());
            EXPECT_GT(w.chkDO[i]->y(), w.chkDO[i - 1]->geometry().bottom() - 1);
            EXPECT_GT(w.chkDI[i]->y(), w.chkDI[i - 1]->geometry().bottom() - 1);
        }
        EXPECT_LT(lamp.right(), w.chkDO[i]->x()) << "lamps are left of the outputs";
    }
}

TEST(WindowLayout, NoTwoControlsOverlap) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    std::vector<const QWidget*> placed;
    const std::array<const QWidget*, 2> parents{&w, w.gbNONC};
    for (const QWidget* parent : parents) {
        for (const QWidget* control : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control->isVisible())
                placed.push_back(control);
        }
    }
    ASSERT_GE(placed.size(), 3u * kChannelCount + kChannelCount);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        for (std::size_t j = i + 1; j < placed.size(); ++j) {
            if (placed[i]->parentWidget() != placed[j]->parentWidget())
                continue;
            EXPECT_FALSE(placed[i]->geometry().intersects(placed[j]->geometry()))
                << placed[i]->objectName().toStdString() << " overlaps "
                << placed[j]->objectName().toStdString();
        }
    }
}

// The painted extent of a lamp, in device pixels: wherever it differs from
// the corner, which the circle never reaches.
QRect PaintedExtent(const QImage& picture) {
    const QRgb background = picture.pixel(0, 0);
    QRect extent;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (picture.pixel(x, y) != background)
                extent |= QRect(x, y, 1, 1);
        }
    }
    return extent;
}

TEST(WindowScale, LampsStayRoundAndBoxesSquareAtTheDisplayScale) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetCommLamp(ops::LampColor::Yellow);
    w.SetInputLamp(1, ops::LampColor::Yellow);
    for (CircleShape* lamp : {w.shComm, w.shDI[0]}) {
        const QImage picture = lamp->grab().toImage();
        const QRect extent = PaintedExtent(picture);
        const std::string name = lamp->objectName().toStdString();
        ASSERT_FALSE(extent.isEmpty()) << name;
        EXPECT_LE(qAbs(extent.width() - extent.height()), 1) << name;
        EXPECT_EQ(picture.pixelColor(extent.center()), QColor(255, 255, 0)) << name;
        // A circle leaves the corners of its square bare.
        EXPECT_EQ(picture.pixel(extent.topLeft()), picture.pixel(0, 0)) << name;
        EXPECT_EQ(picture.pixel(extent.bottomRight()), picture.pixel(0, 0)) << name;
    }
    for (const QCheckBox* box : {w.chkLock, w.chkDI[0], w.chkDO[15]}) {
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect indicator =
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        EXPECT_EQ(indicator.width(), indicator.height()) << box->objectName().toStdString();
        EXPECT_TRUE(box->rect().contains(indicator)) << box->objectName().toStdString();
    }
}

TEST(WindowLayout, TabOrderBeginsWithTheModuleOperations) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    const std::vector<QString> expected = {"btnScan",     "sbID",    "btnID",   "cmbBaudRate",
                                           "btnBaudRate", "cmbMode", "btnMode", "btnProcess"};
    std::vector<QString> order;
    for (QWidget* next = w.btnScan; order.size() < expected.size();
         next = next->nextInFocusChain()) {
        if (next->focusPolicy() & Qt::TabFocus && next->isVisibleTo(&w))
            order.push_back(next->objectName());
    }
    EXPECT_EQ(order, expected);
}

// Enter with the focus on a control: a push button takes it itself, any
// other control hands it to the scan.
struct EnterCase {
    const char* focused;
    const char* statusAfter;
};

void PrintTo(const EnterCase& c, std::ostream* os) {
    *os << c.focused;
}

class EnterKey : public ::testing::TestWithParam<EnterCase> {};

TEST_P(EnterKey, PressesTheFocusedButtonOrElseScans) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto* focused = w.findChild<QWidget*>(GetParam().focused);
    focused->setFocus();
    ASSERT_TRUE(focused->hasFocus());
    w.SetStatus("idle");
    QTest::keyClick(focused, Qt::Key_Return);
    EXPECT_EQ(w.pnMsg->text().toStdString(), GetParam().statusAfter);
    EXPECT_EQ(rig.tone.Beeps().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Focus, EnterKey,
                         ::testing::Values(EnterCase{"cmbMode", "Module Not Find"},
                                           EnterCase{"cmbBaudRate", "Module Not Find"},
                                           EnterCase{"sbID", "Module Not Find"},
                                           EnterCase{"chkLock", "Module Not Find"},
                                           EnterCase{"chkDO7", "Module Not Find"},
                                           EnterCase{"btnScan", "Module Not Find"},
                                           EnterCase{"btnID", "Start Scan Module!"},
                                           EnterCase{"btnMode", "Start Scan Module!"},
                                           EnterCase{"btnFactory", "Start Scan Module!"}),
                         vx::testing::PrintedCaseName());

struct IdStep {
    int from;
    Qt::Key key;
    int to;
};

void PrintTo(const IdStep& step, std::ostream* os) {
    *os << "from " << step.from << " " << QKeySequence(step.key).toString().toStdString();
}

class IdScrollBar : public ::testing::TestWithParam<IdStep> {};

TEST_P(IdScrollBar, StepsByOneAndByTenAndShowsTwoDigits) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetIdPosition(GetParam().from);
    QTest::keyClick(w.sbID, GetParam().key);
    EXPECT_EQ(w.sbID->value(), GetParam().to);
    EXPECT_EQ(w.pnID->text(), QString::asprintf("%02d", GetParam().to));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, IdScrollBar,
    ::testing::Values(IdStep{50, Qt::Key_Right, 51}, IdStep{50, Qt::Key_Left, 49},
                      IdStep{50, Qt::Key_Down, 51}, IdStep{50, Qt::Key_Up, 49},
                      IdStep{50, Qt::Key_PageDown, 60}, IdStep{50, Qt::Key_PageUp, 40},
                      IdStep{95, Qt::Key_PageDown, 99}, IdStep{5, Qt::Key_PageUp, 1},
                      IdStep{2, Qt::Key_Left, 1}, IdStep{99, Qt::Key_Right, 99},
                      IdStep{50, Qt::Key_End, 99}, IdStep{50, Qt::Key_Home, 1}),
    vx::testing::PrintedCaseName());

TEST(IdScrollBarChange, RunsOnlyOnARealChangeAndStaysInRange) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetIdPosition(1);
    EXPECT_EQ(w.pnID->text(), "__");
    w.SetIdPosition(150);
    EXPECT_EQ(w.pnID->text(), "99");
    w.SetIdPosition(-3);
    EXPECT_EQ(w.pnID->text(), "01");
}

TEST(WindowControls, EachNamedControlCanBeDisabledAlone) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    const std::pair<ops::Control, QWidget*> controls[] = {
        {ops::Control::btnExit, w.btnExit},
        {ops::Control::btnScan, w.btnScan},
        {ops::Control::btnFactory, w.btnFactory},
        {ops::Control::btnID, w.btnID},
        {ops::Control::btnBaudRate, w.btnBaudRate},
        {ops::Control::btnMode, w.btnMode},
        {ops::Control::gbDefault, w.gbDefault},
        {ops::Control::btnEng, w.btnEng},
        {ops::Control::btnGB, w.btnGB},
        {ops::Control::btnBIG5, w.btnBIG5},
        {ops::Control::gbNONC, w.gbNONC}};
    for (const auto& [control, widget] : controls) {
        w.SetControlEnabled(control, false);
        EXPECT_FALSE(widget->isEnabled()) << widget->objectName().toStdString();
        EXPECT_TRUE(w.btnProcess->isEnabled());
        w.SetControlEnabled(control, true);
        EXPECT_TRUE(widget->isEnabled());
    }
}

TEST(WindowControls, ProcessCaptionKeepsAnAmpersandLiteral) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetProcessCaption("Stop & go");
    EXPECT_EQ(w.ProcessCaption(), "Stop & go");
    EXPECT_TRUE(QKeySequence::mnemonic(w.btnProcess->text()).isEmpty());
}

TEST(WindowControls, HourglassIsASettingNotACount) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetHourglassCursor(true);
    w.SetHourglassCursor(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    w.SetHourglassCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(ApplicationObject, ReportsAnEscapedExceptionAndGoesOn) {
    class Thrower final : public QObject {
    public:
        bool event(QEvent* event) override {
            if (event->type() == QEvent::User)
                throw std::runtime_error("handler failed");
            return QObject::event(event);
        }
    } thrower;
    ReportedErrors().clear();
    QEvent user(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &user);
    ASSERT_EQ(ReportedErrors().size(), 1u);
    EXPECT_EQ(ReportedErrors().front(), "handler failed");
    bool later = false;
    QTimer::singleShot(0, [&later] { later = true; });
    EXPECT_TRUE(RunEventsUntil([&later] { return later; }));
}

}  // namespace
}  // namespace vx::ui::testing
