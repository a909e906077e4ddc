#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The gateway's persistent settings: section SET of ./server.txt, one key at a time.

inline constexpr const char* settings_file = "./server.txt";

// One setting as a reader sees it: its key, the value a reader gets when the key (or the file) is
// missing, and the buffer it is read with (a value keeps at most size - 1 bytes). The window and the
// engine read some keys with different defaults and sizes; each use has its entry here.
struct Setting {
    const char* key;
    const char* fallback;
    std::size_t size;
};

namespace settings {
// The port. Device paths of up to 255 bytes (a /dev/serial/by-id/ name) are kept whole, by the window,
// the device test and the engine alike.
inline constexpr Setting com{"COM", "COM1", 256};
// What the settings tab shows and saves.
inline constexpr Setting shown_rate{"RATE", "19200", 20};
inline constexpr Setting shown_smscode{"SMSCODE", "88888888", 20};
inline constexpr Setting time1{"TIME1", "7:01", 20};
inline constexpr Setting time2{"TIME2", "21:00", 20};
inline constexpr Setting mtype{"MTYPE", "2", 20};
// What the engine and the device test read: the line rate when they open the port, the service
// centre for every recipient (its last 11 characters).
inline constexpr Setting rate{"RATE", "19200", 10};
inline constexpr Setting smscode{"SMSCODE", "0000000000", 16};
// A service centre in international form ("+8613800000500") put into every submission; empty: the
// SIM's own.
inline constexpr Setting smsc{"SMSC", "", 32};
// Extra AT commands sent after the start-up exchange and every reopening, separated by '|'.
inline constexpr Setting init{"INIT", "", 1024};
// The SIM's PIN, sent once when the SIM asks for it; never written anywhere else.
inline constexpr Setting pin{"PIN", "", 16};
// The modem's identity (AT+CGSN) or the SIM's (AT+CCID) the port must show; empty: any modem.
inline constexpr Setting imei{"IMEI", "", 32};
inline constexpr Setting iccid{"ICCID", "", 32};
// "1": a modem that does not answer at all is reset through the USB subsystem.
inline constexpr Setting usb_reset{"USBRESET", "0", 20};
// The country code national numbers belong to.
inline constexpr Setting country{"COUNTRY", "86", 8};
// Options the window and vmsmsd both take at start, so they survive a restart: "1" is on.
inline constexpr Setting responsive{"RESPONSIVE", "0", 20};
inline constexpr Setting long_messages{"LONGSMS", "0", 20};
inline constexpr Setting delivery_reports{"REPORTS", "0", 20};
} // namespace settings

std::string read_setting(const Setting& setting);
[[nodiscard]] bool write_setting(const Setting& setting, const std::optional<std::string>& value);

// The INI operations beneath: any key of section SET, with the caller's default and buffer size.
std::string read_setting(const char* key, const char* default_value, std::size_t buffer_size);
[[nodiscard]] bool write_setting(const char* key, const std::optional<std::string>& value);

// Whether the port is set: server.txt exists and holds a COM value that is not blank. Without it the
// gateway would open a default device nobody chose.
bool port_setting_present();

// An on/off option: on when its value, blanks aside, is "1".
bool setting_is_on(const Setting& setting);
// Stores an option as "1" or "0".
[[nodiscard]] bool write_option(const Setting& setting, bool on);

// RATE and MTYPE as numbers: leading blanks, an optional sign, then decimal digits; no digits give 0.
// The line speed is an unsigned 32-bit value, as the serial driver takes it.
std::uint32_t rate_number(const std::string& text);
long mtype_number(const std::string& text);

// The device types MTYPE stores.
enum class DeviceType { Siemens = 1, Wavecom = 2, Other = 3 };
