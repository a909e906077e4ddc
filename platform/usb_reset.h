#pragma once

#include <string>

// Resets the USB device a serial device belongs to, as unplugging and plugging it in would: its
// "authorized" attribute in sysfs is set to 0 and back to 1, so the kernel lets go of the device and
// takes it on afresh. It needs the right to write that attribute (root, or a udev rule that grants it).

struct UsbResetResult {
    bool done = false;
    std::string usb_device; // the USB device's sysfs directory, when found
    std::string error;      // why not, when !done
};

// `device` is the serial device's path (/dev/ttyUSB0, or a link to it such as /dev/serial/by-id/...);
// `sysfs` is where sysfs is mounted (/sys; another tree in tests).
UsbResetResult reset_usb_device(const std::string& device, const std::string& sysfs = "/sys");
