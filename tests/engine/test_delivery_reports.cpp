#include "engine/incoming/delivery_reports.h"
#include "engine/incoming/inbox_pass.h"
#include "modem/indications.h"
#include "modem/pdu/pdu_status_report.h"
#include "engine/outgoing/submission.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "store/sent_references.h"
#include "store/spool.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

namespace {

// A status report as a modem passes it on: no service centre (or the one given), reference, the
// recipient in international form, two time stamps, the status.
std::string report_pdu(int reference, const std::string& international_digits, int status,
                       const std::string& centre = "00") {
    char head[8];
    std::snprintf(head, sizeof head, "06%02X%02X", reference, static_cast<int>(international_digits.size()));
    std::string digits = international_digits + (international_digits.size() % 2 ? "F" : "");
    std::string swapped;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        swapped += std::string{digits[i + 1], digits[i]};
    }
    char tail[4];
    std::snprintf(tail, sizeof tail, "%02X", status);
    return centre + head + "91" + swapped + "40506070105023" + "40506070205023" + tail;
}

struct ReportCase {
    const char* name;
    std::string pdu;
    int reference;
    const char* recipient;
    int status;
    DeliveryOutcome outcome;
};

class StatusReportDecoding : public ::testing::TestWithParam<ReportCase> {};

TEST_P(StatusReportDecoding, ReadsTheFieldsThatMatchAReportToItsMessage) {
    const ReportCase& c = GetParam();
    ASSERT_TRUE(is_status_report(c.pdu));
    std::optional<DeliveryReport> report = decode_status_report(c.pdu + "\r");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->reference, c.reference);
    EXPECT_EQ(report->recipient, c.recipient);
    EXPECT_EQ(report->status, c.status);
    EXPECT_EQ(delivery_outcome(report->status), c.outcome);
}

const ReportCase reports[] = {
    {"delivered", report_pdu(42, "8613900000001", 0x00), 42, "+8613900000001", 0, DeliveryOutcome::Delivered},
    {"with_service_centre", report_pdu(7, "8613900000002", 0x00, "0891683108000005F0"), 7, "+8613900000002", 0,
     DeliveryOutcome::Delivered},
    {"still_trying", report_pdu(255, "8613900000001", 0x20), 255, "+8613900000001", 0x20, DeliveryOutcome::Pending},
    {"failed", report_pdu(1, "8613900000001", 0x41), 1, "+8613900000001", 0x41, DeliveryOutcome::Failed},
    {"national_recipient",
     "00062A0B813109000000F1"
     "40506070105023"
     "40506070205023"
     "00",
     42, "13900000001", 0, DeliveryOutcome::Delivered},
};

INSTANTIATE_TEST_SUITE_P(Table, StatusReportDecoding, ::testing::ValuesIn(reports),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StatusReportDecoding, AReceivedMessageOrAShortLineIsNoReport) {
    EXPECT_FALSE(is_status_report(deliver_pdu("13900000001", "hi")));
    EXPECT_FALSE(decode_status_report(report_pdu(1, "8613900000001", 0).substr(0, 20)));
}

class DeliveryReports : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        options.delivery_reports = true;
        options.responsive = true;
        options.speed = 0;
        ctx.state.content.kind = 0;
        ctx.state.content.plain = gbk("你好");
    }
    void submit(const std::string& number, long record, int index) {
        submit_to_recipient(ctx, number, UserData{"4F60597D", 0}, record, index);
    }
    std::string delivery_log() const { return file_bytes("log/DLVR" + day + ".log"); }
};

TEST_F(DeliveryReports, TheRequestGoesOutAndTheReferenceIsKept) {
    port.script({{"at+cmgs=", "\r\n> "}, {"00", "\r\n+CMGS: 42\r\n\r\nOK\r\n"}});
    submit("13900000001", 3, 0);
    ASSERT_EQ(sent_pdus().size(), 1u);
    EXPECT_EQ(sent_pdus()[0].substr(0, 4), "0031"); // SMS-SUBMIT asking for a status report
    EXPECT_EQ(file_bytes(day + "/send/refs"), "42 13900000001 3 0 1 1\n");
}

TEST_F(DeliveryReports, AReportPassedOnInTheMiddleOfASendIsLoggedForItsRecipient) {
    port.script({{"at+cmgs=", "\r\n> "}, {"00", "\r\n+CMGS: 42\r\n\r\nOK\r\n"}});
    submit("13900000001", 3, 0);
    port.script({{"at+cmgs=", "\r\n> "},
                 {"00", "\r\n+CDS: 25\r\n" + report_pdu(42, "8613900000001", 0) + "\r\n\r\n+CMGS: 43\r\n\r\nOK\r\n"}});
    submit("13900000002", 3, 1);
    take_pending_reports(ctx);
    EXPECT_EQ(delivery_log(), "3.0," + time_text(clock.now()) + "   13900000001    delivered (status 0)\r\r\n");
    EXPECT_FALSE(report("SUCC").empty());
}

