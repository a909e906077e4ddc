#pragma once

#include "modem/result_codes.h"

#include <string>

// The modem's error as the operator reads it (GBK): the error line and, for a number we know, what it
// means, for example "+CMS ERROR: 38 网络故障". A plain ERROR or an unknown number is the line alone.
std::string describe_modem_error(const ModemError& error);
