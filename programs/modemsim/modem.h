#pragma once

#include "modemsim/at_command.h"
#include "modemsim/message_store.h"
#include "modemsim/sim_card.h"
#include "modemsim/submission_log.h"

#include <array>
#include <deque>
#include <random>
#include <string>
#include <string_view>
#include <vector>

struct ModemProfile {
    bool echo = true;                // ATE1; ATZ and AT&F return to this
    bool blank_line_listing = false; // a blank line between the echo and the AT+CMGL entries
    // What was typed and not ended (a command line, a PDU after its prompt) stays when the gateway lets
    // go of the port, as a real modem keeps it; by default it is cleared.
    bool keep_input_on_release = false;
    bool check_length = true; // refuse a PDU whose length differs from the one AT+CMGS announced
    bool indications = true;  // AT+CNMI is offered; without it the gateway has to poll
    int capacity = 30;        // message slots
    std::string service_centre = "+8613800000500";
};

enum class Fault {
    None,
    Silent,         // a dead modem: no echo, no answer, input dropped
    SendError,      // every submission ends in +CMS ERROR: 500
    Reject,         // every command line answers ERROR
    EndlessListing, // AT+CMGL lists its entries over and over and never comes to its OK
    // AT+CMGL lists its entries over and over, a few bytes at a time (trickle_piece every
    // trickle_interval), and never comes to its OK
    TricklingListing,
    Garbage, // every command line and PDU is answered with random bytes instead
    // A hung modem: no echo, no answer, except that AT+CFUN=1,1 still reboots it
    Hung,
    HangDelete, // AT+CMGD is echoed and never answered, nothing is deleted; other commands work
};

// What the network makes of an accepted submission that asked for a status report.
enum class ReportFate {
    Delivered, // reported received by the recipient
    Failed,    // reported given up for good
    None,      // never reported
};

// A status report the network owes for an accepted submission.
struct ReportRequest {
    int reference = 0;        // the +CMGS reference
    std::string recipient;    // as the submission named it
    int recipient_type = 0;   // its type of address
    int status = 0;           // TP-ST, as the fate at submission time decided
    std::string submitted_at; // YYMMDDhhmmsszz, filled in by whoever keeps the time
};

// What became of a status report the network handed to the modem.
struct ReportRouting {
    std::string unasked; // what the modem sends for it without being asked: +CDS, +CDSI or nothing
    int index = 0;       // the slot it took when kept in memory
    bool lost = false;   // it was to be kept, but the memory is full
};

// A GSM modem in PDU mode, byte stream in, byte stream out: no device, no clock, so the whole
// conversation can be driven from anywhere.
class Modem {
public:
    Modem(const ModemProfile& profile, SubmissionLog& log);

    // Takes what the line delivered and returns what the modem sends back, echo included, in the
    // order a modem working through the bytes one by one would send it.
    std::string receive(std::string_view bytes);

    // Like receive(), but stops before a Ctrl-Z that would end a PDU and submit it, so that the
    // caller can hand that byte over on its own and hold its answer back for as long as the network
    // takes. `taken` is how many bytes were used: all of them when none of them submits.
    std::string receive_up_to_submission(std::string_view bytes, size_t& taken);

    // Whether the modem is between its "> " prompt and the end of the PDU.
    bool taking_pdu() const { return taking_pdu_; }

    // Forgets a half-typed command line or a PDU in the making: what a modem does when the line
    // drops or the host purges it, so a new session does not start inside the old one's PDU.
    void reset_input();

    // What a modem does when its power comes back, as when its USB cable is plugged in again: the
    // input and a listing under way are gone, echo is as at start and new-message indications are
    // off. The messages stay in storage.
    void restart();

