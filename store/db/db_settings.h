#pragma once

#include "platform/text_file.h"

#include <string>
#include <vector>

// The shared queue's settings, section DB of server.txt:
//   DSN=postgresql://user@host/vmsms   switches the shared queue on (empty or missing: files only)
//   GATEWAY=office-1                   this gateway's name in the tables (default: host name and directory)
//   LEASE=60                           seconds a claimed recipient stays this gateway's (5 to 3600)
//   BATCH=5                            recipients claimed at once (1 to 100)
struct DbSettings {
    std::string dsn;
    std::string gateway;
    int lease_seconds = 60;
    int batch = 5;
    std::vector<std::string> problems; // values that were not taken, and why

    bool on() const { return !dsn.empty(); }
};

DbSettings read_db_settings();

// How server.txt is to be written: OwnerOnly (0600) when its DSN holds a password, so that a save of
// any setting leaves the password readable by its owner alone; else as it was.
FileAccess settings_file_access();

// "<host name>:<working directory>", the name a gateway goes by unless GATEWAY names it.
std::string default_gateway_name();
