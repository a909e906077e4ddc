#include "engine/incoming/inbox_pass.h"
#include "engine/incoming/storage_pass.h"
#include "engine/incoming/undeleted_messages.h"
#include "modem/awaited_answer.h"
#include "modem/message_storage.h"
#include "modem/storage_answers.h"
#include "store/spool.h"
#include "support/engine_fixture.h"
#include "support/param_name.h"

#include <gtest/gtest.h>

namespace {

// --- What the modem says about its storages -----------------------------------------------------------

struct OfferCase {
    const char* name;
    const char* answer;
    std::vector<std::string> read; // empty: no offer read
    std::vector<std::string> receive;
    std::vector<std::string> chosen_read;
    const char* chosen_receive;
};

class StorageOffer : public ::testing::TestWithParam<OfferCase> {};

TEST_P(StorageOffer, IsReadAndTheSimAndPhoneMemoryAreChosen) {
    const OfferCase& c = GetParam();
    std::optional<OfferedStorages> offered = parse_storage_offer(c.answer);
    ASSERT_EQ(offered.has_value(), !c.read.empty());
    if (!offered) {
        return;
    }
    EXPECT_EQ(offered->read, c.read);
    EXPECT_EQ(offered->receive, c.receive);
    StorageChoice choice = choose_storages(*offered);
    EXPECT_EQ(choice.read, c.chosen_read);
    EXPECT_EQ(choice.receive, c.chosen_receive);
}

const OfferCase offers[] = {
    {"sim_and_phone",
     "AT+CPMS=?\r\r\n+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")\r\n\r\nOK\r\n",
     {"SM", "ME"},
     {"SM", "ME"},
     {"SM", "ME"},
     "ME"},
    {"phone_listed_first_and_others",
     "\r\n+CPMS: (\"ME\",\"MT\",\"SM\",\"SR\"),(\"ME\",\"MT\",\"SM\",\"SR\"),(\"ME\",\"MT\",\"SM\")\r\n\r\nOK\r\n",
     {"ME", "MT", "SM", "SR"},
     {"ME", "MT", "SM"},
     {"SM", "ME"},
     "ME"},
    {"sim_only", "\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n\r\nOK\r\n", {"SM"}, {"SM"}, {"SM"}, "SM"},
    {"phone_receives_only_into_the_sim",
     "\r\n+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\")\r\nOK\r\n",
     {"SM", "ME"},
     {"SM"},
     {"SM", "ME"},
     "SM"},
    {"combined_memory_alone", "\r\n+CPMS: (\"MT\"),(\"MT\"),(\"MT\")\r\nOK\r\n", {"MT"}, {"MT"}, {"MT"}, "MT"},
    {"lower_case_without_brackets", "\r\n+CPMS: \"sm\",\"sm\",\"sm\"\r\nOK\r\n", {"SM"}, {"SM"}, {"SM"}, "SM"},
    {"one_list_for_all", "\r\n+CPMS: (\"SM\",\"ME\")\r\nOK\r\n", {"SM", "ME"}, {"SM", "ME"}, {"SM", "ME"}, "ME"},
    {"no_cpms_line", "\r\nERROR\r\n", {}, {}, {}, ""},
    {"empty_list", "\r\n+CPMS: (),(),()\r\nOK\r\n", {}, {}, {}, ""},
    {"name_not_letters", "\r\n+CPMS: (\"S;M\"),(\"SM\"),(\"SM\")\r\nOK\r\n", {}, {}, {}, ""},
    {"quote_left_open", "\r\n+CPMS: (\"SM),(\"SM\"),(\"SM\")\r\nOK\r\n", {}, {}, {}, ""},
    {"four_lists", "\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\"),(\"SM\")\r\nOK\r\n", {}, {}, {}, ""},
};

INSTANTIATE_TEST_SUITE_P(Table, StorageOffer, ::testing::ValuesIn(offers), CaseName());