    // The SIM, and who the modem and the SIM say they are (AT+CGSN, AT+CCID).
    SimCard& sim() { return sim_; }
    const std::string& imei() const { return imei_; }
    const std::string& iccid() const { return iccid_; }
    void set_identity(std::string imei, std::string iccid) {
        imei_ = std::move(imei);
        iccid_ = std::move(iccid);
    }
    // AT+CFUN=1,1 asked for a reboot since the last call: the modem's power goes and comes back.
    bool take_reboot() {
        bool asked = reboot_asked_;
        reboot_asked_ = false;
        return asked;
    }
    // What a modem prints when it has booted: "RDY", the SIM's state, "SMS DONE".
    std::string boot_lines() const;

    // Setting any fault ends an endless listing under way.
    void set_fault(Fault fault);
    // The next `count` submissions fail with +CMS ERROR: 500; the ones after them go through.
    void fail_next_sends(int count) { failing_sends_ = count; }
    void set_blank_line_listing(bool on) { profile_.blank_line_listing = on; }
    void set_keep_input_on_release(bool on) { profile_.keep_input_on_release = on; }
    bool keeps_input_on_release() const { return profile_.keep_input_on_release; }
    Fault fault() const { return fault_; }
    bool blank_line_listing() const { return profile_.blank_line_listing; }
    int failing_sends() const { return failing_sends_; }

    MessageStore& store() { return store_; }

    // --- Message memories and the network's retries (modem_storage.cpp) ---------------------------
    // A message from the network: stored in the receiving memory and announced as AT+CNMI asks, or,
    // while that memory is full, held by the network (the modem says "^SMMEMFULL: <memory>" when
    // indications are on) and stored once a slot frees. The slot it took (0 when held) and what the
    // modem sends unasked for it.
    struct Arrival {
        int index = 0;
        std::string unasked;
    };
    Arrival arrive(const std::string& pdu, const std::string& description);
    // A message put straight into memory `memory` (as one stored before, or by the phone): its slot, 0
    // when that memory is full or none of this modem's. Nothing is announced.
    int put(const std::string& memory, const std::string& pdu, const std::string& description);
    // The network tries again: held messages go into the receiving memory while it has room. The
    // indication lines announcing them ("+CMTI: ...") as AT+CNMI asks.
    std::vector<std::string> retry_held();
    size_t held() const { return held_.size(); }
    // The next `count` AT+CMGD deletions answer +CMS ERROR: 320 and delete nothing; -1: every one.
    void fail_deletes(int count) { failing_deletes_ = count; }
    int failing_deletes() const { return failing_deletes_; }
    // The next `count` AT+CMGD deletions of a message answer OK and leave it in its slot, so that it
    // is listed again, as some modems do; -1: every one.
    void relist_deletes(int count) { relisting_deletes_ = count; }
    int relisting_deletes() const { return relisting_deletes_; }
    static constexpr size_t most_held = 1000; // beyond this the network gives up on a message

    // The unsolicited result code announcing a message just stored at `index`, as AT+CNMI asked for
    // it; empty when the gateway asked for none.
    std::string new_message_indication(int index) const;
    // The AT+CNMI values as "mode,mt,bm,ds,bfr".
    std::string indication_settings() const;
    bool offers_indications() const { return profile_.indications; }

    // What AT+CSQ and AT+CREG? answer from now on: the signal quality (0..31, 99 not known) and the
    // registration state (0..5).
    void set_network(int rssi, int registration) {
        rssi_ = rssi;
        registration_ = registration;
    }
    // Decides the status reports of submissions accepted from now on.
    void set_report_fate(ReportFate fate) { report_fate_ = fate; }
    ReportFate report_fate() const { return report_fate_; }
    // The status reports owed for the submissions accepted since the last call, oldest first.
    std::vector<ReportRequest> take_report_requests();
    // Takes the network's status report on `request`, time-stamped `discharged_at`, and passes it on as
    // AT+CNMI's ds asks: handed over at once with +CDS (ds 1), or kept in memory and announced with
    // +CDSI (ds 2) or not announced (ds 0). A report that cannot be handed over or announced, with
    // indications off or the modem dead, is kept in memory unannounced.
    ReportRouting report_status(const ReportRequest& request, const std::string& discharged_at);
    // A new concatenation reference for a long message the network delivers.
    int new_concatenation_reference(bool sixteen_bit);

