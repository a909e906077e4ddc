#include "support/engine_fixture.h"

#include "store/spool.h"

void EngineFixture::SetUp() {
    TempDirTest::SetUp();
    ensure_day_dirs(day);
    logs.open(day, "/dev/ttyS0");
    ctx.state.spool_date = day;
    ctx.state.port.device_name = "/dev/ttyS0";
}

void EngineFixture::TearDown() {
    logs.close();
    TempDirTest::TearDown();
}

std::unique_ptr<SerialPort> EngineFixture::reopen_device() {
    ++opens;
    if (refused_opens > 0) {
        --refused_opens;
        return nullptr;
    }
    port.set_broken(false);
    port.set_silent(false);
    return std::make_unique<BorrowedPort>(port);
}

std::vector<std::string> EngineFixture::sent_pdus() const {
    std::vector<std::string> pdus;
    for (const auto& w : port.writes()) {
        if (!w.bytes.empty() && w.bytes.back() == '\x1a') {
            pdus.push_back(w.bytes.substr(0, w.bytes.size() - 1));
        }
    }
    return pdus;
}

std::vector<std::string> EngineFixture::destinations() const {
    return submitted_destinations(port);
}

std::vector<std::string> EngineFixture::deletes() const {
    std::vector<std::string> out;
    for (const auto& w : port.writes()) {
        if (w.bytes.rfind("at+cmgd=", 0) == 0) {
            out.push_back(w.bytes);
        }
    }
    return out;
}

long EngineFixture::queue(const std::string& recipients, const std::string& content) {
    return queue_outgoing_record(day, recipients, "2004-5-6 7:00:00", content, clock);
}

std::vector<std::string> EngineFixture::send_commands() const {
    std::vector<std::string> commands;
    for (const auto& w : port.writes()) {
        if (w.bytes.rfind("at+cmgs=", 0) == 0) {
            commands.push_back(w.bytes);
        }
    }
    return commands;
}

std::string EngineFixture::report(const char* which) const {
    return file_bytes(std::string("log/") + which + day + ".log");
}

std::string EngineFixture::trace_text() const {
    return file_bytes("sms.log");
}

std::vector<ModemReply> accepting_modem() {
    return {
        {"at+cmgs=", "\r\n> "},                 // prompt for the PDU
        {"00", "\r\n+CMGS: 1\r\n\r\nOK\r\n"},   // standard-variant PDU taken
        {"08", "\r\n+CMGS: 1\r\n\r\nOK\r\n"},   // Siemens-variant PDU taken
        {"at+cmgd=", "at+cmgd\r\r\nOK\r\n"},    // message deleted
        {"AT+CMGF=0", "AT+CMGF=0\r\r\nOK\r\n"}, // PDU mode
    };
}

std::vector<std::string> submitted_destinations(const FakeSerialPort& port) {
    std::vector<std::string> numbers;
    for (const auto& w : port.writes()) {
        if (!w.bytes.empty() && w.bytes.back() == '\x1a') {
            auto decoded = decode_submit_pdu(w.bytes.substr(0, w.bytes.size() - 1));
            numbers.push_back(decoded ? decoded->number : "?");
        }
    }
    return numbers;
}

std::string deliver_pdu(const std::string& sender, const std::string& text, bool seven_bit, SenderForm form) {
    DeliverMessage m;
    m.sender = sender;
    m.form = form;
    m.seven_bit = seven_bit;
    m.text = text;
    return build_deliver_pdu(m);
}

std::string modem_listing(const std::vector<std::string>& pdus, bool blank_line) {
    std::string out = "at+cmgl=4\r\n";
    if (blank_line) {
        out += "\r\n";
    }
    for (size_t i = 0; i < pdus.size(); ++i) {
        out += "+CMGL: " + std::to_string(i + 1) + ",0,," + std::to_string(pdus[i].size() / 2 - 9) + "\r\n" + pdus[i] +
               "\r\n";
    }
    return out + "\r\nOK\r\n";
}