TEST(StorageCounts, AreReadFromTheAnswerToASelection) {
    std::optional<std::vector<StorageCounts>> counts = parse_storage_counts("\r\n+CPMS: 2,20,50,50,0,50\r\n\r\nOK\r\n");
    ASSERT_TRUE(counts);
    ASSERT_EQ(counts->size(), 3u);
    EXPECT_EQ((*counts)[0].used, 2);
    EXPECT_EQ((*counts)[0].total, 20);
    EXPECT_FALSE((*counts)[0].full());
    EXPECT_TRUE((*counts)[1].full());
    EXPECT_FALSE((*counts)[2].full());
    EXPECT_EQ(parse_storage_counts("\r\n+CPMS: 1,5\r\nOK\r\n")->size(), 1u);
    for (const char* bad : {"\r\n+CPMS: \"SM\",1,5,\"SM\",1,5,\"SM\",1,5\r\nOK\r\n", "\r\n+CPMS: 1,5,2\r\nOK\r\n",
                            "\r\n+CPMS: 1,x,2,3\r\nOK\r\n", "\r\n+CPMS: 1,5,1,5,1,5,1,5\r\nOK\r\n",
                            "\r\n+CPMS: 1,999999\r\nOK\r\n", "\r\nOK\r\n"}) {
        EXPECT_FALSE(parse_storage_counts(bad)) << bad;
    }
    EXPECT_FALSE((StorageCounts{0, 0}.full())); // a storage that holds nothing at all is not full
}

struct NoticeCase {
    const char* name;
    const char* text;
    std::optional<std::string> full;
};

class FullNotice : public ::testing::TestWithParam<NoticeCase> {};

TEST_P(FullNotice, NamesTheFullStorage) {
    EXPECT_EQ(full_storage_notice(GetParam().text), GetParam().full);
}

const NoticeCase notices[] = {
    {"huawei_names_the_sim", "\r\n^SMMEMFULL: \"SM\"\r\n", "SM"},
    {"huawei_names_the_phone", "\r\n^SMMEMFULL:\"ME\"\r\n", "ME"},
    {"indicator_by_name", "\r\n+CIEV: \"SMSFULL\",1\r\n", ""},
    {"indicator_unquoted_lower_case", "\r\n+CIEV: smsfull,1\r\n", ""},
    {"indicator_cleared", "\r\n+CIEV: \"SMSFULL\",0\r\n", std::nullopt},
    {"other_indicator", "\r\n+CIEV: \"SIGNAL\",3\r\n", std::nullopt},
    {"sierra", "\r\n+WMGF\r\n", ""},
    {"memory_full_error", "AT+CMGW\r\r\n+CMS ERROR: 322\r\n", ""},
    {"other_error", "\r\n+CMS ERROR: 321\r\n", std::nullopt},
    {"named_beats_unnamed", "\r\n+CIEV: \"SMSFULL\",1\r\n\r\n^SMMEMFULL: \"ME\"\r\n", "ME"},
    {"new_message", "\r\n+CMTI: \"SM\",3\r\n", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Table, FullNotice, ::testing::ValuesIn(notices), CaseName());

// --- The exchanges in responsive mode, in virtual time ----------------------------------------------

const std::string both_offered = "\r\n+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")\r\n\r\nOK\r\n";

class StorageExchanges : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        options.responsive = true;
        options.speed = 0;
    }
    // The modem offers the SIM and its own memory; the gateway chooses them.
    void choose_both() {
        port.script({{"AT+CPMS=?", both_offered}, {"AT+CPMS=\"SM\",\"ME\",\"ME\"", cpms(0, 0)}});
        sync_storages(ctx);
        ASSERT_TRUE(storages_chosen(ctx));
        mark();
    }
    static std::string cpms(int sim, int phone, int total = 10) {
        auto counts = [total](int used) { return std::to_string(used) + "," + std::to_string(total); };
        return "\r\n+CPMS: " + counts(sim) + "," + counts(phone) + "," + counts(phone) + "\r\n\r\nOK\r\n";
    }
    static std::string entry(int index, const std::string& pdu) {
        return "+CMGL: " + std::to_string(index) + ",0,,20\r\n" + pdu + "\r\n";
    }
    static std::string listing(const std::string& entries) { return "\r\n" + entries + "\r\nOK\r\n"; }
    // The writes since the last mark().
    std::vector<std::string> written() const {
        std::vector<std::string> all;
        std::vector<PortWrite> writes = port.writes();
        for (std::size_t i = marked_; i < writes.size(); ++i) {
            all.push_back(writes[i].bytes);
        }
        return all;
    }
    void mark() { marked_ = port.writes().size(); }
    std::size_t marked_ = 0;
};