TEST_F(DeliveryReports, AReportStoredInTheModemIsLoggedAndDeletedNotReceived) {
    ASSERT_TRUE(note_sent_reference(day, {9, "13900000001", 5, 2, 1, 1}));
    port.script({{"at+cmgl=4", modem_listing({report_pdu(9, "8613900000001", 0x41)})}});
    port.standing({{"at+cmgd=", "\r\nOK\r\n"}});
    EXPECT_EQ(run_inbox_pass(ctx), 1);
    EXPECT_EQ(delivery_log(), "5.2," + time_text(clock.now()) + "   13900000001    failed (status 65)\r\r\n");
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 0);
    EXPECT_EQ(deletes(), std::vector<std::string>{"at+cmgd=1\r\n"});
}

TEST_F(DeliveryReports, AReportForNoMessageSentGoesToTheTraceOnly) {
    ASSERT_TRUE(note_sent_reference(day, {9, "13900000001", 5, 2, 1, 1}));
    take_status_report(ctx, report_pdu(10, "8613900000001", 0)); // another reference
    take_status_report(ctx, report_pdu(9, "8613900000009", 0));  // another number
    EXPECT_FALSE(file_exists("log/DLVR" + day + ".log"));
    EXPECT_NE(trace_text().find("status report matches no message sent"), std::string::npos);
}

struct MatchCase {
    const char* name;
    const char* country;       // COUNTRY of server.txt; nullptr: none
    const char* sent_to;       // the recipient as the record names it
    const char* report_digits; // TP-RA, international type
    bool matched;
};

void PrintTo(const MatchCase& c, std::ostream* os) {
    *os << c.name;
}

class ReportMatching : public DeliveryReports, public ::testing::WithParamInterface<MatchCase> {};

// A report names the recipient in international form; the record as it was typed.
TEST_P(ReportMatching, ComparesTheNumbersInOneForm) {
    const MatchCase& c = GetParam();
    if (c.country) {
        put_file("server.txt", std::string("[SET]\r\nCOUNTRY=") + c.country + "\r\n");
    }
    ASSERT_TRUE(note_sent_reference(day, {9, c.sent_to, 5, 2, 1, 1}));
    take_status_report(ctx, report_pdu(9, c.report_digits, 0));
    EXPECT_EQ(delivery_log().find(std::string("5.2,")) == 0, c.matched) << delivery_log();
}

const MatchCase matches[] = {
    {"national_record", nullptr, "13900000001", "8613900000001", true},
    {"international_record", nullptr, "+8613900000001", "8613900000001", true},
    {"foreign_record", nullptr, "+447700900123", "447700900123", true},
    {"foreign_report_for_a_national_record", nullptr, "13900000001", "85213900000001", false},
    {"foreign_record_other_number", nullptr, "+447700900123", "447700900124", false},
    {"national_record_of_another_country", "44", "7700900123", "447700900123", true},
    {"86_report_abroad_is_not_national", "44", "13900000001", "8613900000001", false},
};

INSTANTIATE_TEST_SUITE_P(Table, ReportMatching, ::testing::ValuesIn(matches),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeliveryReports, YesterdaysMessagesAreMatchedAfterMidnight) {
    ensure_day_dirs("2004-5-5");
    ASSERT_TRUE(note_sent_reference("2004-5-5", {200, "13900000001", 8, 0, 2, 3}));
    take_status_report(ctx, report_pdu(200, "8613900000001", 0));
    EXPECT_NE(delivery_log().find("8.0,"), std::string::npos);
    EXPECT_NE(delivery_log().find("delivered (status 0) part 2/3"), std::string::npos);
}

TEST_F(DeliveryReports, TheModemIsAskedToPassReportsOn) {
    port.standing({{"AT+CNMI=", "\r\nOK\r\n"}});
    sync_indications(ctx);
    EXPECT_EQ(port.written(), "AT+CNMI=2,1,0,1,0\r\n");
}

TEST_F(DeliveryReports, WithTheOptionOffNothingIsAskedOrKept) {
    options.delivery_reports = false;
    port.script({{"at+cmgs=", "\r\n> "}, {"00", "\r\n+CMGS: 42\r\n\r\nOK\r\n"}});
    submit("13900000001", 3, 0);
    EXPECT_EQ(sent_pdus()[0].substr(0, 4), "0011");
    EXPECT_FALSE(file_exists(day + "/send/refs"));
    EXPECT_FALSE(file_exists("log/DLVR" + day + ".log"));
}

} // namespace
