#pragma once

#include <string>
#include <vector>

// The recipients and texts no writer may queue (tests/support/hostile_input.json), for trying them at
// every writer: the compose tab, vmsms-send, the intake (its Python test reads the same file) and the
// shared queue's writer.

struct HostileCase {
    std::string name;
    std::vector<std::string> to; // UTF-8, one recipient line each
    std::string text;            // UTF-8
    std::string field;           // "to" or "text": what the refusal is about
    std::string kind;            // "recipient" (unsafe or bad), "too_many" (over the cap), "control" (text)
};

struct HostileTable {
    std::vector<std::string> good_to; // a message the same directory takes, to show the fixture is sound
    std::string good_text;
    std::vector<HostileCase> refused;
};

const HostileTable& hostile_table();

// Makes the working directory the one the cases expect: an address book whose category index lists a
// real category (客户, customer 采购部 = 13900000009), one whose file is a FIFO (管道), one whose file
// is a symlink to /dev/zero (设备) and one linking out of the directory (外链, to /etc/passwd), and a
// FIFO ./fifo.
void make_hostile_directory();

// The recipients as one box text (CR LF between them), GBK.
std::string hostile_box(const std::vector<std::string>& to_utf8);