TEST_F(StorageExchanges, TheStoragesAreChosenOnceAndAgainAfterAReopening) {
    port.script({{"AT+CPMS=?", both_offered}, {"AT+CPMS=\"SM\",\"ME\",\"ME\"", cpms(0, 0)}});
    sync_storages(ctx);
    EXPECT_EQ(written(), (std::vector<std::string>{"AT+CPMS=?\r\n", "AT+CPMS=\"SM\",\"ME\",\"ME\"\r\n"}));
    EXPECT_EQ(ctx.state.storage.read, (std::vector<std::string>{"SM", "ME"}));
    EXPECT_EQ(ctx.state.storage.receive, "ME");
    EXPECT_EQ(clock.elapsed_ms(), 0); // each exchange ends on its OK
    sync_storages(ctx);
    EXPECT_EQ(port.writes().size(), 2u);

    link.mark_down("test");
    ASSERT_TRUE(link.reopen(false));
    EXPECT_FALSE(storages_chosen(ctx));
    port.script({{"AT+CPMS=?", both_offered}, {"AT+CPMS=\"SM\",\"ME\",\"ME\"", cpms(0, 0)}});
    sync_storages(ctx);
    EXPECT_EQ(port.writes().size(), 4u);
    EXPECT_TRUE(storages_chosen(ctx));
}

TEST_F(StorageExchanges, APhoneMemoryThatMayNotReceiveLeavesTheSimReceiving) {
    port.script({{"AT+CPMS=?", both_offered},
                 {"AT+CPMS=\"SM\",\"ME\",\"ME\"", "\r\n+CMS ERROR: 302\r\n"},
                 {"AT+CPMS=\"SM\",\"ME\",\"SM\"", cpms(0, 0)}});
    sync_storages(ctx);
    EXPECT_EQ(port.script_left(), 0u);
    EXPECT_EQ(ctx.state.storage.receive, "SM");
    EXPECT_TRUE(storages_chosen(ctx));
}

TEST_F(StorageExchanges, AModemWithoutStoragesIsListedAsItIs) {
    port.script({{"AT+CPMS=?", "\r\nERROR\r\n"}});
    sync_storages(ctx);
    EXPECT_FALSE(storages_chosen(ctx));
    sync_storages(ctx); // asked once per opening only
    EXPECT_EQ(port.writes().size(), 1u);
    port.script({{"at+cmgl=4", listing("")}});
    EXPECT_EQ(run_inbox_pass(ctx), 0);
    EXPECT_EQ(written(), (std::vector<std::string>{"AT+CPMS=?\r\n", "at+cmgl=4\r\n"}));
}

TEST_F(StorageExchanges, ThePassReadsBothStoragesWithOneSelectionEachAndSkipsAnEmptyOne) {
    choose_both();
    port.script({{"AT+CPMS=\"SM\",\"ME\",\"ME\"", cpms(1, 1)},
                 {"at+cmgl=4", listing(entry(2, deliver_pdu("13900000001", "sim")))},
                 {"at+cmgd=2", "\r\nOK\r\n"},
                 {"AT+CPMS=\"ME\",\"SM\",\"ME\"", cpms(0, 1)},
                 {"at+cmgl=4", listing(entry(1, deliver_pdu("13900000002", "phone")))},
                 {"at+cmgd=1", "\r\nOK\r\n"}});
    EXPECT_EQ(run_inbox_pass(ctx), 2);
    EXPECT_EQ(port.script_left(), 0u);
    EXPECT_TRUE(port.unmatched().empty());
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "sim");
    EXPECT_EQ(file_bytes(day + "/recv/DA2"), "phone");
    EXPECT_EQ(clock.elapsed_ms(), 0);

    // Nothing in either: the one selection is the whole pass.
    mark();
    port.script({{"AT+CPMS=\"SM\",\"ME\",\"ME\"", cpms(0, 0)}});
    EXPECT_EQ(run_inbox_pass(ctx), 0);
    EXPECT_EQ(written(), (std::vector<std::string>{"AT+CPMS=\"SM\",\"ME\",\"ME\"\r\n"}));
}

