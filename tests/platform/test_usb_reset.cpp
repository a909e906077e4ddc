#include "platform/usb_reset.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A sysfs tree as the kernel lays out a USB serial adapter: the tty under its interface, under the
// USB device that has "authorized" and "idVendor".
class UsbReset : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        fs::create_directories("sys/devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0");
        fs::create_directories("sys/class/tty");
        fs::create_directories("dev");
        put_file(usb + "/authorized", "1\n");
        put_file(usb + "/idVendor", "12d1\n");
        put_file(usb + "/1-2:1.0/authorized", "1\n"); // an interface has one too, but no idVendor
        put_file("dev/ttyUSB0", "");
    }
    void link_tty(const std::string& name, const std::string& target) {
        fs::create_directory_symlink(target, "sys/class/tty/" + name);
    }
    std::string sysfs() { return dir() + "/sys"; }

    const std::string usb = "sys/devices/pci0000:00/usb1/1-2";
};

TEST_F(UsbReset, DeauthorisesAndReauthorisesTheUsbDeviceAboveTheTty) {
    link_tty("ttyUSB0", "../../devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0");
    fs::create_directory_symlink("../..", usb + "/1-2:1.0/ttyUSB0/tty/ttyUSB0/device");
    put_file(usb + "/authorized", "x");
    UsbResetResult reset = reset_usb_device(dir() + "/dev/ttyUSB0", sysfs());
    ASSERT_TRUE(reset.done) << reset.error;
    EXPECT_EQ(reset.usb_device, fs::canonical(usb).string());
    EXPECT_EQ(file_bytes(usb + "/authorized"), "1"); // written 0, then 1
    EXPECT_EQ(file_bytes(usb + "/1-2:1.0/authorized"), "1\n");
}

TEST_F(UsbReset, RefusesWhatIsNoUsbDeviceOrLeadsOutOfSysfs) {
    put_file("dev/ttyS0", "");
    fs::create_directories("sys/devices/platform/serial8250/tty/ttyS0");
    link_tty("ttyS0", "../../devices/platform/serial8250/tty/ttyS0");
    fs::create_directory_symlink("../..", "sys/devices/platform/serial8250/tty/ttyS0/device");
    UsbResetResult serial = reset_usb_device(dir() + "/dev/ttyS0", sysfs());
    EXPECT_FALSE(serial.done);
    EXPECT_NE(serial.error.find("not a USB device"), std::string::npos) << serial.error;

    // A tty whose device leads to a USB-looking directory outside sysfs is not written to.
    fs::create_directories("elsewhere/1-9");
    put_file("elsewhere/1-9/authorized", "1\n");
    put_file("elsewhere/1-9/idVendor", "1234\n");
    fs::create_directories("sys/devices/virtual/tty/ttyUSB0");
    link_tty("ttyUSB0", "../../devices/virtual/tty/ttyUSB0");
    fs::create_directory_symlink(dir() + "/elsewhere/1-9", "sys/devices/virtual/tty/ttyUSB0/device");
    UsbResetResult outside = reset_usb_device(dir() + "/dev/ttyUSB0", sysfs());
    EXPECT_FALSE(outside.done);
    EXPECT_EQ(file_bytes("elsewhere/1-9/authorized"), "1\n");

    EXPECT_FALSE(reset_usb_device(dir() + "/dev/missing", sysfs()).done);
}

} // namespace
