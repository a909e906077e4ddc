#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Section OPTOUT of ./server.txt: the replies that put their sender on the opt-out list
// (store/optout_list.h), and what the gateway answers them.
//
//   [OPTOUT]
//   KEYWORDS=TD,退订,STOP,取消
//   REPLY=您已成功退订，将不再收到本号码的短信。
//
// A received message is an opt-out when the whole of it is one keyword: letters in any case, blanks
// (ASCII ones and the full-width blank) anywhere, full-width letters and digits as their ASCII ones
// ("ＴＤ", "ｓｔｏｐ", "t d"). A keyword inside a longer text ("TD is great") is none. Without KEYWORDS
// nothing received is an opt-out.

inline constexpr std::size_t most_optout_keywords = 32;
// Longer keywords are not taken; longer messages are never one keyword.
inline constexpr std::size_t most_keyword_chars = 16;
// A received text longer than this (blanks and all) is no keyword, whatever it holds.
inline constexpr std::size_t most_matched_bytes = 160;
inline constexpr std::size_t most_optout_reply_bytes = 1024;

struct OptOutKeywords {
    std::vector<std::u16string> folded; // each keyword as compared: folded_keyword()
    std::vector<std::string> problems;  // keywords left out, for the trace
    std::string reply;                  // GBK; empty: no answer
    bool on() const { return !folded.empty(); }
    // Whether the whole of `text_gbk` is one keyword.
    bool matches(std::string_view text_gbk) const;
};

// Keywords from a KEYWORDS value: split at ',' (or '，'), each folded; blanks and empty ones dropped,
// undecodable or longer ones noted in `problems`.
OptOutKeywords parse_optout_keywords(std::string_view keywords_gbk, std::string_view reply_gbk);

// Section OPTOUT of ./server.txt.
OptOutKeywords read_optout_keywords();

// A text as keywords are compared: blanks removed, full-width ASCII forms as ASCII, letters in lower
// case. Empty for text that is no GBK.
std::u16string folded_keyword(std::string_view text_gbk);
