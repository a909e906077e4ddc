#include "modem/modem_reset.h"

#include "engine/events/note_event.h"
#include "engine/report/engine_status.h"
#include "modem/serial_link.h"
#include "platform/gbk.h"
#include "platform/usb_reset.h"
#include "store/settings.h"

namespace {

void tell(EngineContext& ctx, const std::string& how, const std::string& trace_words, const std::string& monitor) {
    const std::string& device = ctx.port.device();
    tracef(ctx.logs, "%s on %s\n", trace_words.c_str(), device.c_str());
    ctx.output.prepend_monitor(monitor);
    if (ctx.status) {
        ctx.status->note_modem_reset(how);
    }
    JournalEvent event = message_event("modem", ctx.state.spool_date, 0, 0, 1, "", trace_words + " on " + device, how);
    event.id.clear(); // named by its place in the journal
    note_event(ctx, std::move(event));
}

void soft_reset(EngineContext& ctx) {
    port_write(ctx.port, "AT+CFUN=1,1\r");
    tell(ctx, "AT+CFUN=1,1",
         "modem silent through " + std::to_string(silent_reopens_before_reset) + " reopenings: reset with AT+CFUN=1,1",
         gbk("调制解调器连续") + std::to_string(silent_reopens_before_reset) +
             gbk("次重新打开都没有应答：已发送 AT+CFUN=1,1 让它重新启动。\r\n"));
}

void usb_reset(EngineContext& ctx) {
    UsbResetResult reset = reset_usb_device(ctx.port.device());
    if (reset.done) {
        tell(ctx, "usb", "modem still silent after AT+CFUN=1,1: USB device " + reset.usb_device + " reset",
             gbk("调制解调器重新启动后仍没有应答：已通过USB子系统重置 ") + reset.usb_device + "\r\n");
    } else {
        tell(ctx, "usb failed", "modem still silent after AT+CFUN=1,1: USB reset failed: " + reset.error,
             gbk("调制解调器重新启动后仍没有应答，USB重置失败：") + reset.error + "\r\n");
    }
}

} // namespace

void after_silent_reopen(EngineContext& ctx, bool opened, SilentReopens& silent) {
    if (!opened) {
        return; // a port that is not there (a USB modem booting) says nothing about the modem
    }
    if (++silent.in_a_row < silent_reopens_before_reset) {
        return;
    }
    silent.in_a_row = 0;
    if (silent.soft_reset_done && setting_is_on(settings::usb_reset)) {
        silent.soft_reset_done = false;
        usb_reset(ctx);
    } else {
        silent.soft_reset_done = true;
        soft_reset(ctx);
    }
    ctx.pacer.sleep(reset_boot_ms);
}
