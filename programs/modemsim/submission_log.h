#pragma once

#include <fstream>
#include <string>
#include <vector>

enum class SendOutcome {
    Sent,    // accepted: +CMGS with a message reference
    Failed,  // refused by a switched-on fault: +CMS ERROR: 500
    Invalid, // a PDU the modem cannot take: +CMS ERROR: 304
};

struct Submission {
    SendOutcome outcome = SendOutcome::Sent;
    int reference = -1; // the +CMGS reference, for a sent message
    int announced_length = 0;
    std::string pdu; // as it arrived
};

// Every PDU the gateway handed over, one decoded line each:
//   <sent|failed|invalid> ref=<n|-> length=<announced> to=<number|-> coding=<7bit|8bit|ucs2|->
//   smsc=<digits|-> [part=<sequence>/<count> ref=<concatenation reference>] [srr=1] pdu=<hex>
//   text=<UTF-8>
// An international destination is written with '+'. A part of a long message names its place and
// its message's reference, and its text is the part's own; srr=1 marks a request for a status report.
// The text is last and escaped so that it stays on its line.
class SubmissionLog {
public:
    // Starts the record file afresh; false when it cannot be created.
    bool open(const std::string& path);

    void add(const Submission& submission);
    const std::vector<std::string>& lines() const { return lines_; }
    const std::vector<Submission>& submissions() const { return submissions_; }
    void clear();

private:
    std::vector<std::string> lines_;
    std::vector<Submission> submissions_;
    std::ofstream file_;
};

std::string submission_line(const Submission& submission);

// Where each submission was addressed, one line each, in the order of the log's lines:
//   <sent|failed|invalid> ref=<n|-> toa=<type of address, decimal|-> digits=<digits|->
// The type of address tells a national number (129, or 161 and the like) from an international one
// (145), which the '+' of submission_line cannot: a national number sent with 86 before it reads as
// an international one there.
std::string destination_line(const Submission& submission);
std::vector<std::string> destination_lines(const std::vector<Submission>& submissions);
