#include "engine/operator_texts.h"

#include "platform/gbk.h"

const std::string& started_caption() {
    static const std::string text = gbk("Velmora短信网关--企业短消息服务器  ：   收发进程已启动");
    return text;
}

const std::string& link_down_caption() {
    static const std::string text = gbk("Velmora短信网关--企业短消息服务器  ：   调制解调器连接中断，正在重新连接");
    return text;
}

const std::string& write_failed_caption() {
    static const std::string text = gbk("Velmora短信网关--企业短消息服务器  ：   文件写入失败，发送已暂停");
    return text;
}

const std::string& sending_held_caption() {
    static const std::string text = gbk("Velmora短信网关--企业短消息服务器  ：   发送暂停（限额或静默时段），照常接收");
    return text;
}

std::string link_down_line(const std::string& why, const std::string& device) {
    return gbk("调制解调器连接中断（") + why + gbk("）：已关闭 ") + device + gbk("，稍后重新打开。\r\n");
}

std::string link_back_line(const std::string& device) {
    return gbk("调制解调器已重新连接（") + device + gbk("），继续收发。\r\n");
}

std::string write_failed_line(const std::string& path, const std::string& cause) {
    return gbk("无法写入 ") + path + gbk("（") + cause + gbk("）：发送已暂停，稍后重试。\r\n");
}

std::string write_back_line(const std::string& path) {
    return gbk("已写入 ") + path + gbk("，继续发送。\r\n");
}
