#include "modem/modem_link.h"

#include "platform/gbk.h"

ModemLink::ModemLink(std::unique_ptr<SerialPort> port, PortOpener opener, std::string device, std::uint32_t baud)
    : port_(std::move(port)), opener_(std::move(opener)), device_(std::move(device)), baud_(baud),
      openings_(port_ ? 1 : 0) {}

bool ModemLink::configure(std::uint32_t baud) {
    baud_ = baud;
    return port_ && port_->configure(baud);
}

std::size_t ModemLink::write(std::string_view bytes) {
    if (!port_) {
        return 0;
    }
    std::size_t written = port_->write(bytes);
    note_broken_port();
    if (written < bytes.size() && reason_.empty()) {
        reason_ = gbk("写入失败");
    }
    return written;
}

std::size_t ModemLink::read(char* buffer, std::size_t count) {
    if (!port_) {
        return 0;
    }
    std::size_t got = port_->read(buffer, count);
    note_broken_port();
    return got;
}

std::size_t ModemLink::read_some(char* buffer, std::size_t count, int timeout_ms) {
    if (!port_) {
        return 0;
    }
    std::size_t got = port_->read_some(buffer, count, timeout_ms);
    note_broken_port();
    return got;
}

void ModemLink::prepare() {
    if (port_) {
        port_->prepare();
    }
}

void ModemLink::close() {
    if (port_) {
        port_->close();
        replace_port(nullptr);
    }
    if (reason_.empty()) {
        reason_ = gbk("端口已关闭");
    }
}

bool ModemLink::broken() const {
    return !port_ || !reason_.empty() || port_->broken();
}

void ModemLink::mark_down(const std::string& why) {
    if (reason_.empty()) {
        reason_ = why;
    }
}

void ModemLink::note_broken_port() {
    if (port_->broken() && reason_.empty()) {
        reason_ = gbk("线路挂断或设备已移除");
    }
}

void ModemLink::interrupt() {
    std::lock_guard lock(swap_);
    if (port_) {
        port_->interrupt();
    }
}

void ModemLink::replace_port(std::unique_ptr<SerialPort> port) {
    std::lock_guard lock(swap_);
    port_ = std::move(port);
}

bool ModemLink::reopen(bool accept_rejected_rate) {
    if (port_) {
        port_->close();
        replace_port(nullptr);
    }
    std::unique_ptr<SerialPort> port = opener_ ? opener_(device_) : nullptr;
    if (!port) {
        return false;
    }
    if (!port->configure(baud_) && !accept_rejected_rate) {
        port->close();
        return false;
    }
    replace_port(std::move(port));
    reason_.clear();
    ++openings_;
    return true;
}
