#pragma once

#include "engine/engine_options.h"
#include "engine/operator_output.h"
#include "engine/report/engine_logs.h"
#include "modem/modem_link.h"
#include "platform/clock.h"

#include <memory>
#include <string>
#include <vector>

// Thrown from a safe point when the engine must stop now (window closed, daemon signalled). It never
// leaves the engine thread: myterad catches it and closes the port and the logs.
struct EngineStopped {};

// Where the engine may pause. `checkpoint` blocks while the engine is paused and throws EngineStopped
// when it must stop; `sleep` is a wait of the engine with a checkpoint before and after.
class Pacer {
public:
    virtual ~Pacer() = default;
    virtual void checkpoint() = 0;
    virtual void sleep(int ms) = 0;
};

// A pacer that never pauses: plain sleeps through the clock.
class ClockPacer : public Pacer {
public:
    explicit ClockPacer(Clock& clock) : clock_(clock) {}
    void checkpoint() override {}
    void sleep(int ms) override { clock_.sleep_ms(ms); }

private:
    Clock& clock_;
};

struct OptOutCheck; // engine/outgoing/optout_check.h

// The record being sent.
struct ContentState {
    char kind = 0;     // first byte of the record's content: 2 = English
    std::string plain; // first line of the record's content file, kind byte included
    // The concatenation reference of the last long message sent; the next one takes the next number.
    int concat_reference = 0;
    // The opt-out list as read for the record being sent: read once per record.
    std::shared_ptr<OptOutCheck> optout;
    // The record is an on-demand reply (noted when quiet hours are set): the quiet span lets it through.
    bool reply = false;
};

// The port as named at start-up.
struct PortState {
    std::string device_name; // the port's device path
    std::string com_setting; // COM and RATE as read at start-up, for the start-up trace line
    std::string rate_setting;
};

// What the modem was asked to announce, and what it announced that is not handled yet.
struct IndicationState {
    // The modem announced a new message (responsive mode): the inbox is read without idling first.
    bool message_announced = false;
    // The modem was asked to announce new messages (whatever it said), and whether it took that on;
    // both are forgotten when the link is reopened, as the modem may have lost its settings.
    bool asked = false;
    bool on = false;
    // Whether the indications asked for include status reports.
    bool with_reports = false;
    // Status reports that came as indications in the middle of other exchanges, not yet logged.
    std::vector<std::string> pending_reports;
};

// When the modem's signal and registration were last asked (steady clock); forgotten on reopening.
struct ModemStatusState {
    bool asked = false;
    long long asked_ms = 0;
};

// The modem's message storages (AT+CPMS) as the responsive mode reads them, chosen again after every
// opening of the port, and the messages stored in the spool that the modem did not delete (both modes).
struct StorageState {
    // The opening of the port (ModemLink::openings) the storages were chosen on; 0: not chosen.
    unsigned long chosen_on = 0;
    std::vector<std::string> read; // listed at every pass, in this order: "SM", "ME"
    std::string receive;           // where the modem puts new messages
    // The modem said a storage is full: it is drained before anything else. "" names the receiving one.
    bool full_noticed = false;
    std::string full;
    // A message stored in the spool whose delete the modem refused, with the storage it is in ("" for
    // the modem's own choice) and its index: while it stays listed it is not stored again.
    struct Undeleted {
        std::string storage;
        std::string index;
        std::string pdu;
    };
    std::vector<Undeleted> undeleted;
};

// Whether sending is held for want of a network registration (responsive mode), and when the modem
// last said it was registered (steady clock).
struct RegistrationState {
    bool held = false;
    bool known = false;
    long long registered_at_ms = 0;
};

// The state the engine's passes share while one record or one message is handled.
struct EngineState {
    std::string spool_date;     // the day directory the engine works on
    std::string time_text;      // taken at every attempt and every received message
    std::string date_time_text; // spool date + " " + time text
    ContentState content;
    PortState port;
    IndicationState indications;
    ModemStatusState modem_status;
    RegistrationState registration;
    StorageState storage;
};

class EngineStatus;
class EngineEvents;
class SendSource;
class SendLimiter;

// Everything the engine works with. The engine reads the options at the moment of use and writes to
// the operator only through `output`.
struct EngineContext {
    ModemLink& port;
    Clock& clock;
    Pacer& pacer;
    EngineOptions& options;
    OperatorOutput& output;
    EngineLogs& logs;
    EngineState state;
    // The event journal: every event goes there first; none in most tests.
    EngineEvents* events = nullptr;
    // The status file of this directory; none in most tests.
    EngineStatus* status = nullptr;
    // Where outgoing messages come from (engine/send_source.h); none in most tests: the spool alone.
    SendSource* send_source = nullptr;
    // server.txt's [LIMITS] (engine/outgoing/send_limiter.h); none in most tests: no limits.
    SendLimiter* limiter = nullptr;
    // An engine of a pool: a submission that finds the link down throws RecipientReturned.
    bool gives_back_recipient = false;

    SendSource& source();

    // Takes the time text afresh; the date-time text follows the engine's spool date.
    void stamp_time() {
        state.time_text = time_text(clock.now());
        state.date_time_text = state.spool_date + " " + state.time_text;
    }
};
