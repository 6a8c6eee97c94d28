#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "platform/linux/com_port_numbering.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"
#include "pseudo_terminal.h"
#include "temp_folder.h"

namespace vx::platform {
namespace {

using testing::PseudoTerminal;
using testing::TempFolder;
using testing::WriteFileText;

constexpr const char* kPortsKey = "Software\\TAVRO\\VXConfig\\Ports";
constexpr const char* kAdapterA = "/dev/serial/by-id/usb-FTDI_FT232R_A-if00-port0";
constexpr const char* kAdapterB = "/dev/serial/by-id/usb-Prolific_PL2303_B-if00-port0";
constexpr const char* kAdapterC = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0";

class ComNumbering : public ::testing::Test {
protected:
    // The machine as the test has it: which devices are plugged in.
    std::string Resolve(const std::string& name) {
        return ResolveComPort(name, *store, [this] {
            ++listings;
            return present;
        });
    }

    TempFolder folder;
    std::unique_ptr<SettingsStore> store = OpenFileSettingsStore(folder.File("VXConfig.reg"));
    std::vector<std::string> present;
    int listings = 0;
};

TEST_F(ComNumbering, NumbersStayWithTheirDevicesAcrossReplug) {
    present = {kAdapterB, kAdapterA};
    EXPECT_EQ(Resolve("COM1"), kAdapterA) << "new devices are numbered in path order";
    EXPECT_EQ(Resolve("COM2"), kAdapterB);

    present = {kAdapterB, kAdapterC};
    EXPECT_EQ(Resolve("COM3"), kAdapterC) << "an unplugged device keeps its number";
    EXPECT_EQ(Resolve("COM1"), kAdapterA);

    present = {kAdapterA, kAdapterB, kAdapterC};
    store = OpenFileSettingsStore(folder.File("VXConfig.reg"));  // as after a reboot
    EXPECT_EQ(Resolve("COM1"), kAdapterA);
    EXPECT_EQ(Resolve("COM2"), kAdapterB);
    EXPECT_EQ(Resolve("COM3"), kAdapterC);
    EXPECT_EQ(Resolve("COM4"), "");
    auto table = store->OpenKey(kPortsKey);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->ValueNames().size(), 3u);
}

TEST_F(ComNumbering, ExplicitEntriesWinAndTheirNumbersAreNotGivenAway) {
    PseudoTerminal pty;
    const std::string link = folder.File("ttyVX");
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), link.c_str()), 0);
    auto table = store->CreateKey(kPortsKey);
    ASSERT_TRUE(table->WriteText("com1", link));
    ASSERT_TRUE(table->WriteInteger("COM2", 5));
    present = {kAdapterA};

    EXPECT_EQ(Resolve("COM1"), link);
    EXPECT_EQ(listings, 0) << "a listed number needs no look at the devices";
    EXPECT_EQ(Resolve("COM2"), "") << "a number taken by a value that is no path";
    EXPECT_EQ(Resolve("COM3"), kAdapterA);

    auto device = CreateSystemSerialDevice([this](const std::string& n) { return Resolve(n); });
    EXPECT_TRUE(device->Open("COM1").Opened())
        << "the link to the pseudo-terminal opens like a port";
}

TEST_F(ComNumbering, WithoutAWritableStoreNumbersFollowPathOrder) {
    WriteFileText(folder.File("plain"), "a file, not a folder");
    store = OpenFileSettingsStore(folder.File("plain/VXConfig.reg"));
    present = {kAdapterC, kAdapterA};
    EXPECT_EQ(Resolve("COM1"), kAdapterA);
    EXPECT_EQ(Resolve("COM2"), kAdapterC);
}

TEST_F(ComNumbering, TwoInstancesNumberingAtOnceLoseNoDevice) {
    constexpr int kDevicesEach = 100;
    std::vector<pid_t> children;
    for (const char* adapter : {kAdapterA, kAdapterB}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto own = OpenFileSettingsStore(folder.File("VXConfig.reg"));
            for (int i = 0; i < kDevicesEach; ++i) {
                // One new device each time, and a number no table holds.
                ResolveComPort("COM9999", *own, [&] {
                    return std::vector<std::string>{adapter + std::to_string(i)};
                });
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) ASSERT_EQ(waitpid(child, nullptr, 0), child);
    auto table = store->OpenKey(kPortsKey);
    ASSERT_NE(table, nullptr);
    std::set<std::string> devices;
    for (const auto& name : table->ValueNames()) devices.insert(*table->ReadText(name));
    EXPECT_EQ(devices.size(), 2u * kDevicesEach);
}

// Which names are port names at all is the protocol's rule, tested there.
TEST_F(ComNumbering, OtherThanAPortNameResolvesToNothing) {
    present = {kAdapterA};
    EXPECT_EQ(Resolve("COM01"), "");
    EXPECT_EQ(Resolve("com1"), kAdapterA);
}

// A made-up machine: folders and links as the kernel and udev lay them out.
class SerialDeviceDiscovery : public ::testing::Test {
protected:
    void Tty(const std::string& name, bool hasDevice = false, const char* uartType = nullptr) {
        const std::string sys = folder.File("sys/class/tty/" + name);
        std::filesystem::create_directories(hasDevice ? sys + "/device" : sys);
        if (uartType != nullptr)
            WriteFileText(sys + "/type", uartType);
        std::filesystem::create_directories(folder.File("dev"));
        WriteFileText(folder.File("dev/" + name), "");
    }
    void Link(const std::string& folderName, const std::string& name, const std::string& node) {
        const std::string dir = folder.File("dev/serial/" + folderName);
        std::filesystem::create_directories(dir);
        std::filesystem::create_symlink("../../" + node, dir + "/" + name);
    }

    TempFolder folder;
};

TEST_F(SerialDeviceDiscovery, NamesRealPortsByTheirStablePaths) {
    Tty("ttyUSB0");
    Tty("ttyACM0");
    Tty("ttyAMA0");
    Tty("rfcomm0");
    Tty("ttyS0", true, "4\n");
    Tty("ttyS1", true, "0\n");
    Tty("ttyS2");
    Tty("tty1");
    Tty("ttyUSBx");
    Link("by-id", "usb-FTDI_A-if00-port0", "ttyUSB0");
    Link("by-path", "pci-usb-0:1:1.0-port0", "ttyUSB0");
    Link("by-path", "pci-usb-0:2:1.0", "ttyACM0");
    std::filesystem::create_directories(folder.File("sys/class/tty/ttyUSB1"));

    const std::string dev = folder.File("dev/");
    EXPECT_EQ(PresentSerialDevices(folder.Path()),
              (std::vector<std::string>{dev + "rfcomm0", dev + "serial/by-id/usb-FTDI_A-if00-port0",
                                        dev + "serial/by-path/pci-usb-0:2:1.0", dev + "ttyAMA0",
                                        dev + "ttyS0"}));
}

}  // namespace
}  // namespace vx::platform