TEST_F(StorageExchanges, AStorageTheCountsShowFullIsReadFirst) {
    choose_both();
    port.script({{"AT+CPMS=\"SM\",\"ME\",\"ME\"", cpms(1, 10)},
                 {"AT+CPMS=\"ME\",\"SM\",\"ME\"", cpms(1, 10)},
                 {"at+cmgl=4", listing(entry(1, deliver_pdu("13900000002", "phone")))},
                 {"at+cmgd=1", "\r\nOK\r\n"},
                 {"AT+CPMS=\"SM\",\"ME\",\"ME\"", cpms(1, 0)},
                 {"at+cmgl=4", listing(entry(4, deliver_pdu("13900000001", "sim")))},
                 {"at+cmgd=4", "\r\nOK\r\n"}});
    EXPECT_EQ(run_inbox_pass(ctx), 2);
    EXPECT_EQ(port.script_left(), 0u);
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "phone");
    EXPECT_FALSE(ctx.state.storage.full_noticed);
}

struct DrainCase {
    const char* name;
    const char* unasked; // what the modem said while the engine was busy
    const char* selection;
};

class DrainFirst : public StorageExchanges, public ::testing::WithParamInterface<DrainCase> {};

// A full notice that came in the middle of another exchange makes the next cycle begin with that
// storage: selected, listed and emptied before anything else.
TEST_P(DrainFirst, TheFullStorageIsReadAtTheTopOfTheNextCycle) {
    choose_both();
    port.script({{"AT+CSQ", std::string(GetParam().unasked) + "\r\n+CSQ: 20,99\r\n\r\nOK\r\n"}});
    command_exchange(ctx, "AT+CSQ\r\n", command_timeout_ms);
    ASSERT_TRUE(ctx.state.storage.full_noticed);
    mark();
    port.script({{GetParam().selection, cpms(10, 10)},
                 {"at+cmgl=4", listing(entry(7, deliver_pdu("13900000002", "phone")))},
                 {"at+cmgd=7", "\r\nOK\r\n"}});
    prepare_inbox(ctx);
    EXPECT_EQ(written(),
              (std::vector<std::string>{std::string(GetParam().selection) + "\r\n", "at+cmgl=4\r\n", "at+cmgd=7\r\n"}));
    EXPECT_EQ(file_bytes(day + "/recv/DA1"), "phone");
    EXPECT_FALSE(ctx.state.storage.full_noticed);
    mark();
    prepare_inbox(ctx); // drained: nothing more at the top of the cycle
    EXPECT_TRUE(written().empty());
}

const DrainCase drains[] = {
    {"huawei_names_it", "\r\n^SMMEMFULL: \"ME\"\r\n", "AT+CPMS=\"ME\",\"ME\",\"ME\""},
    {"indicator_means_the_receiving_one", "\r\n+CIEV: \"SMSFULL\",1\r\n", "AT+CPMS=\"ME\",\"ME\",\"ME\""},
    {"the_sim_named", "\r\n^SMMEMFULL: \"SM\"\r\n", "AT+CPMS=\"SM\",\"SM\",\"ME\""},
};

INSTANTIATE_TEST_SUITE_P(Table, DrainFirst, ::testing::ValuesIn(drains), CaseName());

TEST_F(StorageExchanges, SwitchedOffTheModemReadsWhereNewMessagesGoAndFixedWaitsSendNothing) {
    choose_both();
    options.responsive = false;
    port.script({{"AT+CPMS=\"ME\",\"ME\",\"ME\"", cpms(0, 0)}});
    prepare_inbox(ctx);
    EXPECT_EQ(written(), (std::vector<std::string>{"AT+CPMS=\"ME\",\"ME\",\"ME\"\r\n"}));
    mark();
    prepare_inbox(ctx);
    ctx.state.storage.full_noticed = true; // noticed with fixed waits: nothing is sent for it
    prepare_inbox(ctx);
    EXPECT_TRUE(written().empty());
    EXPECT_FALSE(storages_chosen(ctx));
}

