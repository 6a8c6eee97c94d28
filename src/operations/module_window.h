#pragma once

#include <string>

#include "operations/messages.h"

namespace vx::ops {

// The program-wide values the operations share with the window.
struct SharedState {
    int ScanCommNo = 0;
    std::string ScanBaudRate = "19200,e,8,1";
    int ScanBaudRateNo = 5;
    bool ModuleFound = false;
    bool ProcessFlag = false;
};

enum class LampColor { Red, Yellow, White };

// The controls that live processing disables and enables again, in that order.
enum class Control {
    btnExit,
    btnScan,
    btnFactory,
    btnID,
    btnBaudRate,
    btnMode,
    gbDefault,
    btnEng,
    btnGB,
    btnBIG5,
    gbNONC,
};

inline constexpr int kModeHold = 0;
inline constexpr int kModeNormal = 1;

// What the module operations read from and write to the one window. The Qt
// window implements it over its controls; tests implement it over plain
// values. Channels and inputs are numbered from 1, as on the window.
class ModuleWindow {
public:
    virtual ~ModuleWindow() = default;

    virtual SharedState& State() = 0;

    // Message `m` in the current language.
    virtual std::string Text(Msg m) const = 0;

    // Status panel pnMsg and its lamp shComm.
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetCommLamp(LampColor color) = 0;

    // Identity panels.
    virtual void SetSerialPanel(const std::string& text) = 0;   // pnSerial
    virtual void SetVersionPanel(const std::string& text) = 0;  // pnVersion
    virtual std::string IdPanel() const = 0;                    // pnID
    virtual void SetIdPanel(const std::string& text) = 0;
    // sbID; a change of position runs sbIDChange, which rewrites pnID.
    virtual void SetIdPosition(int position) = 0;

    // cmbBaudRate and cmbMode item indexes, chkLock.
    virtual int BaudRateIndex() const = 0;
    virtual void SelectBaudRate(int index) = 0;
    virtual int ModeIndex() const = 0;
    virtual void SelectMode(int index) = 0;
    virtual bool LockTicked() const = 0;

    // chkDI1..16 (NO/NC), chkDO1..16 (outputs), shDI1..16 (input lamps).
    virtual bool NoNcTicked(int channel) const = 0;
    virtual void SetNoNc(int channel, bool ticked) = 0;
    virtual bool OutputTicked(int channel) const = 0;
    virtual void SetOutput(int channel, bool ticked) = 0;
    virtual void SetInputLamp(int channel, LampColor color) = 0;

    // btnProcess caption, single controls, the whole window.
    virtual std::string ProcessCaption() const = 0;
    virtual void SetProcessCaption(const std::string& text) = 0;
    virtual void SetControlEnabled(Control control, bool enabled) = 0;
    virtual void SetWindowEnabled(bool enabled) = 0;

    // The busy indication: 1 on, anything else off.
    virtual void SetBusy(int flag) = 0;
    virtual void SetHourglassCursor(bool hourglass) = 0;

    // Writes ScanCommNo, ScanBaudRateNo and ScanBaudRate to the store.
    virtual void SaveScanSettings() = 0;
};

}  // namespace vx::ops
