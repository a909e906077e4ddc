#pragma once

#include <string>

// The one text every operation on the catalogue and the customer directory gives back when a file of
// theirs could not be written: the disk is full, a file or its folder cannot be written, or a folder
// stands where a file belongs. The operator can do nothing finer with the cause, so all share it. GBK.
std::string write_failed_message(); // "数据写入失败，请检查磁盘空间和文件权限。"
