// Cost of the PDU codec on full-size messages: a 160-character English text (one 7-bit message) and
// a 70-character Chinese text (one UCS-2 message). Encoding is what the engine does per record and
// recipient (content encoder, cut to one message, submit PDU); decoding is what the inbox pass does
// per listed message.

#include "modem/pdu/pdu_codec.h"
#include "modem/pdu/pdu_peer.h"
#include "platform/gbk.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string english_160() {
    std::string text = "Your order 4711 has shipped. Track it at example.com/t/4711 or call 400-800-1234 (9:00-18:00). "
                       "Reply STOP to opt out; thanks for shopping with us!";
    text.resize(160, '.');
    return text;
}

std::string chinese_70() {
    return gbk("尊敬的客户您好，您订购的商品已于今日发货，预计三天内送达。如有疑问请致电客服热线，"
               "感谢您的支持与信任！祝您生活愉快。本短信由系统发送请勿回复");
}

std::string received_line(const std::string& gbk_text, bool seven_bit) {
    DeliverMessage message;
    message.sender = "8613900000001";
    message.form = SenderForm::International;
    message.seven_bit = seven_bit;
    message.text = gbk_text;
    return build_deliver_pdu(message) + "\r";
}

void BM_EncodeEnglish160(benchmark::State& state) {
    const std::string text = english_160();
    for (auto _ : state) {
        Encoded7bit packed = encode_7bit(text);
        UserData data = cut_user_data(packed.hex, true, packed.septets);
        SubmitPdu pdu = build_submit_pdu("13900000001", data.hex, true, data.septets, "", PduVariant::Standard);
        benchmark::DoNotOptimize(pdu);
    }
    if (text.size() != 160) {
        state.SkipWithError("the English text is not 160 characters");
    }
}

void BM_EncodeChinese70(benchmark::State& state) {
    const std::string text = chinese_70();
    for (auto _ : state) {
        UserData data = cut_user_data(encode_ucs2(text), false, 0);
        SubmitPdu pdu = build_submit_pdu("13900000001", data.hex, false, 0, "", PduVariant::Standard);
        benchmark::DoNotOptimize(pdu);
    }
    if (encode_ucs2(text).size() != 70 * 4) {
        state.SkipWithError("the Chinese text is not 70 characters");
    }
}

void BM_DecodeEnglish160(benchmark::State& state) {
    const std::string line = received_line(english_160(), true);
    NullTrace trace;
    for (auto _ : state) {
        ReceivedMessage message = decode_received_pdu(line, trace);
        benchmark::DoNotOptimize(message);
    }
}

void BM_DecodeChinese70(benchmark::State& state) {
    const std::string line = received_line(chinese_70(), false);
    NullTrace trace;
    for (auto _ : state) {
        ReceivedMessage message = decode_received_pdu(line, trace);
        benchmark::DoNotOptimize(message);
    }
}

} // namespace

BENCHMARK(BM_EncodeEnglish160);
BENCHMARK(BM_EncodeChinese70);
BENCHMARK(BM_DecodeEnglish160);
BENCHMARK(BM_DecodeChinese70);
