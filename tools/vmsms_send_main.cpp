// vmsms-send: queue one outgoing message into today's spool, as the compose tab does.
//   vmsms-send [--english] [--to NUMBER]... [--to-file FILE] TEXT
// TEXT "-" reads standard input. Arguments are UTF-8 and are stored as GBK.

#include "platform/gbk.h"
#include "platform/text_file.h"
#include "store/enqueue.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int exit_refused = 2;

int usage() {
    std::fputs("usage: vmsms-send [--english] [--to NUMBER]... [--to-file FILE] TEXT|-\n", stderr);
    return exit_refused;
}

int refuse(const std::string& message_utf8) {
    std::fprintf(stderr, "%s\n", message_utf8.c_str());
    return exit_refused;
}

std::string strip_final_newline(std::string text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    }
    return text;
}

// A recipients text as the box holds it: one recipient per line, CR LF between lines.
std::string box_lines(const std::vector<std::string>& lines) {
    std::string box;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            box += "\r\n";
        }
        box += lines[i];
    }
    return box;
}

// Text with bare LF line breaks as a box holds it (CR LF).
std::string box_text(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += '\r';
        }
        out += text[i];
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    bool english = false;
    std::vector<std::string> recipients;
    std::string text;
    bool have_text = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--english") {
            english = true;
        } else if (arg == "--to" && i + 1 < argc) {
            recipients.push_back(argv[++i]);
        } else if (arg == "--to-file" && i + 1 < argc) {
            auto file = read_text_file(argv[++i]);
            if (!file) {
                return refuse(std::string("cannot read ") + argv[i]);
            }
            std::string rest = strip_final_newline(*file);
            size_t start = 0;
            while (start <= rest.size() && !rest.empty()) {
                size_t end = rest.find('\n', start);
                std::string line = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                recipients.push_back(line);
                if (end == std::string::npos) {
                    break;
                }
                start = end + 1;
            }
        } else if (!have_text && (arg == "-" || arg.rfind("--", 0) != 0)) {
            if (arg == "-") {
                text = strip_final_newline(
                    std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()));
            } else {
                text = arg;
            }
            have_text = true;
        } else {
            return usage();
        }
    }
    if (!have_text) {
        return usage();
    }
    auto recipients_gbk = utf8_to_gbk(box_lines(recipients));
    if (!recipients_gbk) {
        return refuse("收信人含有无法用GBK编码保存的字符，未加入发送队列。");
    }
    auto content_gbk = utf8_to_gbk(box_text(text));
    if (!content_gbk) {
        return refuse("短信内容含有无法用GBK编码保存的字符，未加入发送队列。");
    }
    EnqueueResult result = enqueue_message(*recipients_gbk, *content_gbk, english, real_clock());
    if (result.status != EnqueueStatus::Queued) {
        int code = result.status == EnqueueStatus::WriteFailed ? 1 : exit_refused;
        std::fprintf(stderr, "%s\n", gbk_to_utf8_lossy(enqueue_status_text(result.status)).c_str());
        return code;
    }
    std::printf("%ld\n", result.record);
    return 0;
}
