#include "engine/device_test.h"

#include "engine/serial_link.h"
#include "platform/gbk.h"
#include "store/settings.h"

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

void show_message(const DeviceTestShow& show, std::string text) {
    show({DeviceTestStep::Kind::Message, std::move(text)});
}

void show_caption(const DeviceTestShow& show, const char* utf8) {
    show({DeviceTestStep::Kind::ButtonCaption, gbk(utf8)});
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
