#pragma once

#include <string>

// Captions and monitor lines the engine shows the operator when the link or the disk fails and
// recovers (GBK). The started caption is also what the engine puts back once a fault is over.
const std::string& started_caption();
const std::string& link_down_caption();
const std::string& write_failed_caption();
// Sending waits for a limit or the quiet hours (receiving goes on).
const std::string& sending_held_caption();

// "调制解调器连接中断（<why>）：已关闭 <device>，稍后重新打开。"
std::string link_down_line(const std::string& why, const std::string& device);
std::string link_back_line(const std::string& device);
// "无法写入 <path>（<cause>）：发送已暂停，稍后重试。"
std::string write_failed_line(const std::string& path, const std::string& cause);
std::string write_back_line(const std::string& path);