    // Whether an endless listing is under way; the modem then takes no input.
    bool streaming() const { return streaming_; }
    // The next entries of the endless listing, a few kilobytes of whole lines; when it trickles, the
    // next piece of them.
    std::string stream_more();
    bool trickling() const { return fault_ == Fault::TricklingListing; }
    static constexpr size_t trickle_piece = 40;
    static constexpr int trickle_interval_ms = 200;

    // `count` random bytes, binary ones among them, that never make an "OK" line or a "+CMGS:" with
    // the noise sent before them, nor leave one half made for the modem's next answer to complete.
    std::string noise(size_t count);

private:
    struct Result {
        std::vector<std::string> info; // information text lines, framed by CR LF as one block
        std::string final_code = "OK"; // "OK", "ERROR", "+CMS ERROR: n"; empty after the send prompt
        bool leading_blank_line = false;
        bool endless = false; // the information text never ends: an endless listing starts
    };

    std::string take(std::string_view bytes, bool stop_at_submission, size_t& taken);
    void command_byte(char c, std::string& out);
    void pdu_byte(char c, std::string& out);
    void run_line(const std::string& line, std::string& out);
    Result run(const AtCommand& command);
    Result run_basic(const AtCommand& command);
    Result run_sms(const AtCommand& command);
    Result run_identity(const AtCommand& command);
    Result sim_command(const AtCommand& command);
    void hung_byte(char c);
    Result send_command(const AtCommand& command);
    Result list_command(const AtCommand& command);
    Result read_command(const AtCommand& command);
    Result delete_command(const AtCommand& command);
    Result service_centre_command(const AtCommand& command);
    Result storage_command(const AtCommand& command);
    // The indication announcing a message in `index` of `memory`, as AT+CNMI asks; "" for none.
    std::string stored_indication(const std::string& memory, int index) const;
    // Whether the deletion asked for now is to fail, as fail_deletes set.
    bool delete_fails();
    // Whether the message the deletion asked for now names stays, as relist_deletes set.
    bool delete_keeps();
    Result indications_command(const AtCommand& command);
    void finish_pdu(std::string& out);
    std::string garbage_answers(std::string_view bytes);
    void start_stream(const std::vector<std::string>& listing);

    ModemProfile profile_;
    SubmissionLog& log_;
    MessageStore store_;
    bool echo_;
    Fault fault_ = Fault::None;
    int failing_sends_ = 0;
    int next_reference_ = 1;
    ReportFate report_fate_ = ReportFate::Delivered;
    SimCard sim_;
    std::string imei_ = "351234567890124";
    std::string iccid_ = "89860012345678901234";
    bool reboot_asked_ = false;
    std::string hung_line_; // what a hung modem was typed since its last CR, looked at for AT+CFUN=1,1
    int rssi_ = 25;
    int registration_ = 1;
    std::vector<ReportRequest> report_requests_;
    int next_concatenation_reference_ = 1;
    std::array<int, 5> cnmi_{}; // mode, mt, bm, ds, bfr as AT+CNMI set them

    bool taking_pdu_ = false;
    bool after_cr_ = false;
    std::string line_;
    std::string pdu_;
    int announced_length_ = 0;

    bool streaming_ = false;
    std::vector<std::string> stream_entries_; // "+CMGL: ..." CR LF PDU CR LF, repeated in turn
    size_t stream_next_ = 0;
    std::string trickle_; // what is left of the entry being trickled

    std::deque<std::pair<std::string, std::string>> held_; // (PDU, description) the network holds, oldest first
    int failing_deletes_ = 0;
    int relisting_deletes_ = 0;

    std::mt19937 random_;
    std::string noise_tail_; // the last bytes of noise sent, so the next noise does not complete a line
};