// --- A message the modem did not delete -----------------------------------------------------------------

struct UndeletedCase {
    const char* name;
    bool responsive;
};

class UndeletedMessage : public EngineFixture, public ::testing::WithParamInterface<UndeletedCase> {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        options.responsive = GetParam().responsive;
        options.speed = 0;
    }
};

// Stored once; at the next pass the modem hears the same listing and the same delete as it always did.
TEST_P(UndeletedMessage, IsStoredOnceAndDeletedAgainWithTheSameTraffic) {
    const std::string pdu = deliver_pdu("13900000001", "once");
    const std::string listed = modem_listing({pdu});
    port.script({{"at+cmgl=4", listed}, {"at+cmgd=1", "\r\n+CMS ERROR: 320\r\n"}});
    EXPECT_EQ(run_inbox_pass(ctx), 1);
    std::string first_pass = port.written();
    std::vector<int> first_waits = clock.sleeps();
    clock.clear_sleeps();
    port.script({{"at+cmgl=4", listed}, {"at+cmgd=1", "\r\n+CMS ERROR: 320\r\n"}});
    EXPECT_EQ(run_inbox_pass(ctx), 0);
    EXPECT_EQ(port.written(), first_pass + first_pass);
    EXPECT_EQ(clock.sleeps(), first_waits);
    port.script({{"at+cmgl=4", listed}, {"at+cmgd=1", "\r\nOK\r\n"}});
    EXPECT_EQ(run_inbox_pass(ctx), 0);
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 1);
    EXPECT_TRUE(ctx.state.storage.undeleted.empty());
    // The same text sent again, arriving in the slot, is a new message: the network stamps it anew.
    DeliverMessage again;
    again.sender = "13900000001";
    again.text = "once";
    again.time_stamp = "24050607020500";
    port.script({{"at+cmgl=4", modem_listing({build_deliver_pdu(again)})}, {"at+cmgd=1", "\r\nOK\r\n"}});
    EXPECT_EQ(run_inbox_pass(ctx), 1);
    EXPECT_EQ(read_counter(day, SpoolDir::Recv), 2);
}

TEST_P(UndeletedMessage, IsForgottenOnceNoLongerListedAndAnotherMessageInItsSlotIsStored) {
    port.script({{"at+cmgl=4", modem_listing({deliver_pdu("13900000001", "first")})},
                 {"at+cmgd=1", "\r\n+CMS ERROR: 320\r\n"}});
    run_inbox_pass(ctx);
    ASSERT_EQ(ctx.state.storage.undeleted.size(), 1u);
    port.script({{"at+cmgl=4", modem_listing({deliver_pdu("13900000002", "second")})}, {"at+cmgd=1", "\r\nOK\r\n"}});
    EXPECT_EQ(run_inbox_pass(ctx), 1);
    EXPECT_EQ(file_bytes(day + "/recv/DA2"), "second");
    EXPECT_TRUE(ctx.state.storage.undeleted.empty());
}

const UndeletedCase undeleted_cases[] = {{"fixed_waits", false}, {"responsive", true}};

INSTANTIATE_TEST_SUITE_P(Modes, UndeletedMessage, ::testing::ValuesIn(undeleted_cases), CaseName());

TEST(UndeletedMemory, IsBounded) {
    StorageState state;
    for (std::size_t i = 0; i <= most_undeleted; ++i) {
        remember_undeleted(state, "SM", std::to_string(i), "PDU" + std::to_string(i));
    }
    EXPECT_EQ(state.undeleted.size(), most_undeleted);
    EXPECT_FALSE(is_undeleted(state, "SM", "0", "PDU0")); // the oldest went
    EXPECT_TRUE(is_undeleted(state, "SM", "1", "PDU1"));
    remember_undeleted(state, "ME", "1", std::string(longest_remembered_pdu + 1, 'A'));
    EXPECT_FALSE(is_undeleted(state, "ME", "1", std::string(longest_remembered_pdu + 1, 'A')));
}

} // namespace
