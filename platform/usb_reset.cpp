#include "platform/usb_reset.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int most_levels = 12; // from the tty up to its USB device: a few levels, never the root

bool write_attribute(const fs::path& path, const char* value, std::string& error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    bool written = ::write(fd, value, 1) == 1;
    if (!written) {
        error = "cannot write " + path.string() + ": " + std::strerror(errno);
    }
    if (::close(fd) != 0 && written) {
        error = "cannot write " + path.string() + ": " + std::strerror(errno);
        written = false;
    }
    return written;
}

// The nearest directory above the tty's device that is a whole USB device: it has both "authorized"
// and "idVendor" (an interface has neither idVendor nor, on older kernels, authorized).
std::optional<fs::path> usb_device_of(const fs::path& tty_device, const fs::path& sysfs) {
    std::error_code ec;
    fs::path at = fs::canonical(tty_device, ec);
    if (ec) {
        return std::nullopt;
    }
    fs::path root = fs::canonical(sysfs, ec);
    for (int level = 0; level < most_levels && !ec && at != at.parent_path(); ++level) {
        if (fs::exists(at / "authorized", ec) && fs::exists(at / "idVendor", ec)) {
            // Only inside sysfs: a link that leads elsewhere is not followed to a file to write.
            auto [end, _] = std::mismatch(root.begin(), root.end(), at.begin(), at.end());
            return end == root.end() ? std::optional<fs::path>(at) : std::nullopt;
        }
        at = at.parent_path();
    }
    return std::nullopt;
}

} // namespace

UsbResetResult reset_usb_device(const std::string& device, const std::string& sysfs) {
    UsbResetResult result;
    std::error_code ec;
    fs::path tty = fs::canonical(device, ec);
    if (ec) {
        result.error = "cannot find " + device + ": " + ec.message();
        return result;
    }
    std::optional<fs::path> usb = usb_device_of(fs::path(sysfs) / "class/tty" / tty.filename() / "device", sysfs);
    if (!usb) {
        result.error = tty.string() + " is not a USB device (no USB device above it in " + sysfs + ")";
        return result;
    }
    result.usb_device = usb->string();
    result.done = write_attribute(*usb / "authorized", "0", result.error) &&
                  write_attribute(*usb / "authorized", "1", result.error);
    return result;
}
