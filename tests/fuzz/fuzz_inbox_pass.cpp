// Fuzz target: the inbox pass on whatever the modem answers to the listing command.
//
// The first byte of the input sets the engine options the pass reads; the rest is the modem's
// answer to "at+cmgl=4", handed out in 512-byte reads as a serial port would. The whole pass runs:
// listing walk, decoding, storing, the on-demand reply, the logs, the monitor and the deletes.
//
// Option byte: bits 0-1 the device (1 Siemens, 2 Wavecom, else other), bit 2 the faster device,
// bit 3 replies to members only, bit 4 a listing limit of 1024 bytes (a longer listing takes the link
// down and back up). Seeds use '0' (other), '2' (Wavecom), '8' and ':' (members only), 'P' (limit).
//
// Besides sanitizer reports, the pass must never delete from the modem a message it has not stored,
// nor leave a stored message undeleted: each delete comes right after the next message was stored
// (or repeats the one before, when the link went down and came back), the last one follows the last
// message stored, and every record is whole.

#include "engine/engine_context.h"
#include "engine/report/engine_logs.h"
#include "engine/incoming/inbox_pass.h"
#include "modem/modem_link.h"
#include "fuzz_modem.h"
#include "fuzz_support.h"
#include "platform/ini_file.h"
#include "store/catalogue_files.h"
#include "store/spool.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace {

const std::string day = "2004-5-6"; // the day StillClock gives
const std::string device = "/dev/ttyFUZZ";

void set_options(EngineOptions& options, std::uint8_t bits) {
    switch (bits & 0x03) {
    case 1:
        options.device = DeviceType::Siemens;
        break;
    case 2:
        options.device = DeviceType::Wavecom;
        break;
    default:
        options.device = DeviceType::Other;
        break;
    }
    options.fast_device = (bits & 0x04) != 0;
    options.members_only = (bits & 0x08) != 0;
    if (bits & 0x10) {
        options.max_listing_bytes = 1024;
    }
}

void check_deletes(const ListingModem& modem, long stored) {
    long deleted = 0; // the record the deletes so far were for
    const std::string* last = nullptr;
    for (const ListingModem::Delete& d : modem.deletes()) {
        bool retry = last != nullptr && d.stored == deleted && d.command == *last;
        if (!retry && d.stored != deleted + 1) {
            fuzz_fail("%s sent with %ld messages stored, after deletes for %ld", d.command.c_str(), d.stored, deleted);
        }
        deleted = d.stored;
        last = &d.command;
    }
    if (deleted != stored) {
        fuzz_fail("%ld messages stored, the last delete was for message %ld", stored, deleted);
    }
}

void check_records(SpoolDir dir, long count) {
    for (long n = 1; n <= count; ++n) {
        RecordTexts record = read_record(day, dir, n);
        if (!record.header || !record.content || !record.recipients) {
            fuzz_fail("%s record %ld of %ld is not whole", spool_dir_name(dir), n, count);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    enter_scratch_dir("inbox", argc, argv);
    // A catalogue entry and a member, so queries can be answered on both option settings.
    make_catalogue_dir();
    if (!catalogue_write("1", std::string("Opening hours: 9 to 5")) ||
        !ini_write(members_file, members_section, "13900000001", std::string("1"))) {
        fuzz_fail("cannot write the catalogue or the members file");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t bits = size > 0 ? data[0] : 0;
    std::string listing = size > 0 ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1) : std::string();

    // Every input starts from an empty day and empty logs.
    std::error_code ignored;
    std::filesystem::remove_all(day, ignored);
    std::filesystem::remove_all("log", ignored);
    ensure_day_dirs(day);

    StillClock clock;
    ClockPacer pacer(clock);
    EngineOptions options;
    set_options(options, bits);
    KeptOutput output;
    EngineLogs logs;
    logs.open(day, device);
    ListingModem modem(listing, [] { return read_counter(day, SpoolDir::Recv); });
    ModemLink link(
        std::make_unique<LentPort>(modem), [&modem](const std::string&) { return std::make_unique<LentPort>(modem); },
        device, 19200);
    EngineContext ctx{link, clock, pacer, options, output, logs, {}};
    ctx.state.spool_date = day;
    ctx.state.port.device_name = device;

    run_inbox_pass(ctx);
    logs.close();

    if (link.broken()) {
        fuzz_fail("the pass ended with the link down");
    }
    if (modem.listings() != 1) {
        fuzz_fail("the pass asked for %d listings", modem.listings());
    }
    long stored = read_counter(day, SpoolDir::Recv);
    check_deletes(modem, stored);
    check_records(SpoolDir::Recv, stored);
    check_records(SpoolDir::New, read_counter(day, SpoolDir::New));
    return 0;
}
