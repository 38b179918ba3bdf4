#include "platform/registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace qarn3;
namespace fs = std::filesystem;

namespace {

// A fake sysfs tree in a temporary folder.
class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("qarn3-sysfs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "sys/bus/usb/devices");
        fs::create_directories(root / "sys/class/tty");
        fs::create_directories(root / "drivers/cdc_acm");
        fs::create_directories(root / "drivers/ftdi_sio");
        fs::create_directories(root / "drivers/usb");
    }
    void TearDown() override { fs::remove_all(root); }

    static void write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    fs::path device(const std::string& name, const std::string& vid, const std::string& pid,
                    const std::string& serial, const std::string& product) {
        const fs::path d = root / "sys/bus/usb/devices" / name;
        write(d / "idVendor", vid);
        write(d / "idProduct", pid);
        if (!serial.empty()) write(d / "serial", serial);
        write(d / "product", product);
        fs::create_directory_symlink(root / "drivers/usb", d / "driver");
        return d;
    }
    // A modem-class interface with its port under tty/.
    void acmInterface(const fs::path& dev, const std::string& tty) {
        const fs::path i = dev / (dev.filename().string() + ":1.0");
        fs::create_directories(i / "tty" / tty);
        fs::create_directory_symlink(root / "drivers/cdc_acm", i / "driver");
        classTty(tty);
    }
    void classTty(const std::string& tty, const std::string& type = {}) {
        const fs::path t = root / "sys/class/tty" / tty;
        fs::create_directories(t / "device");
        if (!type.empty()) write(t / "type", type);
    }
    std::string port(const std::string& tty) const { return (root / "dev" / tty).string(); }

    fs::path root;
};

const std::string kKey = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_04d8&Pid_fdcf\\0123456789";

} // namespace

TEST_F(FakeSysfs, AnalyzerWithModemPortAppearsUnderItsSerialNumber) {
    acmInterface(device("1-1.2", "04d8", "fdcf", "0123456789", "Velkorand QARN-3"), "ttyACM0");
    const SysfsRegistry reg(root.string());

    EXPECT_TRUE(reg.keyExists(kKey));
    EXPECT_EQ(reg.stringValue(kKey, "FriendlyName"), "Velkorand QARN-3 (" + port("ttyACM0") + ")");
    EXPECT_EQ(reg.stringValue(kKey + "\\Device Parameters", "PortName"), port("ttyACM0"));
    EXPECT_EQ(reg.stringValue(kKey, "Class"), "Ports");
    EXPECT_EQ(reg.stringValue(kKey, "Service"), "cdc_acm");
    // Keys and value names match in any case, as the USB link spells the device in lower case.
    EXPECT_EQ(reg.stringValue("system\\currentcontrolset\\enum\\usb\\vid_04d8&pid_fdcf\\0123456789",
                              "friendlyname"),
              "Velkorand QARN-3 (" + port("ttyACM0") + ")");
    EXPECT_EQ(reg.subkeyNames(kKey), std::vector<std::string>{"Device Parameters"});
}

TEST_F(FakeSysfs, ConverterPortDeviceWithoutSerialAndPlainDevice) {
    const fs::path ftdi = device("2-1", "0403", "6001", "", "FT232R USB UART");
    fs::create_directories(ftdi / "2-1:1.0/ttyUSB0/tty/ttyUSB0");
    fs::create_directory_symlink(root / "drivers/ftdi_sio", ftdi / "2-1:1.0/driver");
    device("2-2", "046d", "c077", "", "USB Optical Mouse");
    const SysfsRegistry reg(root.string());

    // Without a serial number the instance is the device's own name.
    const std::string ftdiKey = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001\\2-1";
    EXPECT_EQ(reg.stringValue(ftdiKey + "\\Device Parameters", "PortName"), port("ttyUSB0"));
    EXPECT_EQ(reg.stringValue(ftdiKey, "Service"), "ftdi_sio");
    const std::string mouseKey = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_046d&Pid_c077\\2-2";
    EXPECT_EQ(reg.stringValue(mouseKey, "Class"), "USB");
    EXPECT_EQ(reg.stringValue(mouseKey, "FriendlyName"), "USB Optical Mouse");
    EXPECT_EQ(reg.stringValue(mouseKey, "Service"), "usb");
    EXPECT_FALSE(reg.keyExists(mouseKey + "\\Device Parameters"));
    EXPECT_EQ(reg.subkeyNames("SYSTEM\\CurrentControlSet\\Enum\\USB").size(), 2u);
}

TEST_F(FakeSysfs, SerialPortListHoldsPortsWithHardwareOnly) {
    acmInterface(device("1-1", "04d8", "fdcf", "RQM20090414", "QARN-3"), "ttyACM0");
    classTty("ttyS0", "0"); // a built-in UART name with no UART behind it
    classTty("ttyS1", "4");
    fs::create_directories(root / "sys/class/tty/tty5"); // a virtual terminal: no device
    const SysfsRegistry reg(root.string());

    std::vector<std::string> ports;
    for (const std::string& name : reg.valueNames(kSerialCommKey))
        ports.push_back(*reg.stringValue(kSerialCommKey, name));
    EXPECT_EQ(ports, (std::vector<std::string>{port("ttyACM0"), port("ttyS1")}));
}

TEST_F(FakeSysfs, UnpluggedDeviceDisappearsAtOnce) {
    const fs::path dev = device("1-1", "04d8", "fdcf", "0123456789", "Velkorand QARN-3");
    acmInterface(dev, "ttyACM0");
    const SysfsRegistry reg(root.string());
    ASSERT_TRUE(reg.keyExists(kKey));
    fs::remove_all(dev);
    EXPECT_FALSE(reg.keyExists(kKey));
    EXPECT_EQ(reg.stringValue(kKey, "FriendlyName"), std::nullopt);
}

TEST_F(FakeSysfs, EmptyOrMissingTreeHasNoDevices) {
    const SysfsRegistry reg((root / "nothing-here").string());
    EXPECT_FALSE(reg.keyExists(kKey));
    EXPECT_TRUE(reg.subkeyNames(kUsbEnumKey).empty());
    EXPECT_TRUE(reg.keyExists(kSerialCommKey));
    EXPECT_TRUE(reg.valueNames(kSerialCommKey).empty());
}

TEST(MemoryRegistry, KeysAndValuesIgnoreCaseButKeepTheirSpelling) {
    MemoryRegistry reg;
    reg.setValue("A\\Bee\\Cee", "PortName", "x");
    reg.addKey("a\\bee\\Dee");
    EXPECT_EQ(reg.stringValue("a\\BEE\\cee", "portname"), "x");
    EXPECT_EQ(reg.subkeyNames("A\\bee"), (std::vector<std::string>{"Cee", "Dee"}));
    EXPECT_EQ(reg.valueNames("\\A\\Bee\\Cee\\"), std::vector<std::string>{"PortName"});
    EXPECT_FALSE(reg.keyExists("A\\Bee\\Eee"));
    EXPECT_EQ(reg.stringValue("A\\Bee\\Cee", "Other"), std::nullopt);
}
