#pragma once

#include <string>

// The operator guide the monitor text starts with (GBK, CR LF line breaks): the steps of first use,
// what each tab is for, how recipients are typed, the daily reports and the companion programs.
std::string monitor_guide();
