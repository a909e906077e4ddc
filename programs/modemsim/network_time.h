#pragma once

#include <string>

// The service-centre time stamp of a message arriving now: YYMMDDhhmmss and the zone in quarter
// hours, as digits in reading order (the sign of a zone west of Greenwich marked as the network does).
std::string network_time_stamp();
