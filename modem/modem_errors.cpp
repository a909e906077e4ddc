#include "modem/modem_errors.h"

#include "platform/gbk.h"

#include <algorithm>
#include <iterator>

namespace {

struct Meaning {
    int number;
    const char* text; // UTF-8
};

// The message service's errors: the network's causes for a refused message (1-127) and the modem's
// own (300-500).
constexpr Meaning cms_meanings[] = {
    {1, "空号"},
    {8, "运营商禁止"},
    {10, "呼叫受限"},
    {21, "短信被拒收"},
    {27, "目标不在服务区"},
    {28, "用户未识别"},
    {29, "业务被拒绝"},
    {30, "未知用户"},
    {38, "网络故障"},
    {41, "临时故障"},
    {42, "网络拥塞"},
    {47, "网络资源不可用"},
    {50, "未开通短信业务"},
    {69, "业务未实现"},
    {81, "短信参考号无效"},
    {95, "无效消息"},
    {96, "必选信息无效"},
    {97, "消息类型不存在"},
    {98, "消息与协议状态不符"},
    {99, "信息单元不存在"},
    {111, "协议错误"},
    {127, "网间互通错误"},
    {128, "不支持远程信息互通"},
    {300, "模块故障"},
    {301, "短信业务被占用"},
    {302, "操作不允许"},
    {303, "操作不支持"},
    {304, "PDU参数无效"},
    {305, "文本参数无效"},
    {310, "未插SIM卡"},
    {311, "需要SIM卡PIN码"},
    {312, "需要PH-SIM PIN码"},
    {313, "SIM卡故障"},
    {314, "SIM卡忙"},
    {315, "SIM卡错误"},
    {316, "需要SIM卡PUK码"},
    {320, "存储器故障"},
    {321, "存储位置无效"},
    {322, "存储器已满"},
    {330, "短信中心号码未知"},
    {331, "无网络服务"},
    {332, "网络超时"},
    {340, "无需短信确认"},
    {500, "未知错误"},
};

// The equipment's errors that come up when sending.
constexpr Meaning cme_meanings[] = {
    {3, "操作不允许"},      {4, "操作不支持"},  {10, "未插SIM卡"}, {11, "需要SIM卡PIN码"},
    {12, "需要SIM卡PUK码"}, {13, "SIM卡故障"},  {14, "SIM卡忙"},   {15, "SIM卡错误"},
    {20, "存储器已满"},     {30, "无网络服务"}, {31, "网络超时"},  {100, "未知错误"},
};

template <std::size_t N> const char* find_meaning(const Meaning (&table)[N], int number) {
    auto it = std::find_if(std::begin(table), std::end(table), [&](const Meaning& m) { return m.number == number; });
    return it == std::end(table) ? nullptr : it->text;
}

} // namespace

std::string describe_modem_error(const ModemError& error) {
    if (!error.number) {
        return error.line;
    }
    const char* meaning =
        error.message_service ? find_meaning(cms_meanings, *error.number) : find_meaning(cme_meanings, *error.number);
    return meaning ? error.line + " " + gbk(meaning) : error.line;
}
