#pragma once

namespace vx::ops {

// Message numbers of the text table; the texts themselves, in the three
// languages, belong to the window.
enum class Msg : int {
    MakerBanner = 0,
    WindowCaption = 1,
    StartScanModule = 2,
    CancelProcessModule = 3,
    Id = 4,
    BaudRate = 5,
    SetModuleBaudRateReset = 6,
    ProcessModule = 7,
    FactoryDefault = 8,
    QuickSetting = 9,
    Default = 10,
    Other = 11,
    Exit = 12,
    OpenCom = 13,
    Error = 14,
    ScanModule = 15,
    SerialNo = 16,
    Version = 17,
    ScanCom = 18,
    GetModuleInfoOk = 19,
    GetModuleInfoError = 20,
    ModuleNotFind = 21,
    SetModuleId = 22,
    SetModuleIdOk = 23,
    SetModuleIdError = 24,
    SetModuleBaudRate = 25,
    SetModuleBaudRateOk = 26,
    SetModuleBaudRateError = 27,
    SetMode = 28,
    SetModuleModeOk = 29,
    SetModuleModeError = 30,
    SetFactoryDefault = 31,
    SetFactoryDefaultOk = 32,
    SetFactoryDefaultError = 33,
    SetNormalMode = 34,
    SetNormalModeOk = 35,
    SetNormalModeError = 36,
    NormalMode = 37,
    SetBaudrate115200 = 38,
    SetBaudrate115200Ok = 39,
    SetBaudrate115200Error = 40,
};

inline constexpr int kMessageCount = 41;

}  // namespace vx::ops
