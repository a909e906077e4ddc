#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reading a modem's answer line by line: its final result code, the prompt for a PDU, the reference of
// a message it took, the error it gave, and the lines it sends unasked.

// The final result code that ends the answer: the first whole line (one that a line end closes) that
// is "OK", "ERROR", "+CMS ERROR..." or "+CME ERROR...". Lines the modem sends unasked are passed over.
std::optional<std::string> final_result_code(std::string_view answer);

// Whether the modem has asked for the PDU: a line, whole or the last one still open, that begins with
// '>'.
bool holds_prompt(std::string_view answer);

// The message reference of a "+CMGS: <mr>" line, 0 to 255.
std::optional<int> message_reference(std::string_view answer);

// The modem's error, when some line of the answer is one: the line as the modem gave it ("+CMS
// ERROR: 38") and its number when it holds one.
struct ModemError {
    std::string line;
    std::optional<int> number;
    bool message_service = false; // +CMS: the message service's codes; else +CME or a plain ERROR
};
std::optional<ModemError> modem_error(std::string_view answer);

// A line the modem sends of its own accord, not as part of an answer: new-message and status-report
// indications, ringing, network registration.
bool is_unsolicited_line(std::string_view line);
// Whether the text announces a new message stored in the modem ("+CMTI:").
bool announces_message(std::string_view text);
// The PDU lines of the status reports the text holds as indications ("+CDS: <length>" and the PDU on
// the next line), in order; a report whose PDU line has not come whole yet is not among them.
std::vector<std::string> status_report_pdus(std::string_view text);
// Whether the text ends in a "+CDS:" or "+CMT:" indication whose PDU line has not come yet.
bool awaits_pdu_line(std::string_view text);
// The text without its unsolicited lines (each with its line end), and without the PDU line that
// follows a "+CDS:" or "+CMT:" indication.
std::string without_unsolicited_lines(std::string_view text);
