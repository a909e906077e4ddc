#pragma once

#include <optional>
#include <string>
#include <string_view>

// The message references the modem gave the messages sent with a status-report request, so the
// reports that come back can be matched to the record and recipient they are about: {day}/send/refs,
// one line per message (or part) sent, "<reference> <number> <record> <index> <part> <parts>".
struct SentReference {
    int reference = 0;
    std::string number;
    long record = 0;
    int index = 0;
    int part = 1;
    int parts = 1;
};

std::string sent_references_path(const std::string& day);

// Appends one line. False when it could not be written.
[[nodiscard]] bool note_sent_reference(const std::string& day, const SentReference& sent);

// The latest message of the day with this reference to the number `recipient` names, compared in
// canonical form (store/phone_number.h): a report names the recipient as the network knows it, often in
// international form, and the record as it was typed. The country of national numbers is COUNTRY of
// server.txt, or `country`.
std::optional<SentReference> find_sent_reference(const std::string& day, int reference, const std::string& recipient);
std::optional<SentReference> find_sent_reference(const std::string& day, int reference, const std::string& recipient,
                                                 std::string_view country);

// What the reports said, kept beside the references for the sent list: {day}/send/dlvr, one line per
// report, "<record> <index> <part> <outcome>", the outcome being delivered, pending or failed.
std::string deliveries_path(const std::string& day);
[[nodiscard]] bool note_delivery(const std::string& day, const SentReference& sent, const std::string& outcome);

// The reports of one record, counted: how many recipients had their message (every part) delivered,
// how many a part failed for, and how many still wait. Nothing when no report came for the record.
struct DeliveryCount {
    int delivered = 0;
    int failed = 0;
    int pending = 0;
};
std::optional<DeliveryCount> count_deliveries(const std::string& day, long record);
