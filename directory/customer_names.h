#pragma once

#include <string>
#include <string_view>

// Which names the customer directory accepts as parts of file names. A category file name must be a
// plain file directly under "./cust/": not empty, not "." or "..", not the index itself, without '/',
// and within the 99-byte field of the current category record.
bool usable_category_file(std::string_view file_gbk);

// The texts the customer tab and the delete dialog show.
std::string data_missing_message(); // "数据不能为空,请检查。"
