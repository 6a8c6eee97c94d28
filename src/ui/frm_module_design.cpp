// The window's design: every control, its look, place and initial state.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "operations/window_texts.h"
#include "protocol/commands.h"
#include "protocol/line_settings.h"
#include "ui/captions.h"
#include "ui/circle_shape.h"
#include "ui/classic_scroll_bar.h"
#include "ui/frm_module.h"
#include "ui/pictures.h"
#include "ui/shell/spoken_texts.h"
#include "ui/window_font.h"

namespace vx::ui {

namespace {

// Type sizes, in pixels of character height.
constexpr int kBoldPixels = 16;
constexpr int kLabelPixels = 13;
constexpr int kSmallPixels = 11;

const QColor kActiveCaption(0, 84, 227);
const QColor kHighlight(49, 106, 197);
const QColor kPurple(128, 0, 128);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kYellow(255, 255, 0);

// Columns and rows of the design.
constexpr int kMargin = 6;
constexpr int kLeftX = kMargin;
constexpr int kLeftWidth = 352;
constexpr int kLeftRight = kLeftX + kLeftWidth;
constexpr int kRightX = 364;
constexpr int kRightWidth = kClientWidth - kMargin - kRightX;
constexpr int kHalfGap = 5;
constexpr int kRowLabelWidth = 92;
constexpr int kRowFieldX = kLeftX + kRowLabelWidth + 4;

constexpr int kMsgY = 6, kMsgHeight = 30;
constexpr int kLampSide = 18;
constexpr int kPanelsY = 40, kPanelsHeight = 26;
constexpr int kScanY = 70, kButtonHeight = 32;
constexpr int kIdRowY = 106, kRowHeight = 26;
constexpr int kIdPanelWidth = 36;
constexpr int kScrollBarHeight = 20;
constexpr int kIdButtonY = 136;
constexpr int kBaudRowY = 172;
constexpr int kLockWidth = 20;
constexpr int kBaudButtonY = 202;
constexpr int kModeY = 238, kModeHeight = 94;
constexpr int kModeLeftWidth = 150;
constexpr int kModeButtonHeight = 48;
constexpr int kIoY = 338, kIoRowHeight = 19;
constexpr int kIoBlockWidth = 164;
constexpr int kIoLampSide = 12;
constexpr int kIoLampGap = 3;
constexpr int kProcessY = 418, kProcessHeight = 38;
constexpr int kBannerHeight = 22;
constexpr int kBannerY = kClientHeight - kBannerHeight;

constexpr int kQuickY = 6, kQuickHeight = 360;
constexpr int kLanguageY = 374, kLanguageHeight = 34;
constexpr int kEnglishWidth = 70;
constexpr QSize kAllPictureSize{26, 26};
constexpr QSize kSmallPictureSize{20, 20};

constexpr int kChannelsPerRow = 4;
constexpr int kNoNcTop = 22, kNoNcRowHeight = 17;

constexpr int kIdArrowStep = 1, kIdPageStep = 10;

// Panels keep their colours in every state, so a scan's status stays readable
// while the window is disabled; controls a user works keep theirs only while
// enabled, so that a disabled one looks it.
using ColourGroups = std::initializer_list<QPalette::ColorGroup>;
constexpr ColourGroups kAlways{QPalette::Active, QPalette::Inactive, QPalette::Disabled};
constexpr ColourGroups kWhileEnabled{QPalette::Active, QPalette::Inactive};

void SetColour(QPalette& palette, ColourGroups groups,
               std::initializer_list<QPalette::ColorRole> roles, const QColor& colour) {
    for (const QPalette::ColorGroup group : groups) {
        for (const QPalette::ColorRole role : roles) palette.setColor(group, role, colour);
    }
}

void Colour(QWidget* widget, const QColor& background, const QColor& text, ColourGroups groups) {
    QPalette palette = widget->palette();
    SetColour(palette, groups, {QPalette::Window, QPalette::Button, QPalette::Base}, background);
    SetColour(palette, groups, {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void TextColour(QWidget* widget, const QColor& text) {
    QPalette palette = widget->palette();
    SetColour(palette, kWhileEnabled, {QPalette::ButtonText, QPalette::WindowText}, text);
    widget->setPalette(palette);
}

template <typename Control>
Control* Make(QWidget* parent, const char* name) {
    auto* control = new Control(parent);
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

QString Numbered(const char* prefix, int number) {
    return QString::fromLatin1(prefix) + QString::number(number);
}

template <typename Panel = QLabel>
Panel* MakePanel(QWidget* parent, const char* name, const QColor& background, const QColor& text) {
    auto* panel = Make<Panel>(parent, name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignCenter);
    panel->setTextFormat(Qt::PlainText);
    Colour(panel, background, text, kAlways);
    return panel;
}

QLabel* MakeRowLabel(QWidget* parent, const char* name) {
    auto* label = Make<QLabel>(parent, name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFont(WindowFont(kLabelPixels, false));
    return label;
}

// The small channel boxes keep their text close to the box, so four of them
// fit side by side in half a column.
QCheckBox* MakeChannelBox(QWidget* parent, const QString& caption, const QString& name) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name) {
    auto* button = Make<QPushButton>(parent, name);
    // A focused button takes Enter itself, as push buttons do in dialogs.
    button->setAutoDefault(true);
    return button;
}

QPushButton* MakeButton(QWidget* parent, const char* name, QStyle::StandardPixmap picture) {
    QPushButton* button = MakeButton(parent, name);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setIconSize(kSmallPictureSize);
    return button;
}

QComboBox* MakeList(QWidget* parent, const char* name) {
    auto* list = Make<QComboBox>(parent, name);
    list->setEditable(false);
    Colour(list, kHighlight, kYellow, kWhileEnabled);
    return list;
}

}  // namespace

void TfrmModule::CreateControls() {
    setFont(WindowFont(kBoldPixels, true));
    setWindowIcon(ProgramIcon());
    setFixedSize(kClientWidth, kClientHeight);
    CreateStatusArea();
    CreateIdentityArea();
    CreateModeArea();
    CreateInputOutputArea();
    CreateRightColumn();

    tmrBusy = new TagTimer(this);
    tmrBusy->setObjectName(QStringLiteral("tmrBusy"));
    tmrBusy->setInterval(kBusyIntervalMs);
    NameControls();
}

// The names that do not change with the language; the others are given with
// the captions (DescribeControls).
void TfrmModule::NameControls() {
    for (int i = 0; i < protocol::kChannelCount; ++i) {
        shDI[i]->setAccessibleName(lblDI[i]->text());
        lblDI[i]->setBuddy(shDI[i]);
    }
    lblID->setBuddy(sbID);
    lblBaudRate->setBuddy(cmbBaudRate);
    btnEng->setAccessibleName(QString::fromUtf8(kEnglishButtonName));
    btnGB->setAccessibleName(QString::fromUtf8(kChineseGBButtonName));
    btnBIG5->setAccessibleName(QString::fromUtf8(kChineseBIG5ButtonName));
}

void TfrmModule::CreateStatusArea() {
    pnMsg = MakePanel<StatusPanel>(this, "pnMsg", kActiveCaption, kWhite);
    pnMsg->setGeometry(kLeftX, kMsgY, kLeftWidth, kMsgHeight);
    shComm = new CircleShape(kRed, kYellow, pnMsg);
    shComm->setObjectName(QStringLiteral("shComm"));
    shComm->setGeometry(kLeftWidth - kLampSide - kMargin, (kMsgHeight - kLampSide) / 2, kLampSide,
                        kLampSide);

    constexpr int kHalfWidth = (kLeftWidth - kHalfGap) / 2;
    pnSerial = MakePanel(this, "pnSerial", kHighlight, kYellow);
    pnSerial->setGeometry(kLeftX, kPanelsY, kHalfWidth, kPanelsHeight);
    pnVersion = MakePanel(this, "pnVersion", kHighlight, kYellow);
    pnVersion->setGeometry(kLeftRight - kHalfWidth, kPanelsY, kHalfWidth, kPanelsHeight);

    btnScan = MakeButton(this, "btnScan", QStyle::SP_BrowserReload);
    btnScan->setGeometry(kLeftX, kScanY, kLeftWidth, kButtonHeight);
    btnScan->setDefault(true);
}

void TfrmModule::CreateIdentityArea() {
    lblID = MakeRowLabel(this, "lblID");
    lblID->setGeometry(kLeftX, kIdRowY, kRowLabelWidth, kRowHeight);
    pnID = MakePanel(this, "pnID", kHighlight, kYellow);
    pnID->setFrameStyle(QFrame::NoFrame);
    pnID->setGeometry(kRowFieldX, kIdRowY, kIdPanelWidth, kRowHeight);
    pnID->setText(QString::fromLatin1(ops::kIdPlaceholder));
    sbID = Make<ClassicScrollBar>(this, "sbID");
    sbID->setRange(protocol::kMinModuleId, protocol::kMaxModuleId);
    sbID->setSingleStep(kIdArrowStep);
    sbID->setPageStep(kIdPageStep);
    sbID->setValue(protocol::kMinModuleId);
    sbID->setFocusPolicy(Qt::StrongFocus);
    const int scrollX = kRowFieldX + kIdPanelWidth + kHalfGap;
    sbID->setGeometry(scrollX, kIdRowY + (kRowHeight - kScrollBarHeight) / 2, kLeftRight - scrollX,
                      kScrollBarHeight);
    btnID = MakeButton(this, "btnID", QStyle::SP_ArrowRight);
    btnID->setGeometry(kLeftX, kIdButtonY, kLeftWidth, kButtonHeight);

    lblBaudRate = MakeRowLabel(this, "lblBaudRate");
    lblBaudRate->setGeometry(kLeftX, kBaudRowY, kRowLabelWidth, kRowHeight);
    cmbBaudRate = MakeList(this, "cmbBaudRate");
    for (const std::string& lineSettings : protocol::LineSettingsList) {
        cmbBaudRate->addItem(ToQt(lineSettings));
    }
    cmbBaudRate->setGeometry(kRowFieldX, kBaudRowY, kLeftRight - kLockWidth - kHalfGap - kRowFieldX,
                             kRowHeight);
    chkLock = Make<QCheckBox>(this, "chkLock");
    chkLock->setChecked(true);
    chkLock->setGeometry(kLeftRight - kLockWidth, kBaudRowY, kLockWidth, kRowHeight);
    btnBaudRate = MakeButton(this, "btnBaudRate", QStyle::SP_DriveNetIcon);
    btnBaudRate->setGeometry(kLeftX, kBaudButtonY, kLeftWidth, kButtonHeight);
}

void TfrmModule::CreateModeArea() {
    cmbMode = MakeList(this, "cmbMode");
    cmbMode->addItem(QStringLiteral("Hold(default)"));
    cmbMode->addItem(QStringLiteral("Normal"));
    cmbMode->setGeometry(kLeftX, kModeY + kMargin, kModeLeftWidth, kRowHeight);
    btnMode = MakeButton(this, "btnMode", QStyle::SP_DialogApplyButton);
    btnMode->setGeometry(kLeftX, kModeY + kModeHeight - kModeButtonHeight, kModeLeftWidth,
                         kModeButtonHeight);

    gbNONC = Make<QGroupBox>(this, "gbNONC");
    gbNONC->setTitle(QStringLiteral("DI NO/NC"));
    gbNONC->setFont(WindowFont(kSmallPixels, false));
    const int groupX = kLeftX + kModeLeftWidth + kHalfGap;
    const int groupWidth = kLeftRight - groupX;
    gbNONC->setGeometry(groupX, kModeY, groupWidth, kModeHeight);
    const int pitch = (groupWidth - 2 * kMargin) / kChannelsPerRow;
    for (int i = 0; i < protocol::kChannelCount; ++i) {
        const int number = i + 1;
        QCheckBox* box = MakeChannelBox(gbNONC, Numbered("DI", number), Numbered("chkDI", number));
        box->setGeometry(kMargin + (i % kChannelsPerRow) * pitch,
                         kNoNcTop + (i / kChannelsPerRow) * kNoNcRowHeight, pitch, kNoNcRowHeight);
        chkDI[i] = box;
    }
}

void TfrmModule::CreateInputOutputArea() {
    const QFont small = WindowFont(kSmallPixels, false);
    const int lampPitch = kIoBlockWidth / kChannelsPerRow;
    const int outputX = kLeftX + kIoBlockWidth;
    const int outputPitch = (kLeftRight - outputX) / kChannelsPerRow;
    for (int i = 0; i < protocol::kChannelCount; ++i) {
        const int number = i + 1;
        const int column = i % kChannelsPerRow;
        const int rowY = kIoY + (i / kChannelsPerRow) * kIoRowHeight;

        const int lampX = kLeftX + column * lampPitch;
        auto* lamp = new CircleShape(kWhite, kYellow, this);
        lamp->setObjectName(Numbered("shDI", number));
        lamp->setGeometry(lampX, rowY + (kIoRowHeight - kIoLampSide) / 2, kIoLampSide, kIoLampSide);
        shDI[i] = lamp;

        auto* label = new QLabel(Numbered("DI", number), this);
        label->setObjectName(Numbered("lblDI", number));
        label->setFont(small);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setGeometry(lampX + kIoLampSide + kIoLampGap, rowY,
                           lampPitch - kIoLampSide - kIoLampGap, kIoRowHeight);
        lblDI[i] = label;

        QCheckBox* output = MakeChannelBox(this, Numbered("DO", number), Numbered("chkDO", number));
        output->setFont(small);
        output->setGeometry(outputX + column * outputPitch, rowY, outputPitch, kIoRowHeight);
        chkDO[i] = output;
    }

    btnProcess = MakeButton(this, "btnProcess", QStyle::SP_MediaPlay);
    btnProcess->setGeometry(kLeftX, kProcessY, kLeftWidth - kProcessHeight - kHalfGap,
                            kProcessHeight);
    btnAll = MakeButton(this, "btnAll");
    btnAll->setIcon(AllOutputsPicture(kAllPictureSize));
    btnAll->setIconSize(kAllPictureSize);
    btnAll->setGeometry(kLeftRight - kProcessHeight, kProcessY, kProcessHeight, kProcessHeight);

    pnTAVRO = MakePanel(this, "pnTAVRO", kPurple, kWhite);
    pnTAVRO->setFrameStyle(QFrame::Box | QFrame::Plain);
    QFont banner = WindowFont(kSmallPixels, false);
    banner.setFamilies(QStringList{QStringLiteral("Microsoft Sans Serif")} + banner.families());
    pnTAVRO->setFont(banner);
    pnTAVRO->setGeometry(0, kBannerY, kClientWidth, kBannerHeight);
}

void TfrmModule::CreateRightColumn() {
    gbDefault = Make<QGroupBox>(this, "gbDefault");
    gbDefault->setGeometry(kRightX, kQuickY, kRightWidth, kQuickHeight);
    auto* groupLayout = new QVBoxLayout(gbDefault);
    pcDefault = Make<QTabWidget>(gbDefault, "pcDefault");
    pcDefault->setDocumentMode(true);
    pcDefault->setFont(WindowFont(kBoldPixels, false));
    pcDefault->tabBar()->setFocusPolicy(Qt::NoFocus);
    groupLayout->addWidget(pcDefault);
    tsDefault = Make<QWidget>(nullptr, "tsDefault");
    pcDefault->addTab(tsDefault, QString());

    btnFactory = Make<QToolButton>(tsDefault, "btnFactory");
    btnFactory->setFont(WindowFont(kBoldPixels, true));
    btnFactory->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    btnFactory->setIcon(FactoryPicture());
    btnFactory->setIconSize(kFactoryPictureSize);
    btnFactory->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    btnFactory->setFocusPolicy(Qt::StrongFocus);
    auto* pageLayout = new QVBoxLayout(tsDefault);
    pageLayout->setContentsMargins(0, kMargin, 0, 0);
    pageLayout->addWidget(btnFactory);

    const QFont english = WindowFont(kLabelPixels, false);
    btnEng = MakeButton(this, "btnEng");
    btnEng->setText(QStringLiteral("English"));
    btnEng->setFont(english);
    TextColour(btnEng, kRed);
    btnEng->setGeometry(kRightX, kLanguageY, kEnglishWidth, kLanguageHeight);
    const int pictureWidth = (kRightWidth - kEnglishWidth - 2 * kHalfGap) / 2;
    btnGB = MakeButton(this, "btnGB");
    btnGB->setIcon(CharactersPicture(Characters::Simplified));
    btnGB->setIconSize(kCharactersPictureSize);
    btnGB->setGeometry(kRightX + kEnglishWidth + kHalfGap, kLanguageY, pictureWidth,
                       kLanguageHeight);
    btnBIG5 = MakeButton(this, "btnBIG5");
    btnBIG5->setIcon(CharactersPicture(Characters::Traditional));
    btnBIG5->setIconSize(kCharactersPictureSize);
    btnBIG5->setGeometry(kClientWidth - kMargin - pictureWidth, kLanguageY, pictureWidth,
                         kLanguageHeight);

    btnExit = MakeButton(this, "btnExit", QStyle::SP_DialogCloseButton);
    btnExit->setGeometry(kRightX, kProcessY, kRightWidth, kProcessHeight);
}

void TfrmModule::SetTabOrder() {
    std::vector<QWidget*> order{btnScan, sbID,    btnID,      cmbBaudRate, btnBaudRate,
                                cmbMode, btnMode, btnProcess, btnAll};
    order.insert(order.end(), chkDO.begin(), chkDO.end());
    order.push_back(chkLock);
    order.insert(order.end(), chkDI.begin(), chkDI.end());
    order.insert(order.end(), {btnFactory, btnEng, btnGB, btnBIG5, btnExit});
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

}  // namespace vx::ui
