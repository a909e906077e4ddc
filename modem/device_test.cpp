#include "modem/device_test.h"

#include "modem/modem_status.h"
#include "modem/result_codes.h"
#include "modem/serial_link.h"
#include "platform/gbk.h"
#include "store/settings.h"

#include <array>
#include <optional>

namespace {

// The verdict texts differ by one blank: the refused configuration has none after "!!!".
const char* const text_no_port = "!无此COM口,或COM口已被占用。";
const char* const text_port_in_use = "COM口已被占用,请停止收发进程！";
const char* const text_refused = "!!!数据线没有准备好,或设置错误!";
const char* const text_no_ok = "!!! 数据线没有准备好,或设置错误!";
const char* const text_device_ok = "设备正常，设备参数保存正确，可以正常工作!";
const char* const caption_testing = ">>参数测试过程中....";
const char* const caption_idle = "设备测试并保存设备参数";

// The modem gets this long after the purge before it is asked, and this long to answer.
constexpr int settle_ms = 2000;
constexpr int answer_ms = 3000;
// The signal and registration questions after the verdict end with their final result code, or when
// the modem has been silent this long.
constexpr int network_quiet_ms = 2000;
constexpr int network_slice_ms = 250;

void show_message(const DeviceTestShow& show, std::string text) {
    show({DeviceTestStep::Kind::Message, std::move(text)});
}

void show_caption(const DeviceTestShow& show, const char* utf8) {
    show({DeviceTestStep::Kind::ButtonCaption, gbk(utf8)});
}

// What the modem answers to `command`, read until its final result code or a silence.
std::string ask(SerialPort& port, const char* command, StopSignal& stop) {
    port_write(port, command);
    std::string answer;
    std::array<char, chunk_size> chunk{};
    int quiet = 0;
    while (quiet < network_quiet_ms && !stop.requested() && !final_result_code(answer)) {
        std::size_t got = port.read_some(chunk.data(), chunk.size(), network_slice_ms);
        answer.append(chunk.data(), got);
        quiet = got == 0 ? quiet + network_slice_ms : 0;
    }
    return answer;
}

// "信号强度：25（-63 dBm，很好）" and "网络注册：已注册，本地网络", one line each.
std::string network_words(const std::string& csq_answer, const std::string& creg_answer) {
    std::string text = "信号强度：";
    if (std::optional<ModemSignal> signal = parse_signal(csq_answer)) {
        text += std::to_string(signal->rssi) + "（";
        if (std::optional<int> dbm = signal_dbm(*signal)) {
            text += std::to_string(*dbm) + " dBm，";
        }
        text += std::string(signal_grade_zh(*signal)) + "）";
    } else {
        text += "未能读取（AT+CSQ）";
    }
    text += "\r\n网络注册：";
    std::optional<ModemRegistration> registration = parse_registration(creg_answer);
    text += registration ? registration_words_zh(*registration) : "未能读取（AT+CREG?）";
    return text;
}

// A modem that answers is asked how well it hears the network and whether it is registered on it: a
// right port and speed do not yet mean messages can go out.
void show_network(SerialPort& port, const DeviceTestShow& show, StopSignal& stop) {
    std::string csq = ask(port, "AT+CSQ\r", stop);
    std::string creg = ask(port, "AT+CREG?\r", stop);
    if (!stop.requested()) {
        show_message(show, gbk(network_words(csq, creg)));
    }
}

// Steps 5 to 10 on an open port; returns early, without showing more, once stopped.
void exchange(SerialPort& port, std::uint32_t rate, const DeviceTestWait& wait, const DeviceTestShow& show,
              StopSignal& stop) {
    if (!port_configure(port, rate)) {
        show_message(show, gbk(text_refused));
        return;
    }
    port_prepare(port);
    if (stop.requested() || !wait(settle_ms, stop)) {
        return;
    }
    port_write(port, "at\r\n");
    show_caption(show, caption_testing);
    if (!wait(answer_ms, stop)) {
        return;
    }
    std::string reply = port_read_chunk(port);
    if (stop.requested()) {
        return;
    }
    show_message(show, reply);
    show_message(show, gbk(reply_has_ok(reply) ? text_device_ok : text_no_ok));
    if (reply_has_ok(reply)) {
        show_network(port, show, stop);
    }
}

} // namespace

DeviceTestWait clock_waits(Clock& clock) {
    return [&clock](int ms, StopSignal& stop) { return clock.sleep_ms(ms, stop); };
}

void run_device_test(bool start_button_enabled, const DeviceTestWait& wait, const PortOpener& open,
                     const DeviceTestShow& show, StopSignal& stop) {
    std::string com = read_setting(settings::com);
    std::uint32_t rate = rate_number(read_setting(settings::rate));
    std::unique_ptr<SerialPort> port = open(device_path_for(com));
    if (!port) {
        show_message(show, gbk(start_button_enabled ? text_no_port : text_port_in_use));
        return;
    }
    // A close of the window ends the read of the modem's reply too, not only the waits.
    stop.on_request([&port] { port->interrupt(); });
    exchange(*port, rate, wait, show, stop);
    stop.on_request(nullptr);
    port_close(*port);
    if (!stop.requested()) {
        show_caption(show, caption_idle);
    }
}
