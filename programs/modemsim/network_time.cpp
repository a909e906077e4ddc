#include "modemsim/network_time.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

std::string network_time_stamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    long quarters = std::labs(local.tm_gmtoff) / 900;
    // The sign bit sits in the tens digit's semi-octet, so a western zone's tens digit reads 8 and up.
    int tens = static_cast<int>(quarters / 10) + (local.tm_gmtoff < 0 ? 8 : 0);
    char text[32];
    std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02d%X%d", local.tm_year % 100, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, tens, static_cast<int>(quarters % 10));
    return text;
}
